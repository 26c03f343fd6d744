// The window under a real window manager (run by scripts/with-window-manager):
// its sizes are outer ones, frame included, although the frame is known only
// after the window was first shown.
#include "Unit1.h"
#include "window/tests/fake_dialogs.h"

#include <QProcess>
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
};

QTEST_MAIN(TestWindowManager)
#include "tst_window_manager.moc"
