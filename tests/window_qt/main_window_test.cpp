// The Qt window driven through its real controls, found by their object
// names; its message boxes are read and dismissed as they open.
#include "window_qt/main_window.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "test_support.h"
#include "window_scenarios.h"
#include "window_shared/display_text.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

QListWidget* year_list(QWidget& window) {
    return window.findChild<QListWidget*>(QStringLiteral("S_YEARS"));
}

QPushButton* close_button(QWidget& window) {
    return window.findChild<QPushButton*>(QStringLiteral("B_CLOSE"));
}

/// Reads and dismisses, with OK, every modal message box that opens while it
/// lives, noting the Close button's state at that moment.
class MessageBoxReader : public QObject {
public:
    explicit MessageBoxReader(QWidget& window) : window_(window) {
        connect(&timer_, &QTimer::timeout, this, &MessageBoxReader::poll);
        timer_.start(5);
    }

    std::vector<window_scenarios::Box> seen;
    QList<QMessageBox*> boxes;  // valid only while each is open
    std::function<void(const window_scenarios::Box&, QMessageBox&)> while_open;
    std::function<bool(const window_scenarios::Box&)> skip_when;

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || box->property("read").toBool()) return;
        box->setProperty("read", true);
        QAbstractButton* skip = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            if (button->text().remove('&') == QStringLiteral("Skip the rest")) skip = button;
        }
        seen.push_back({box->text().toStdString(), close_button(window_)->isEnabled(),
                        close_button(window_)->text().remove('&').toStdString(), skip != nullptr});
        if (while_open) while_open(seen.back(), *box);
        if (skip != nullptr && skip_when && skip_when(seen.back())) {
            skip->click();
        } else {
            box->button(QMessageBox::Ok)->click();
        }
    }

    QWidget& window_;
    QTimer timer_;
};

class QtDriver : public window_scenarios::Driver {
public:
    bool open(const fs::path& folder, const RunFiles& files = real_files()) override {
        window_ = std::make_unique<MainWindow>(folder);
        window_->session().use_files(files);
        reader_ = std::make_unique<MessageBoxReader>(*window_);
        reader_->skip_when = [this](const window_scenarios::Box& box) { return skip && skip(box); };
        window_->show();
        return QTest::qWaitForWindowExposed(window_.get());
    }
    void wait_until_idle() override {
        QTest::qWait(20);
        QElapsedTimer waited;
        waited.start();
        while (window_->session().busy() && waited.elapsed() < 60'000) QTest::qWait(10);
    }
    std::vector<std::string> entries() override {
        std::vector<std::string> texts;
        for (int i = 0; i < list()->count(); ++i)
            texts.push_back(list()->item(i)->text().toStdString());
        return texts;
    }
    void select(int row) override { list()->setCurrentRow(row); }
    void double_click(int row) override {
        const QPoint at = row >= 0 ? list()->visualItemRect(list()->item(row)).center()
                                   : QPoint(20, list()->viewport()->height() - 5);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
        QTest::qWait(20);
    }
    void press_enter() override {
        list()->setFocus();
        QTest::keyClick(list(), Qt::Key_Return);
        QTest::qWait(20);
    }
    void press_enter_on_close() override {
        close_button(*window_)->setFocus();
        QTest::keyClick(close_button(*window_), Qt::Key_Return);
        QTest::qWait(20);
    }
    void click_close() override { QTest::mouseClick(close_button(*window_), Qt::LeftButton); }
    void request_close() override { window_->close(); }
    bool is_open() override { return window_->isVisible(); }
    std::string close_caption() override {
        return close_button(*window_)->text().remove('&').toStdString();
    }
    void after(int milliseconds, std::function<void()> action) override {
        QTimer::singleShot(milliseconds, window_.get(), std::move(action));
    }
    std::vector<window_scenarios::Box> boxes() override { return reader_->seen; }
    void while_box_open(std::function<void(const window_scenarios::Box&)> action) override {
        reader_->while_open = [action](const window_scenarios::Box& box, QMessageBox&) {
            action(box);
        };
    }

    MainWindow& window() { return *window_; }
    MessageBoxReader& reader() { return *reader_; }

private:
    QListWidget* list() { return year_list(*window_); }
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<MessageBoxReader> reader_;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    }

    void scenarios_data() {
        QTest::addColumn<int>("index");
        int index = 0;
        for (const window_scenarios::Scenario& scenario : window_scenarios::scenarios()) {
            QTest::newRow(scenario.name) << index++;
        }
    }

    void scenarios() {
        QFETCH(int, index);
        QtDriver driver;
        const std::vector<std::string> wrong =
            window_scenarios::play(window_scenarios::scenarios()[index], driver);
        std::string all;
        for (const std::string& line : wrong) all += line + "\n";
        QVERIFY2(wrong.empty(), all.c_str());
    }

    void controlsStandWhereTheyBelong() {
        ScopedTempDir dir;
        QtDriver driver;
        QVERIFY(driver.open(dir.path()));
        MainWindow& window = driver.window();
        auto* label = window.findChild<QLabel*>(QStringLiteral("Label1"));
        QPushButton* close = close_button(window);
        QListWidget* list = year_list(window);
        QVERIFY(label && close && list);
        QCOMPARE(window.objectName(), QString("F_SPECS"));
        QCOMPARE(window.windowTitle(), QString("Convert .QMR to .TXT"));
        QCOMPARE(window.size(), QSize(341, 266));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QCOMPARE(list->geometry(), QRect(56, 16, 229, 164));
        QCOMPARE(label->geometry(), QRect(60, 184, 225, 21));
        QCOMPARE(close->geometry(), QRect(224, 224, 85, 29));
        QCOMPARE(label->text(), QString("Double click year to convert"));
        QCOMPARE(close->text(), QString("&Close"));
        QCOMPARE(list->accessibleName().isEmpty() ? label->buddy() : nullptr, list);
        QCOMPARE(window.font().family(), QString("Arial"));
        QCOMPARE(window.font().pointSizeF(), 9.75);
        QVERIFY(!close->isDefault() && !close->autoDefault());
        QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(list->hasFocus());
        QVERIFY(list->selectedItems().isEmpty());
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        QTest::keyClick(list, Qt::Key_Tab);
        QVERIFY(close->hasFocus());
    }

    // A box about a value offers OK for Enter and Skip the rest for Esc;
    // every other box OK alone.
    void messageBoxesArePlainModalAndTitled() {
        ScopedTempDir dir;
        write_file(dir / "SPE1999.CSV", source_with_a1({{"Zeta", "Z1", "1234"}}));
        QtDriver driver;
        QVERIFY(driver.open(dir.path()));
        int checked = 0;
        driver.reader().while_open = [&](const window_scenarios::Box& seen, QMessageBox& box) {
            QCOMPARE(box.windowTitle(), QString("Convert"));
            QCOMPARE(box.icon(), QMessageBox::NoIcon);
            QCOMPARE(box.textFormat(), Qt::PlainText);
            QCOMPARE(box.font(), driver.window().font());
            QCOMPARE(box.buttons().size(), seen.skippable ? 2 : 1);
            QCOMPARE(box.defaultButton(), box.button(QMessageBox::Ok));
            if (seen.skippable) {
                QVERIFY(box.escapeButton() != nullptr);
                QCOMPARE(box.escapeButton()->text(), QString("&Skip the rest"));
            }
            QVERIFY(box.isModal());
            ++checked;
        };
        driver.double_click(0);
        driver.wait_until_idle();
        QCOMPARE(checked, 2);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
