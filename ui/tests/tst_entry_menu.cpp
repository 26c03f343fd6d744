// The entry list's menu driven as a user drives it: opened by a right-click
// and by the menu key, its commands answered through FakeDialogs, and every
// result checked on disk and in the list.
#include "Unit1.h"

#include <QMouseEvent>
#include "archive/tests/test_support.h"
#include "window/tests/fake_dialogs.h"
#include "window_test_support.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace brimlet;
using namespace brimlet::test;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

class TestEntryMenu : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> tmp;
    std::unique_ptr<FakeDialogs> fake;
    Bytes data;

    // Car.dff (0-1), a dead sector, road.txd (3), generic.col (4-6).
    std::unique_ptr<Twnd_dir> startOnGta3()
    {
        data = pattern(7 * 2048, 9);
        std::string dir = makeArchive(*tmp / "gta3", {makeEntry(0, 2, "Car.dff"), makeEntry(3, 1, "road.txd"),
                                                      makeEntry(4, 3, "generic.col")},
                                      data);
        auto window = std::make_unique<Twnd_dir>(QStringList{q(dir)}, *fake, settingsIn(*tmp / "settings.ini"));
        new QAbstractItemModelTester(window->entryModel(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     window.get());
        window->show();
        QCoreApplication::processEvents();
        return window;
    }

    static void choose(Twnd_dir& w, const QString& text)
    {
        for (QAction* action : w.ListMenu->actions())
            if (action->text().remove('&') == text) {
                action->trigger();
                return;
            }
        QFAIL(qPrintable("no menu item " + text));
    }

    static QStringList rows(Twnd_dir& w)
    {
        QStringList names;
        for (int i = 0; i < w.List->model()->rowCount(); ++i) names << w.List->model()->index(i, 0).data().toString();
        return names;
    }

private slots:
    void init()
    {
        tmp = std::make_unique<TempDir>();
        fake = std::make_unique<FakeDialogs>();
    }
    void cleanup()
    {
        fake.reset();
        tmp.reset();
    }

    void menuOpensOnRightClickAndOnTheMenuKey()
    {
        auto w = startOnGta3();
        QPoint inside = w->List->visualRect(w->List->model()->index(1, 0)).center();
        for (auto reason : {QContextMenuEvent::Mouse, QContextMenuEvent::Keyboard}) {
            QContextMenuEvent event(reason, inside, w->List->viewport()->mapToGlobal(inside));
            QApplication::sendEvent(w->List->viewport(), &event);
            QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget*>(w->ListMenu));
            QStringList texts;
            for (QAction* action : w->ListMenu->actions()) {
                texts << (action->isSeparator() ? "-" : action->text());
                QCOMPARE(action->isEnabled(), action != w->ListMenu->actions().first()); // nothing to undo yet
            }
            QCOMPARE(texts, QStringList({"&Undo", "-", "&Export...", "Re&place...", "Re&name...", "&Delete", "-",
                                         "&Import files...", "E&xport all...", "&Check archive", "&Rebuild archive..."}));
            // By the pointer, the row under it is selected first; by the key, nothing changes.
            QCOMPARE(w->List->ItemIndex(), 1);
            w->ListMenu->close();
        }
        // Shift+F10 opens it as the menu key does.
        QApplication::setActiveWindow(w.get());
        w->List->setFocus();
        QTest::keyClick(w->List, Qt::Key_F10, Qt::ShiftModifier);
        QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget*>(w->ListMenu));
        w->ListMenu->close();
        // The commands and the layout stay as they were.
        QVERIFY(!w->btn_compress->isEnabled());
    }

    void importReplacesAndAddsAndRefreshesTheSearch()
    {
        auto w = startOnGta3();
        w->inp_find->setText("new");
        writeFile(*tmp / "ROAD.TXD", pattern(100, 1));
        writeFile(*tmp / "new.dff", pattern(3000, 2));
        fake->filesAnswers.push_back(std::vector<std::string>{*tmp / "ROAD.TXD", *tmp / "new.dff"});
        choose(*w, "Import files...");
        QCOMPARE(rows(*w), QStringList({"Car.dff", "road.txd", "generic.col", "new.dff"}));
        QCOMPARE(w->resultsModel()->rowCount(), 1); // the search sees the new entry
        Archive reread;
        reread.openimg(*tmp / "gta3.dir");
        QCOMPARE(reread.count(), size_t{4});
        reread.exportEntry(1, *tmp / "out");
        Bytes road = readFile(*tmp / "out");
        QCOMPARE(Bytes(road.begin(), road.begin() + 100), pattern(100, 1));
        QVERIFY(fake->errors.empty());

        // A file that is not there: nothing changes, and the box says why.
        Bytes before = readFile(*tmp / "gta3.dir");
        fake->filesAnswers.push_back(std::vector<std::string>{*tmp / "new.dff", *tmp / "missing.dff"});
        choose(*w, "Import files...");
        QCOMPARE(fake->errors, std::vector<std::string>{*tmp / "missing.dff" + ": File not found. Nothing was imported."});
        QCOMPARE(readFile(*tmp / "gta3.dir"), before);
        QCOMPARE(rows(*w).size(), 4);
    }

    void exportAllWritesEveryEntryAndSaysWhatItRenamed()
    {
        auto w = startOnGta3();
        fake->textAnswers.push_back(std::string("../up.dff"));
        w->List->setItemIndex(0);
        w->ListDblClick(); // rename Car.dff to a name that is no file name
        fake->folderAnswers.push_back(*tmp / "all");
        choose(*w, "Export all...");
        QCOMPARE(readFile(*tmp / "all/.._up.dff"), Bytes(data.begin(), data.begin() + 2 * 2048));
        QCOMPARE(readFile(*tmp / "all/road.txd"), Bytes(data.begin() + 3 * 2048, data.begin() + 4 * 2048));
        QCOMPARE(readFile(*tmp / "all/generic.col").size(), size_t{3 * 2048});
        QCOMPARE(fake->reports, std::vector<std::string>{"Export all|Exported 3 entries to " + *tmp / "all" +
                                                         ".\n#0 \"../up.dff\" written as \".._up.dff\""});
    }

    void checkShowsTheReport()
    {
        auto w = startOnGta3();
        choose(*w, "Check archive");
        QCOMPARE(fake->reports, std::vector<std::string>{"Check archive|No problems found.\nDead space: 2048 bytes, which rebuild "
                                            "gives back."});
    }

    void rebuildAsksFirstThenPacksTheArchive()
    {
        auto w = startOnGta3();
        Bytes before = readFile(*tmp / "gta3.img");
        fake->confirmAnswers.push_back(false);
        choose(*w, "Rebuild archive...");
        QCOMPARE(fake->questions, std::vector<std::string>{"Rebuild archive|Rebuilding gives back 2048 bytes of dead space. "
                                              "Rebuild the archive now?"});
        QCOMPARE(readFile(*tmp / "gta3.img"), before);

        fake->confirmAnswers.push_back(true);
        choose(*w, "Rebuild archive...");
        QCOMPARE(readFile(*tmp / "gta3.img").size(), size_t{6 * 2048});
        QCOMPARE(w->archive().table()[1].startSector(), 2);
        QCOMPARE(fake->reports.back(), std::string("Rebuild archive|Rebuilt: gave back 2048 bytes."));
        QCOMPARE(rows(*w), QStringList({"Car.dff", "road.txd", "generic.col"}));
        w->List->setItemIndex(1);
        fake->fileAnswers.push_back(*tmp / "road.out");
        w->btn_exportClick();
        QCOMPARE(readFile(*tmp / "road.out"), Bytes(data.begin() + 3 * 2048, data.begin() + 4 * 2048));
    }

    // Clicks made while a long command runs are dropped, not run once it ends.
    void clicksDuringProgressAreDropped()
    {
        struct ClickDuringProgress : FakeDialogs {
            QWidget* target = nullptr;
            std::unique_ptr<brimlet::ProgressWindow> openProgress(const std::string& label, bool stoppable) override
            {
                return std::make_unique<ProgressWithHook>(qtDialogs().openProgress(label, stoppable), [this] {
                    if (target) {
                        QPoint at = target->rect().center(), global = target->mapToGlobal(at);
                        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                            QCoreApplication::postEvent(target, new QMouseEvent(type, at, global, Qt::LeftButton,
                                                                                Qt::LeftButton, Qt::NoModifier));
                        target = nullptr;
                    }
                });
            }
        };
        fake = std::make_unique<ClickDuringProgress>();
        auto* clicking = static_cast<ClickDuringProgress*>(fake.get());
        auto w = startOnGta3();
        Bytes before = readFile(*tmp / "gta3.dir");
        w->List->setItemIndex(0);
        clicking->target = w->btn_delete;
        clicking->folderAnswers.push_back(*tmp / "all");
        choose(*w, "Export all...");
        QCoreApplication::processEvents();
        QVERIFY(clicking->target == nullptr); // the click was made
        QCOMPARE(readFile(*tmp / "gta3.dir"), before);
        QCOMPARE(w->List->Count(), 3);
        // The same click afterwards deletes, as it should.
        QTest::mouseClick(w->btn_delete, Qt::LeftButton);
        QCOMPARE(w->List->Count(), 2);
    }

    // Ctrl+click, Shift+click and Shift+arrows select several rows; a plain
    // click one again. Delete then asks once and removes them in one save;
    // F2 renames the one selected row.
    void severalRowsAreSelectedWithCtrlAndShiftAndDeletedAtOnce()
    {
        auto w = startOnGta3();
        auto click = [&](int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            QTest::mouseClick(w->List->viewport(), Qt::LeftButton, modifiers,
                              w->List->visualRect(w->List->model()->index(row, 0)).center());
        };
        click(0);
        click(2, Qt::ControlModifier);
        QCOMPARE(w->List->SelectedRows(), (std::vector<int>{0, 2}));
        click(1);
        QCOMPARE(w->List->SelectedRows(), (std::vector<int>{1}));
        QTest::keyClick(w->List, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(w->List->SelectedRows(), (std::vector<int>{1, 2}));
        click(0, Qt::ShiftModifier);
        QCOMPARE(w->List->SelectedRows(), (std::vector<int>{0, 1}));
        QTest::keyClick(w->List, Qt::Key_Down); // a plain key: one row again
        QCOMPARE(w->List->SelectedRows(), (std::vector<int>{1}));

        click(0, Qt::ControlModifier);
        // The menu key over another row (the focus moved with Ctrl) keeps the selection.
        QPoint over2 = w->List->visualRect(w->List->model()->index(2, 0)).center();
        QContextMenuEvent byKey(QContextMenuEvent::Keyboard, over2, w->List->viewport()->mapToGlobal(over2));
        QApplication::sendEvent(w->List->viewport(), &byKey);
        QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget*>(w->ListMenu));
        w->ListMenu->close();
        QCOMPARE(w->List->SelectedRows(), (std::vector<int>{0, 1}));
        fake->confirmAnswers.push_back(true);
        w->btn_delete->click();
        QCOMPARE(fake->questions, std::vector<std::string>{"Delete|Delete 2 entries? [No]"});
        QCOMPARE(rows(*w), QStringList{"generic.col"});
        Archive reread;
        reread.openimg(*tmp / "gta3.dir");
        QCOMPARE(reread.count(), size_t{1});

        click(0);
        fake->textAnswers.push_back(std::string("renamed.col"));
        QTest::keyClick(w->List, Qt::Key_F2);
        QCOMPARE(fake->inputsShown, std::vector<std::string>{"Rename file|New name:|generic.col"});
        QCOMPARE(rows(*w), QStringList{"renamed.col"});
    }

    // Several selected rows stay selected under a press, for a drag out; a
    // release without a drag selects the pressed row alone, as a click does.
    void aPressOnSeveralSelectedRowsKeepsThemForADrag()
    {
        auto w = startOnGta3();
        QObject::disconnect(w->List, &TListBox::DragOutAsked, nullptr, nullptr); // no real drag here
        QSignalSpy drags(w->List, &TListBox::DragOutAsked);
        auto at = [&](int row) { return w->List->visualRect(w->List->model()->index(row, 0)).center(); };
        QTest::mouseClick(w->List->viewport(), Qt::LeftButton, {}, at(0));
        QTest::mouseClick(w->List->viewport(), Qt::LeftButton, Qt::ControlModifier, at(2));
        QTest::mousePress(w->List->viewport(), Qt::LeftButton, {}, at(2));
        QCOMPARE(w->List->SelectedRows(), (std::vector<int>{0, 2}));
        QMouseEvent small(QEvent::MouseMove, at(2) + QPoint(0, 2), w->List->viewport()->mapToGlobal(at(2)), Qt::NoButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w->List->viewport(), &small); // within the drag distance
        QCOMPARE(drags.count(), 0);
        QTest::mouseRelease(w->List->viewport(), Qt::LeftButton, {}, at(2));
        QCOMPARE(w->List->SelectedRows(), (std::vector<int>{2}));

        QTest::mouseClick(w->List->viewport(), Qt::LeftButton, Qt::ShiftModifier, at(0));
        QTest::mousePress(w->List->viewport(), Qt::LeftButton, {}, at(1));
        QPoint far = at(1) + QPoint(0, QApplication::startDragDistance() + 1);
        QMouseEvent away(QEvent::MouseMove, far, w->List->viewport()->mapToGlobal(far), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(w->List->viewport(), &away);
        QCOMPARE(drags.count(), 1);
        QCOMPARE(w->List->SelectedRows(), (std::vector<int>{0, 1, 2}));
        QTest::mouseRelease(w->List->viewport(), Qt::LeftButton, {}, far);
        QCOMPARE(w->List->SelectedRows(), (std::vector<int>{0, 1, 2})); // the drag took the press
    }

    // The window's one thread never waits without a bound for another
    // program's lock: it gives up after a few seconds with a message.
    void aCommandHeldUpByAnotherProgramGivesUp()
    {
        auto w = startOnGta3();
        Bytes before = readFile(*tmp / "gta3.dir");
        QProcess holder;
        holder.start("flock", {q(*tmp / "gta3.img"), "sh", "-c", "echo held; exec sleep 10"});
        QVERIFY(holder.waitForReadyRead(30000)); // it holds the lock
        QElapsedTimer clock;
        clock.start();
        w->btn_delete->click();
        QVERIFY(clock.elapsed() < 8000);
        QCOMPARE(fake->errors, std::vector<std::string>{"Another program is using this archive; try again when it has finished."});
        QCOMPARE(readFile(*tmp / "gta3.dir"), before);
        holder.kill();
        holder.waitForFinished();
    }
};

QTEST_MAIN(TestEntryMenu)
#include "tst_entry_menu.moc"
