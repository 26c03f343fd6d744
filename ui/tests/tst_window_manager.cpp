// The window under a real window manager (run by scripts/with-window-manager):
// its sizes are outer ones, frame included, although the frame is known only
// after the window was first shown.
#include "Unit1.h"
#include "archive/tests/test_support.h"
#include "window/tests/fake_dialogs.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestWindowManager : public QObject {
    Q_OBJECT

private slots:
    void outerGeometryIncludesTheFrame()
    {
        QTemporaryDir settings;
        Twnd_dir::settingsStore = [&] {
            return std::make_unique<QSettings>(settings.filePath("settings.ini"), QSettings::IniFormat);
        };
        FakeDialogs fake; // the open dialog at start-up is cancelled
        Twnd_dir w;
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
        Twnd_dir::settingsStore = [&] {
            return std::make_unique<QSettings>(settings.filePath("settings.ini"), QSettings::IniFormat);
        };
        FakeDialogs fake;
        Twnd_dir w;
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
    // user clicks during a long command may act once it ends.
    void aRealClickDuringALongCommandIsDropped()
    {
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) QSKIP("xdotool is not installed");
        brimlet::test::TempDir tmp;
        std::vector<brimlet::DirEntry> entries;
        for (int i = 0; i < 2000; ++i) entries.push_back(brimlet::test::makeEntry(i, 1, "m" + std::to_string(i) + ".dff"));
        std::string dir = brimlet::test::makeArchive(tmp / "many", entries, brimlet::test::pattern(2000 * 2048));
        Twnd_dir::settingsStore = [&] { return std::make_unique<QSettings>(QString::fromStdString(tmp / "s.ini"), QSettings::IniFormat); };
        struct ClickDuringProgress : FakeDialogs {
            std::function<void()> click;
            brimlet::Archive::Progress showProgress(const std::string& label, bool stoppable) override
            {
                auto real = qtDialogs().showProgress(label, stoppable);
                return [this, real](const brimlet::Archive::ProgressStep& step) {
                    if (click) std::exchange(click, nullptr)();
                    real(step);
                };
            }
        } fake;
        Twnd_dir w({QString::fromStdString(dir)});
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
        QTest::qWait(500);
        QCOMPARE(brimlet::test::readFile(dir), before);
        QCOMPARE(w.List->Count(), 2000);
        clickDelete(); // the same click afterwards deletes, as it should
        QTRY_COMPARE_WITH_TIMEOUT(w.List->Count(), 1999, 10000);
    }
};

QTEST_MAIN(TestWindowManager)
#include "tst_window_manager.moc"
