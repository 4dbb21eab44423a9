#include "main_window.h"

#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "display_text.h"
#include "test_support.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

/// Reads and dismisses, with OK, every modal message box that opens while it
/// lives, noting the Close button's state at that moment.
class MessageBoxReader : public QObject {
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        Qt::TextFormat format;
        QList<QMessageBox::StandardButton> buttons;
        bool close_enabled;
        QString close_caption;
        QFont font;
    };

    explicit MessageBoxReader(F_SPECS& window) : window_(window) {
        connect(&timer_, &QTimer::timeout, this, &MessageBoxReader::poll);
        timer_.start(5);
    }

    QList<Seen> seen;
    /// Runs while a box is open, before it is dismissed.
    std::function<void(const Seen&)> while_open;

    QStringList texts() const {
        QStringList result;
        for (const Seen& s : seen) result << s.text;
        return result;
    }

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || box->property("read").toBool()) return;
        box->setProperty("read", true);
        Seen s{box->windowTitle(),      box->text(), box->icon(),
               box->textFormat(),       {},          window_.B_CLOSE->isEnabled(),
               window_.B_CLOSE->text(), box->font()};
        for (QAbstractButton* b : box->buttons()) s.buttons << box->standardButton(b);
        seen << s;
        if (while_open) while_open(s);
        box->button(QMessageBox::Ok)->click();
    }

    F_SPECS& window_;
    QTimer timer_;
};

void double_click_row(F_SPECS& window, int row) {
    QWidget* viewport = window.S_YEARS->viewport();
    const QPoint at = window.S_YEARS->visualItemRect(window.S_YEARS->item(row)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
}

QStringList entries(const F_SPECS& window) {
    QStringList result;
    for (int i = 0; i < window.S_YEARS->count(); ++i) result << window.S_YEARS->item(i)->text();
    return result;
}

using Files = std::vector<std::pair<std::string, std::string>>;

Files written(const ScopedTempDir& dir, Files files) {
    for (const auto& [name, bytes] : files) write_file(dir / name, bytes);
    return files;
}

/// A folder holding `files`, the window on it shown, and a reader for its
/// message boxes.
struct ShownWindow {
    explicit ShownWindow(Files files) : files(written(dir, std::move(files))) {
        window.show();
        exposed = QTest::qWaitForWindowExposed(&window);
    }
    ScopedTempDir dir;
    Files files;  // written before the window lists the folder
    F_SPECS window{dir.path()};
    MessageBoxReader reader{window};
    bool exposed = false;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    }

    void listsTheFoldersCsvFilesWithTheirDates() {
        // Which files, in which order and form: the year list's own tests.
        ScopedTempDir dir;
        write_file(dir / "spe2001.csv", "x");
        set_modified(dir / "spe2001.csv", 2001, 5, 17);
        write_file(dir / "NOTES.CSV", "x");
        set_modified(dir / "NOTES.CSV", 2002, 1, 2);
        fs::create_symlink(dir / "removed meanwhile", dir / "gone.csv");

        F_SPECS window(dir.path());
        QCOMPARE(entries(window),
                 QStringList({"NOTES.CSV - 2002-01-02", "SPE2001.CSV - 2001-05-17"}));
    }

    void emptyFolderGivesAnEmptyList() {
        ScopedTempDir dir;
        F_SPECS window(dir.path());
        QCOMPARE(window.S_YEARS->count(), 0);
    }

    void controlsStandWhereTheyBelong() {
        ShownWindow shown({{"SPE1999.CSV", kValid}});
        auto& [dir, files, window, reader, exposed] = shown;
        QVERIFY(exposed);
        QCOMPARE(window.windowTitle(), QString("Convert .QMR to .TXT"));
        QCOMPARE(window.size(), QSize(341, 266));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QCOMPARE(window.S_YEARS->geometry(), QRect(56, 16, 229, 164));
        QCOMPARE(window.Label1->geometry(), QRect(60, 184, 225, 21));
        QCOMPARE(window.B_CLOSE->geometry(), QRect(224, 224, 85, 29));
        QCOMPARE(window.Label1->text(), QString("Double click year to convert"));
        QCOMPARE(window.B_CLOSE->text(), QString("Close"));
        QCOMPARE(window.font().family(), QString("Arial"));
        QCOMPARE(window.font().pointSizeF(), 9.75);
        QVERIFY(!window.B_CLOSE->isDefault() && !window.B_CLOSE->autoDefault());
        QCOMPARE(window.S_YEARS->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(window.S_YEARS->hasFocus());
        QVERIFY(window.S_YEARS->selectedItems().isEmpty());
        QCOMPARE(window.Label1->focusPolicy(), Qt::NoFocus);
        QTest::keyClick(window.S_YEARS, Qt::Key_Tab);
        QVERIFY(window.B_CLOSE->hasFocus());
    }

    void convertsTheDoubleClickedEntryAndMarksIt() {
        ShownWindow shown({{"NOTES.CSV", "x"}, {"SPE1999.CSV", kValid}, {"SP1999.TXT", "old"}});
        auto& [dir, files, window, reader, exposed] = shown;
        QVERIFY(exposed);
        const QString listed = entries(window)[1];
        QVERIFY(listed.startsWith("SPE1999.CSV - "));

        double_click_row(window, 1);
        QCOMPARE(reader.texts(), QStringList{"Done."});
        const MessageBoxReader::Seen& done = reader.seen.front();
        QCOMPARE(done.title, QString("Convert"));
        QCOMPARE(done.icon, QMessageBox::NoIcon);
        QCOMPARE(done.format, Qt::PlainText);
        QCOMPARE(done.font, window.font());
        QCOMPARE(done.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
        QVERIFY(done.close_enabled);
        QCOMPARE(done.close_caption, QString("Close"));
        QCOMPARE(read_file(dir / "SP1999.TXT"), std::string(kExampleTarget));
        QCOMPARE(entries(window), QStringList({entries(window)[0], "*" + listed}));

        double_click_row(window, 1);
        QCOMPARE(reader.texts(), QStringList({"Done.", "*SPE1999.CS is already converted"}));
    }

    void reportsEachOutcomeWithTheButtonInItsState_data() {
        QTest::addColumn<QString>("source");  // SPE1999.CSV's content
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<bool>>("enabled");  // the button, while each box is open

        QTest::newRow("not an SPE file")
            << QString::fromStdString(kValid) << 0 << QStringList{"Invalid file name: NOTES.CSV -"}
            << QList<bool>{true};
        QTest::newRow("over-long values, one repeating")
            << QString::fromStdString(
                   source_with_a1({{"Zeta", "Z100", "1234"}, {"Zeta", "Z100", "1234"}}))
                   .replace(",345,", ",3456,")
            << 1
            << QStringList{"Model: Zeta  Z100\n\nField: A1  Response Length:  4   Response: 1234  "
                           "is longer than: 3",
                           "Model: Zeta  Z100\n\nField: B1  Response Length:  4   Response: 3456  "
                           "is longer than: 3",
                           "Model: Zeta  Z100\n\nField: A1  Response Length:  4   Response: 1234  "
                           "is longer than: 3",
                           "Model: Zeta  Z100\n\nField: B1  Response Length:  4   Response: 3456  "
                           "is longer than: 3",
                           "Data not converted."}
            << QList<bool>{false, false, false, false, true};
        QTest::newRow("make in Windows-1252")
            << QString::fromLatin1(source_with_a1({{"Citro\xebn", "C5", "1234"}}).c_str()) << 1
            << QStringList{"Model: Citro\u00ebn  C5\n\nField: A1  Response Length:  4   Response: "
                           "1234  is longer than: 3",
                           "Data not converted."}
            << QList<bool>{false, true};
    }

    void reportsEachOutcomeWithTheButtonInItsState() {
        QFETCH(QString, source);
        QFETCH(int, row);
        QFETCH(QStringList, texts);
        QFETCH(QList<bool>, enabled);

        ShownWindow shown({{"NOTES.CSV", "x"}, {"SPE1999.CSV", source.toLatin1().toStdString()}});
        auto& [dir, files, window, reader, exposed] = shown;
        QVERIFY(exposed);

        double_click_row(window, row);
        QCOMPARE(reader.texts(), texts);
        for (int i = 0; i < reader.seen.size(); ++i) {
            QCOMPARE(reader.seen[i].close_enabled, enabled[i]);
            QCOMPARE(reader.seen[i].close_caption, QString(enabled[i] ? "Close" : "Working..."));
        }
        QVERIFY(!fs::exists(dir / "SP1999.TXT"));
        QVERIFY(!entries(window)[row].startsWith('*'));
    }

    void aMegabyteValueIsShownShortened() {
        const std::string value(1'000'000, '9');
        ShownWindow shown({{"SPE1999.CSV", source_with_a1({{"Zeta", "Z100", value}})}});
        auto& [dir, files, window, reader, exposed] = shown;
        QVERIFY(exposed);
        double_click_row(window, 0);
        QCOMPARE(reader.seen.size(), 2);
        const QString text = reader.seen.front().text;
        // Cut after kLongestShownMessage characters, each CR LF counted as two.
        QCOMPARE(text.size(), qsizetype(kLongestShownMessage + 1 - 2));
        QVERIFY(
            text.startsWith("Model: Zeta  Z100\n\nField: A1  Response Length:  1000000   "
                            "Response: 9999"));
        QVERIFY(text.endsWith(QString("9") + QChar(0x2026)));
    }

    void doubleClickOnTheEmptyAreaConvertsNothing() {
        ShownWindow shown({{"SPE1999.CSV", kValid}});
        auto& [dir, files, window, reader, exposed] = shown;
        QVERIFY(exposed);
        window.S_YEARS->item(0)->setSelected(true);

        const QPoint below_entries(20, window.S_YEARS->viewport()->height() - 5);
        QTest::mouseClick(window.S_YEARS->viewport(), Qt::LeftButton, {}, below_entries);
        QTest::mouseDClick(window.S_YEARS->viewport(), Qt::LeftButton, {}, below_entries);
        QTest::qWait(30);
        QVERIFY(reader.seen.isEmpty());
        QVERIFY(!fs::exists(dir / "SP1999.TXT"));
    }

    void closeDuringARunWaitsForItsEnd() {
        ShownWindow shown({{"SPE1999.CSV", source_with_a1({{"Zeta", "Z100", "1234"}})}});
        auto& [dir, files, window, reader, exposed] = shown;
        QVERIFY(exposed);
        reader.while_open = [&](const MessageBoxReader::Seen& seen) {
            if (seen.text.startsWith("Model:")) {
                window.close();
                QVERIFY(window.isVisible());
            }
        };
        double_click_row(window, 0);
        QCOMPARE(reader.texts().size(), 2);
        QCOMPARE(reader.texts().back(), QString("Data not converted."));
        QVERIFY(!window.isVisible());
    }

    void closeButtonEndsAtOnceWhenIdle() {
        ShownWindow shown({});
        auto& [dir, files, window, reader, exposed] = shown;
        QVERIFY(exposed);
        QTest::mouseClick(window.B_CLOSE, Qt::LeftButton);
        QVERIFY(!window.isVisible());
        QVERIFY(dir.names().empty());
    }

    void enterOnASelectedEntryDoesNothing() {
        ShownWindow shown({{"SPE1999.CSV", kValid}});
        auto& [dir, files, window, reader, exposed] = shown;
        QVERIFY(exposed);
        window.S_YEARS->setCurrentRow(0);
        QTest::keyClick(window.S_YEARS, Qt::Key_Return);
        QTest::qWait(30);
        QVERIFY(reader.seen.isEmpty());
    }

    void decodesBytesForDisplay_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("UTF-8") << QByteArray("Citro\xc3\xabn") << QString("Citro\u00ebn");
        QTest::newRow("Windows-1252") << QByteArray("Citro\xebn") << QString("Citro\u00ebn");
        QTest::newRow("Windows-1252 euro and quotes")
            << QByteArray("\x80 \x93x\x94") << QString("\u20ac \u201cx\u201d");
        QTest::newRow("CR LF is a line break") << QByteArray("a\r\n\r\nb") << QString("a\n\nb");
        QTest::newRow("lone LF stays") << QByteArray("a\nb\r") << QString("a\nb\r");
    }

    void decodesBytesForDisplay() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(display_text(std::string_view(bytes.constData(), bytes.size())), shown);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
