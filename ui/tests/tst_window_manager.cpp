// The window under a real window manager (run by scripts/with-window-manager):
// its sizes are outer ones, frame included, although the frame is known only
// after the window was first shown.
#include "Unit1.h"
#include "fake_dialogs.h"

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
};

QTEST_MAIN(TestWindowManager)
#include "tst_window_manager.moc"
