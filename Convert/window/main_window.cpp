#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

#include "display_text.h"
#include "qt_text.h"

namespace convert {

namespace {
/// How long a run may keep the window from its events.
constexpr std::chrono::milliseconds kEventInterval{100};
}  // namespace

MainWindow::MainWindow(std::filesystem::path folder, RunOptions options, QWidget* parent)
    : QWidget(parent), years_(std::move(folder)), options_(std::move(options)) {
    // The object names are the ones automation and the tests look for.
    setObjectName(QStringLiteral("F_SPECS"));
    setWindowTitle(QStringLiteral("Convert .QMR to .TXT"));
    setWindowIcon(QIcon(QStringLiteral(":/convert.png")));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Normal);
    setFont(font);
    setFixedSize(341, 266);

    // The label comes first, and names the list, for screen readers.
    label_ = new QLabel(QStringLiteral("Double click year to convert"), this);
    label_->setObjectName(QStringLiteral("Label1"));
    label_->setGeometry(60, 184, 225, 21);
    label_->setFocusPolicy(Qt::NoFocus);

    year_list_ = new QListWidget(this);
    year_list_->setObjectName(QStringLiteral("S_YEARS"));
    year_list_->setGeometry(56, 16, 229, 164);
    year_list_->setSelectionMode(QAbstractItemView::SingleSelection);
    year_list_->setSortingEnabled(false);
    year_list_->installEventFilter(this);
    label_->setBuddy(year_list_);

    close_button_ = new QPushButton(QStringLiteral("&Close"), this);
    close_button_->setObjectName(QStringLiteral("B_CLOSE"));
    close_button_->setGeometry(224, 224, 85, 29);
    close_button_->setAutoDefault(false);
    close_button_->setDefault(false);
    close_button_->installEventFilter(this);

    setTabOrder(year_list_, close_button_);
    connect(close_button_, &QPushButton::clicked, this, &MainWindow::close);
    connect(year_list_, &QListWidget::itemDoubleClicked, this, &MainWindow::convert_entry);

    fill_year_list();
    year_list_->setFocus();
}

void MainWindow::fill_year_list() {
    for (const YearEntry& entry : years_.entries()) {
        year_list_->addItem(qt_text(entry.label()));
    }
}

void MainWindow::convert_entry(QListWidgetItem* item) {
    // Qt reports a double-click only on an entry, which the press selected.
    // A double-click while a run is under way (from the events it lets
    // through) starts nothing.
    if (busy_ || closing_ || item == nullptr || !item->isSelected()) return;
    const auto index = static_cast<std::size_t>(year_list_->row(item));
    if (const std::optional<std::string> refusal = years_.refusal(index)) {
        show_message(*refusal);
        return;
    }
    set_busy(true);
    const RunResult result = years_.convert(index, *this, options_);
    set_busy(false);
    if (result.outcome == RunOutcome::converted) {
        // The mark is seen before "Done." is.
        item->setText(qt_text(years_.entries()[index].label()));
        year_list_->repaint();
    }
    show_message(result.message);
    // A close asked for during the run is carried out now that it has ended.
    if (close_requested_) close();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Enter on the selected entry does what a double-click on it does, and
    // on Close presses it, as Space does.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        const QList<QListWidgetItem*> selected = year_list_->selectedItems();
        if (enter && watched == year_list_ && !selected.isEmpty()) {
            convert_entry(selected.front());
            return true;
        }
        if (enter && watched == close_button_) {
            close_button_->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::set_busy(bool busy) {
    busy_ = busy;
    close_button_->setEnabled(!busy);
    close_button_->setText(busy ? QStringLiteral("Working...") : QStringLiteral("&Close"));
    // Paint "Working..." before reading starts; the paint is all that waits.
    if (busy) {
        QApplication::processEvents();
        events_handled_ = std::chrono::steady_clock::now();
    }
}

void MainWindow::progress(std::uint64_t, std::uint64_t) {
    // The window keeps answering while a slow drive is read; the busy state
    // refuses a second run and defers a close meanwhile.
    const auto now = std::chrono::steady_clock::now();
    if (now - events_handled_ < kEventInterval) return;
    QApplication::processEvents();
    events_handled_ = now;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (busy_) {
        // Never leave a run half done: end once it has finished.
        close_requested_ = true;
        event->ignore();
        return;
    }
    closing_ = true;  // no run starts once the window is going
    event->accept();
}

void MainWindow::show_message(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle), qt_message(text),
                    QMessageBox::Ok, this);
    // Values from files are shown as they are, never read as markup, in the
    // window's own font: a box is a window of its own and would not inherit it.
    box.setTextFormat(Qt::PlainText);
    box.setFont(font());
    box.exec();
}

}  // namespace convert
