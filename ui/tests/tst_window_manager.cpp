// The window under a real window manager (run by scripts/with-window-manager):
// its sizes are outer ones, frame included, although the frame is known only
// after the window was first shown.
#include "Unit1.h"
#include "archive/temporary_files.h"
#include "archive/tests/test_support.h"
#include "window/tests/fake_dialogs.h"
#include "window_test_support.h"

#include <QAbstractNativeEventFilter>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <xcb/xcb.h>

namespace {

// Counts the mouse button releases the X server sends this program, as
// they are taken in: a click made with xdotool is known to have reached
// the program once its release is counted.
struct ButtonReleases : QAbstractNativeEventFilter {
    ButtonReleases() { qApp->installNativeEventFilter(this); }
    ~ButtonReleases() override { qApp->removeNativeEventFilter(this); }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t") return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        int kind = event->response_type & 0x7f;
        // Under XInput 2, as Qt asks for it, a release comes as its generic
        // event of type 5 (XI_ButtonRelease).
        if (kind == XCB_BUTTON_RELEASE ||
            (kind == XCB_GE_GENERIC && reinterpret_cast<xcb_ge_generic_event_t*>(event)->event_type == 5))
            ++count;
        return false;
    }
    int count = 0;
};

// xdotool's words that put the pointer on the middle of the entry list's row.
QStringList pointerAtRow(Twnd_dir& w, int row)
{
    QPoint at = w.List->viewport()->mapTo(&w, w.List->visualRect(w.List->model()->index(row, 0)).center());
    return {"mousemove", "--window", QString::number(w.winId()), QString::number(at.x()), QString::number(at.y())};
}

// a.dff, b.txd and c.col, one sector each, as a pair or one version 2 file.
std::string threeEntries(const brimlet::test::TempDir& tmp, const brimlet::test::Bytes& data,
                         brimlet::Archive::Version version = brimlet::Archive::Version::One)
{
    return brimlet::test::Layout(version).make(tmp / "gta3",
                                               {brimlet::test::makeEntry(0, 1, "a.dff"), brimlet::test::makeEntry(1, 1, "b.txd"),
                                                brimlet::test::makeEntry(2, 1, "c.col")},
                                               data);
}

}  // namespace

class TestWindowManager : public QObject {
    Q_OBJECT

private slots:
    void outerGeometryIncludesTheFrame()
    {
        QTemporaryDir settings;
        FakeDialogs fake; // the open dialog at start-up is cancelled
        Twnd_dir w({}, fake, settingsIn(settings.filePath("settings.ini").toStdString()));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY_WITH_TIMEOUT(w.frameGeometry() != w.geometry(), 20000); // framed
        QTRY_COMPARE_WITH_TIMEOUT(w.frameGeometry(), QRect(258, 122, 170, 559), 20000);
        w.resize(10, 559);
        QTRY_COMPARE_WITH_TIMEOUT(w.frameGeometry().width(), 170, 20000); // never narrower
    }

    void theWindowCarriesTheProgramsIcon()
    {
        QTemporaryDir settings;
        FakeDialogs fake;
        Twnd_dir w({}, fake, settingsIn(settings.filePath("settings.ini").toStdString()));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // What the window manager and a task bar read: _NET_WM_ICON, as
        // width, height and the pixels of each size.
        QProcess xprop;
        xprop.start("xprop", {"-id", QString::number(w.winId()), "-f", "_NET_WM_ICON", "32x", " = $0+", "_NET_WM_ICON"});
        QVERIFY(xprop.waitForFinished(10000));
        QString icon = QString::fromLatin1(xprop.readAllStandardOutput());
        QVERIFY2(icon.startsWith("_NET_WM_ICON(CARDINAL) = "), qPrintable(icon.left(300)));
        for (const char* size : {" = 0x10, 0x10, ", ", 0x40, 0x40, "}) QVERIFY2(icon.contains(size), size);
        // The sheet's blue rows and the block's orange are there, not a generic picture.
        QVERIFY(icon.contains("0xff3070d0"));
        QVERIFY(icon.contains("0xffe08828"));
    }

    // A real click on Delete while Export all runs is dropped: nothing the
    // user clicks during a long command may act once it ends. The click is
    // made at the export's first step; its release must reach the program
    // while the export still runs, and a step more must follow, in which the
    // click is handled (dropped). A click that came after the export would
    // prove nothing: it fails the test.
    void aRealClickDuringALongCommandIsDropped()
    {
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) QSKIP("xdotool is not installed");
        brimlet::test::TempDir tmp;
        std::vector<brimlet::DirEntry> entries;
        for (int i = 0; i < 2000; ++i) entries.push_back(brimlet::test::makeEntry(i, 1, "m" + std::to_string(i) + ".dff"));
        std::string dir = brimlet::test::makeArchive(tmp / "many", entries, brimlet::test::pattern(2000 * 2048));
        ButtonReleases releases;
        struct ClickDuringProgress : FakeDialogs {
            ButtonReleases* releases = nullptr;
            std::function<void()> click;
            int releasesBefore = -1; // at the click
            int stepsAfterRelease = 0;
            std::unique_ptr<brimlet::ProgressWindow> openProgress(const std::string& label, bool stoppable) override
            {
                return std::make_unique<ProgressWithHook>(qtDialogs().openProgress(label, stoppable), [this] {
                    if (releasesBefore >= 0 && releases->count > releasesBefore) ++stepsAfterRelease;
                    if (click) {
                        releasesBefore = releases->count;
                        std::exchange(click, nullptr)();
                    }
                });
            }
        } fake;
        fake.releases = &releases;
        Twnd_dir w({QString::fromStdString(dir)}, fake, settingsIn(tmp / "s.ini"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE_WITH_TIMEOUT(w.List->Count(), 2000, 20000);
        w.List->setItemIndex(0);
        QPoint at = w.btn_delete->mapTo(&w, w.btn_delete->rect().center());
        auto clickDelete = [&] {
            QProcess::execute("xdotool", {"mousemove", "--window", QString::number(w.winId()), QString::number(at.x()),
                                          QString::number(at.y()), "click", "1"});
        };
        brimlet::test::Bytes before = brimlet::test::readFile(dir);
        fake.click = clickDelete;
        fake.folderAnswers.push_back(tmp / "all");
        w.menu_exportAllClick();
        QVERIFY2(fake.stepsAfterRelease > 0, "the export ended before the click reached the window: give it more entries");
        QCoreApplication::processEvents(); // what the click might have left to run after the export
        QCOMPARE(brimlet::test::readFile(dir), before);
        QCOMPARE(w.List->Count(), 2000);
        // The same click afterwards deletes, as it should, once.
        int released = releases.count;
        clickDelete();
        QTRY_VERIFY_WITH_TIMEOUT(releases.count > released, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(w.List->Count(), 1999, 10000);
        QCoreApplication::processEvents();
        QCOMPARE(w.List->Count(), 1999);
        QCOMPARE(brimlet::test::readFile(dir).size(), size_t{1999 * 32});
    }

    // Real clicks and keys through the X server: a Ctrl+click adds a row to
    // the selection, Delete asks once and removes both, Ctrl+Z puts them
    // back, F2 renames; in a pair and in a version 2 file alike.
    void realCtrlClicksSelectSeveralEntries_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("version 1") << 1;
        QTest::newRow("version 2") << 2;
    }
    void realCtrlClicksSelectSeveralEntries()
    {
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) QSKIP("xdotool is not installed");
        QFETCH(int, number);
        auto version = static_cast<brimlet::Archive::Version>(number);
        brimlet::test::Layout layout(version);
        brimlet::test::TempDir tmp;
        brimlet::test::Bytes data = brimlet::test::pattern(3 * 2048);
        std::string dir = threeEntries(tmp, data, version);
        FakeDialogs fake;
        Twnd_dir w({QString::fromStdString(dir)}, fake, settingsIn(tmp / "s.ini"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE_WITH_TIMEOUT(w.List->Count(), 3, 20000);
        QString window = QString::number(w.winId());
        auto rowAt = [&](int row) { return pointerAtRow(w, row); };
        // The last run's last click was on this spot: a second one at once would be a double-click.
        QProcess::execute("xdotool", rowAt(0) + QStringList{"sleep", "1", "click", "1"});
        QTRY_COMPARE_WITH_TIMEOUT(w.List->SelectedRows(), (std::vector<int>{0}), 10000);
        QProcess::execute("xdotool", rowAt(2) + QStringList{"keydown", "ctrl", "click", "1", "keyup", "ctrl"});
        QTRY_COMPARE_WITH_TIMEOUT(w.List->SelectedRows(), (std::vector<int>{0, 2}), 10000);
        fake.confirmAnswers.push_back(true);
        QPoint deleteAt = w.btn_delete->mapTo(&w, w.btn_delete->rect().center());
        QProcess::execute("xdotool", {"mousemove", "--window", window, QString::number(deleteAt.x()),
                                      QString::number(deleteAt.y()), "click", "1"});
        QTRY_COMPARE_WITH_TIMEOUT(w.List->Count(), 1, 10000);
        QCOMPARE(fake.questions, std::vector<std::string>{"Delete|Delete 2 entries? [No]"});
        QCOMPARE(layout.directory(dir), brimlet::test::directoryBytes({brimlet::test::makeEntry(1, 1, "b.txd")}));
        // Ctrl+Z in the list puts both back, as they were.
        QProcess::execute("xdotool", rowAt(0) + QStringList{"click", "1", "key", "ctrl+z"});
        QTRY_COMPARE_WITH_TIMEOUT(w.List->Count(), 3, 10000);
        QCOMPARE(layout.directory(dir).size(), size_t{96});
        QCOMPARE(w.archive().table()[2].name(), std::string("c.col"));
        fake.textAnswers.push_back(std::string("d.txd"));
        QProcess::execute("xdotool", rowAt(0) + QStringList{"sleep", "1", "click", "1", "key", "F2"}); // no double-click
        QTRY_COMPARE_WITH_TIMEOUT(fake.inputsShown.size(), size_t{1}, 10000);
        brimlet::Archive reread;
        reread.openimg(dir);
        QVERIFY2(fake.errors.empty(), fake.errors.empty() ? "" : fake.errors.front().c_str());
        QCOMPARE(reread.version(), version);
        QCOMPARE(reread.table()[0].name(), std::string("d.txd"));
        QCOMPARE(layout.data(dir), data);
    }

    // A real drag of two selected rows onto another program's window gives
    // it the entries as files; one let go over this window does nothing.
    void realDragsTakeEntriesOutToAnotherProgramOnly()
    {
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) QSKIP("xdotool is not installed");
        brimlet::test::TempDir tmp;
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(tmp / "cache"));
        brimlet::test::Bytes data = brimlet::test::pattern(3 * 2048);
        std::string dir = threeEntries(tmp, data);
        brimlet::test::makeFolder(tmp / "folder");
        QProcess receiver;
        receiver.start(DROP_RECEIVER, {QString::fromStdString(tmp / "folder")});
        QString said;
        auto hears = [&](const QString& line) {
            said += QString::fromLocal8Bit(receiver.readAllStandardOutput());
            return said.contains(line);
        };
        QTRY_VERIFY_WITH_TIMEOUT(hears("ready "), 20000);
        QString target = said.section("ready ", 1).section('\n', 0, 0);

        FakeDialogs fake;
        Twnd_dir w({QString::fromStdString(dir)}, fake, settingsIn(tmp / "s.ini"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE_WITH_TIMEOUT(w.List->Count(), 3, 20000);
        QString window = QString::number(w.winId());
        auto rowAt = [&](int row) { return pointerAtRow(w, row); };
        QProcess::execute("xdotool", rowAt(0) + QStringList{"click", "1"});
        QProcess::execute("xdotool", rowAt(2) + QStringList{"keydown", "ctrl", "click", "1", "keyup", "ctrl"});
        QTRY_COMPARE_WITH_TIMEOUT(w.List->SelectedRows(), (std::vector<int>{0, 2}), 10000);

        // The drag runs in this program's event loop: xdotool must not hold it up.
        auto dragFromRow2To = [&](const QString& onto, int x, int y) {
            QProcess xdotool;
            xdotool.start("xdotool", rowAt(2) + QStringList{"sleep", "1", "mousedown", "1", "sleep", "0.3", // no double-click
                                                             "mousemove_relative", "--", "0",
                                                            "14", "sleep", "0.3", "mousemove", "--window", onto,
                                                            QString::number(x), QString::number(y), "sleep", "0.5",
                                                            "mousemove", "--window", onto, QString::number(x + 5),
                                                            QString::number(y + 5), "sleep", "0.5", "mouseup", "1"});
            QTRY_VERIFY_WITH_TIMEOUT(xdotool.state() == QProcess::NotRunning, 20000);
        };
        dragFromRow2To(target, 80, 60);
        QTRY_VERIFY_WITH_TIMEOUT(hears("dropped 2 0"), 10000);
        QCOMPARE(brimlet::test::readFile(tmp / "folder/a.dff"), brimlet::test::Bytes(data.begin(), data.begin() + 2048));
        QCOMPARE(brimlet::test::readFile(tmp / "folder/c.col"), brimlet::test::Bytes(data.begin() + 4096, data.end()));
        QCOMPARE(w.List->SelectedRows(), (std::vector<int>{0, 2}));

        brimlet::test::Bytes directory = brimlet::test::readFile(dir);
        QPoint search = w.ListBox1->mapTo(&w, w.ListBox1->rect().center());
        dragFromRow2To(window, search.x(), search.y());
        QTest::qWait(500);
        // The taken drag's files stay for the taker; the refused one's are gone.
        QDir drags(QString::fromStdString(tmp / "cache/brimlet/drag/" + brimlet::processTag()));
        QCOMPARE(drags.entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"1"});
        QCOMPARE(QDir(drags.filePath("1")).entryList(QDir::Files), (QStringList{"a.dff", "c.col"}));
        QCOMPARE(brimlet::test::readFile(dir), directory);
        QVERIFY(fake.shown.empty());
        QVERIFY(fake.errors.empty());
        QVERIFY(!hears("dropped 2 0\ndropped"));
        receiver.kill();
        receiver.waitForFinished();
        qunsetenv("XDG_CACHE_HOME");
    }

    // A button let go while the drag's files are still being written ends
    // the drag before it begins: no drag follows the pointer afterwards.
    void aButtonLetGoBeforeTheFilesAreWrittenStartsNoDrag()
    {
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) QSKIP("xdotool is not installed");
        brimlet::test::TempDir tmp;
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(tmp / "cache"));
        std::vector<brimlet::DirEntry> entries;
        for (int i = 0; i < 2000; ++i) entries.push_back(brimlet::test::makeEntry(i, 1, "m" + std::to_string(i) + ".dff"));
        std::string dir = brimlet::test::makeArchive(tmp / "many", entries, brimlet::test::pattern(2000 * 2048));
        struct ReleaseDuringProgress : FakeDialogs {
            std::function<void()> release;
            std::unique_ptr<brimlet::ProgressWindow> openProgress(const std::string& label, bool stoppable) override
            {
                return std::make_unique<ProgressWithHook>(qtDialogs().openProgress(label, stoppable), [this] {
                    if (release) std::exchange(release, nullptr)();
                });
            }
        } fake;
        Twnd_dir w({QString::fromStdString(dir)}, fake, settingsIn(tmp / "s.ini"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE_WITH_TIMEOUT(w.List->Count(), 2000, 20000);
        w.List->selectAll();
        struct DragEnters : QObject {
            int count = 0;
            bool eventFilter(QObject*, QEvent* event) override
            {
                if (event->type() == QEvent::DragEnter) ++count;
                return false;
            }
        } enters;
        w.installEventFilter(&enters);
        bool released = false;
        fake.release = [&] {
            QProcess::execute("xdotool", {"mouseup", "1"});
            released = true;
        };
        // A drag that did begin would follow the pointer until a click: this one ends it.
        QTimer::singleShot(8000, [] { QProcess::execute("xdotool", {"click", "1"}); });
        QProcess xdotool;
        xdotool.start("xdotool", pointerAtRow(w, 0) + QStringList{"sleep", "1", "mousedown", "1", "mousemove_relative", "--",
                                                                  "0", "14"});
        QTRY_VERIFY_WITH_TIMEOUT(released, 15000);
        QDir drags(QString::fromStdString(tmp / "cache/brimlet/drag/" + brimlet::processTag()));
        QTRY_VERIFY_WITH_TIMEOUT(drags.exists() && drags.entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty(), 15000);
        QCOMPARE(enters.count, 0);
        QVERIFY(fake.errors.empty());
        xdotool.waitForFinished();
        qunsetenv("XDG_CACHE_HOME");
    }
};

QTEST_MAIN(TestWindowManager)
#include "tst_window_manager.moc"
