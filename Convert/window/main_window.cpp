#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

#include "display_text.h"
#include "year_list.h"

namespace convert {

namespace {
// Each entry's bytes, as built from the file name; the shown text is only
// their decoded form.
constexpr int kEntryBytesRole = Qt::UserRole;

std::string bytes_of(const QListWidgetItem* item) {
    return item ? item->data(kEntryBytesRole).toByteArray().toStdString() : std::string();
}

void set_entry(QListWidgetItem* item, const std::string& bytes) {
    item->setText(display_text(bytes));
    item->setData(kEntryBytesRole, QByteArray::fromStdString(bytes));
}
}  // namespace

F_SPECS::F_SPECS(std::filesystem::path folder, QWidget* parent)
    : QWidget(parent), folder_(std::move(folder)), run_(*this, folder_) {
    setWindowTitle(QStringLiteral("Convert .QMR to .TXT"));
    setWindowIcon(QIcon(QStringLiteral(":/convert.png")));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Normal);
    setFont(font);
    setFixedSize(341, 266);

    S_YEARS = new QListWidget(this);
    S_YEARS->setObjectName(QStringLiteral("S_YEARS"));
    S_YEARS->setGeometry(56, 16, 229, 164);
    S_YEARS->setSelectionMode(QAbstractItemView::SingleSelection);
    S_YEARS->setSortingEnabled(false);

    Label1 = new QLabel(QStringLiteral("Double click year to convert"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(60, 184, 225, 21);
    Label1->setFocusPolicy(Qt::NoFocus);

    B_CLOSE = new QPushButton(QStringLiteral("Close"), this);
    B_CLOSE->setObjectName(QStringLiteral("B_CLOSE"));
    B_CLOSE->setGeometry(224, 224, 85, 29);
    B_CLOSE->setAutoDefault(false);
    B_CLOSE->setDefault(false);

    setTabOrder(S_YEARS, B_CLOSE);
    connect(B_CLOSE, &QPushButton::clicked, this, &F_SPECS::B_CLOSE_Click);
    connect(S_YEARS, &QListWidget::itemDoubleClicked, this, &F_SPECS::S_YEARS_DblClick);

    Form_Load();
    S_YEARS->setFocus();
}

void F_SPECS::Form_Load() {
    for (const std::string& entry : year_list_entries(folder_)) {
        auto* item = new QListWidgetItem(S_YEARS);
        set_entry(item, entry);
    }
}

void F_SPECS::B_CLOSE_Click() {
    close();
}

void F_SPECS::S_YEARS_DblClick(QListWidgetItem* item) {
    // Qt reports a double-click only on an entry, which the press selected.
    if (item == nullptr || !item->isSelected()) return;
    run_.run();
    if (close_requested_ && !run_.busy()) close();
}

void F_SPECS::closeEvent(QCloseEvent* event) {
    if (run_.busy()) {
        // Never leave a run half done: end once it has finished.
        close_requested_ = true;
        event->ignore();
        return;
    }
    event->accept();
}

std::string F_SPECS::selected_text() const {
    const QList<QListWidgetItem*> selected = S_YEARS->selectedItems();
    return selected.isEmpty() ? std::string() : bytes_of(selected.front());
}

int F_SPECS::selected_index() const {
    const QList<QListWidgetItem*> selected = S_YEARS->selectedItems();
    return selected.isEmpty() ? -1 : S_YEARS->row(selected.front());
}

std::string F_SPECS::entry_text(int index) const {
    return bytes_of(S_YEARS->item(index));
}

void F_SPECS::set_entry_text(int index, const std::string& text) {
    if (QListWidgetItem* item = S_YEARS->item(index)) set_entry(item, text);
}

void F_SPECS::refresh_list() {
    S_YEARS->repaint();
}

void F_SPECS::set_close_enabled(bool enabled) {
    B_CLOSE->setEnabled(enabled);
}

void F_SPECS::set_close_caption(const std::string& caption) {
    B_CLOSE->setText(QString::fromStdString(caption));
}

void F_SPECS::process_pending_events() {
    QApplication::processEvents();
}

void F_SPECS::show_message(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle),
                    display_message(text), QMessageBox::Ok, this);
    // Values from files are shown as they are, never read as markup, in the
    // window's own font: a box is a window of its own and would not inherit it.
    box.setTextFormat(Qt::PlainText);
    box.setFont(font());
    box.exec();
}

}  // namespace convert
