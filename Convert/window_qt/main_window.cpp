#include "window_qt/main_window.h"

#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

#include "window_qt/qt_text.h"
#include "window_shared/display_text.h"

namespace convert {

MainWindow::MainWindow(std::filesystem::path folder, QWidget* parent)
    : QWidget(parent), session_(std::move(folder), *this) {
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
    connect(year_list_, &QListWidget::itemDoubleClicked, this, &MainWindow::convert_item);

    for (const YearEntry& entry : session_.years().entries()) {
        year_list_->addItem(qt_text(entry.label()));
    }
    year_list_->setFocus();
}

void MainWindow::convert_item(QListWidgetItem* item) {
    // Qt reports a double-click only on an entry, which the press selected.
    if (item == nullptr || !item->isSelected()) return;
    session_.convert(static_cast<std::size_t>(year_list_->row(item)));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Enter on the selected entry does what a double-click on it does, and
    // on Close presses it, as Space does.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        const QList<QListWidgetItem*> selected = year_list_->selectedItems();
        if (enter && watched == year_list_ && !selected.isEmpty()) {
            convert_item(selected.front());
            return true;
        }
        if (enter && watched == close_button_) {
            close_button_->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A run under way closes the window once it has ended.
    if (session_.may_close()) {
        event->accept();
    } else {
        event->ignore();
    }
}

RunWindow::Answer MainWindow::show_message(const MessageLines& lines, Box box) {
    QMessageBox message(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle),
                        qt_message(joined(lines, "\n")), QMessageBox::Ok, this);
    // Values from files are shown as they are, never read as markup, in the
    // window's own font: a box is a window of its own and would not inherit it.
    message.setTextFormat(Qt::PlainText);
    message.setFont(font());
    QPushButton* skip = nullptr;
    if (box == Box::per_value) {
        skip = message.addButton(QStringLiteral("&Skip the rest"), QMessageBox::RejectRole);
        message.setEscapeButton(skip);
    }
    message.setDefaultButton(QMessageBox::Ok);
    message.exec();
    return skip != nullptr && message.clickedButton() == skip ? Answer::skip_rest : Answer::ok;
}

void MainWindow::set_busy(bool busy) {
    close_button_->setEnabled(!busy);
    close_button_->setText(busy ? QStringLiteral("Working...") : QStringLiteral("&Close"));
}

void MainWindow::show_entry(std::size_t index) {
    year_list_->item(static_cast<int>(index))
        ->setText(qt_text(session_.years().entries()[index].label()));
    year_list_->repaint();
}

void MainWindow::wake() {
    // Queued to the window's thread, from the run's.
    QMetaObject::invokeMethod(
        this, [this] { session_.run_tasks(); }, Qt::QueuedConnection);
}

}  // namespace convert
