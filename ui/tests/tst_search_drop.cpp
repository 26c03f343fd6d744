// The search field and results, the remembered settings and dropped files,
// driven through the real window with typed keys, clicks and drop events.
#include "Unit1.h"
#include "archive/tests/test_support.h"
#include "window/tests/fake_dialogs.h"
#include "window_test_support.h"

#include <QMimeData>
#include <QAbstractItemModelTester>
#include <QTest>
#include "tests/drop_events.h"
#include <QUrl>
#include <memory>

using namespace brimlet;
using namespace brimlet::test;

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

class TestSearchDrop : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> tmp;
    std::unique_ptr<FakeDialogs> fake;
    std::string settingsPath;
    SettingsFile settings;

    QString makeArchiveOf(const std::string& base, const std::vector<std::string>& names)
    {
        std::vector<DirEntry> entries;
        for (size_t i = 0; i < names.size(); ++i) entries.push_back(makeEntry(static_cast<int32_t>(i), 1, names[i]));
        return q(makeArchive(*tmp / base, entries, pattern(names.size() * 2048)));
    }

    std::unique_ptr<Twnd_dir> start(const QStringList& arguments)
    {
        auto window = std::make_unique<Twnd_dir>(arguments, *fake, settings);
        // Every change of rows must be announced before and after it happens.
        for (QAbstractItemModel* model : {static_cast<QAbstractItemModel*>(window->entryModel()),
                                          static_cast<QAbstractItemModel*>(window->resultsModel())})
            new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::QtTest, window.get());
        window->show();
        QApplication::setActiveWindow(window.get());
        QCoreApplication::processEvents();
        return window;
    }

    static QStringList results(Twnd_dir& w)
    {
        QStringList rows;
        for (int i = 0; i < w.ListBox1->Count(); ++i) rows << w.ListBox1->Item(i);
        return rows;
    }

    static void clickResult(Twnd_dir& w, int row)
    {
        QPoint at = w.ListBox1->visualRect(w.ListBox1->model()->index(row, 0)).center();
        QTest::mouseClick(w.ListBox1->viewport(), Qt::LeftButton, {}, at);
    }


private slots:
    void init()
    {
        tmp = std::make_unique<TempDir>();
        fake = std::make_unique<FakeDialogs>();
        settingsPath = *tmp / "settings.ini";
        settings = settingsIn(settingsPath);
    }
    void cleanup()
    {
        fake.reset();
        tmp.reset();
    }

    void searchFieldIsAFlatFieldAcrossTheTop()
    {
        auto w = start({});
        QVERIFY(w->inp_find->geometry().bottom() < w->ListBox1->geometry().top());
        QCOMPARE(w->inp_find->width(), w->ListBox1->width());
        QImage image(w->inp_find->size(), QImage::Format_RGB32);
        w->inp_find->render(&image);
        QCOMPARE(image.pixel(5, 0), w->inp_find->palette().color(QPalette::Dark).rgb()); // the static edge
        QVERIFY(w->acceptDrops());
    }

    void typingListsMatchingNamesInArchiveOrder()
    {
        auto w = start({makeArchiveOf("gta3", {"Car.dff", "car.txd", "bus.DFF", "Car.dff", "\xC4pfel.dff"})});
        QTest::keyClicks(w->inp_find, "DFF");
        QCOMPARE(results(*w), (QStringList{"Car.dff", "bus.DFF", "Car.dff", QString::fromLatin1("\xC4pfel.dff")}));
        QTest::keyClicks(w->inp_find, "x");
        QVERIFY(results(*w).isEmpty());
        w->inp_find->clear();
        QVERIFY(results(*w).isEmpty()); // an empty field matches nothing
        QTest::keyClicks(w->inp_find, " ");
        QVERIFY(results(*w).isEmpty()); // not trimmed
        w->inp_find->setText(QString::fromUtf8("\xE2\x82\xAC")); // no name can hold it
        QVERIFY(results(*w).isEmpty());
        QVERIFY(fake->errors.empty());
    }

    void clickingAResultSelectsTheFirstEqualEntry()
    {
        auto w = start({makeArchiveOf("gta3", {"x.txd", "a.dff", "A.DFF"})});
        QTest::keyClicks(w->inp_find, "dff");
        QCOMPARE(results(*w), (QStringList{"a.dff", "A.DFF"}));
        clickResult(*w, 1);
        QCOMPARE(w->List->ItemIndex(), 1);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->ListBox1));

        // Results are not refreshed by commands: a vanished name clears the selection.
        QTest::mouseClick(w->btn_delete, Qt::LeftButton);
        QCOMPARE(results(*w).size(), 2);
        w->List->setItemIndex(0);
        clickResult(*w, 0);
        QCOMPARE(w->List->ItemIndex(), 1); // A.DFF is now entry 1
        QCOMPARE(w->List->Item(1), QString("A.DFF"));
        w->List->setItemIndex(0);
        fake->textAnswers = {std::string("z.ifp")};
        QTest::mouseDClick(w->List->viewport(), Qt::LeftButton, {}, w->List->visualRect(w->List->model()->index(1, 0)).center());
        clickResult(*w, 1);
        QCOMPARE(w->List->ItemIndex(), -1);
    }

    void arrowKeysSelectResultsAndJump()
    {
        auto w = start({makeArchiveOf("gta3", {"x.txd", "a.dff", "b.dff", "only.ifp"})});
        QTest::keyClicks(w->inp_find, "dff");
        w->ListBox1->setFocus(Qt::BacktabFocusReason); // back from the search field
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->ListBox1));
        QTest::keyClick(w->ListBox1, Qt::Key_Down); // the first Down takes the first result
        QCOMPARE(w->ListBox1->ItemIndex(), 0);
        QCOMPARE(w->List->ItemIndex(), 1);
        QTest::keyClick(w->ListBox1, Qt::Key_End);
        QCOMPARE(w->ListBox1->ItemIndex(), 1);
        QCOMPARE(w->List->ItemIndex(), 2);
        QTest::keyClick(w->ListBox1, Qt::Key_Home);
        QCOMPARE(w->List->ItemIndex(), 1);

        // A single result is reached with either arrow key.
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up}) {
            w->inp_find->clear();
            w->inp_find->setText("only"); // a fresh refresh: nothing selected
            w->List->setItemIndex(-1);
            w->ListBox1->setFocus();
            QTest::keyClick(w->ListBox1, key);
            QCOMPARE(w->ListBox1->ItemIndex(), 0);
            QCOMPARE(w->List->ItemIndex(), 3);
        }
    }

    void clickingTheSelectedResultJumpsAgain()
    {
        auto w = start({makeArchiveOf("gta3", {"x.txd", "a.dff"})});
        QTest::keyClicks(w->inp_find, "dff");
        clickResult(*w, 0);
        QCOMPARE(w->List->ItemIndex(), 1);
        QTest::mouseClick(w->List->viewport(), Qt::LeftButton, {},
                          w->List->visualRect(w->List->model()->index(0, 0)).center());
        QCOMPARE(w->List->ItemIndex(), 0);
        clickResult(*w, 0); // already selected: jumps all the same
        QCOMPARE(w->List->ItemIndex(), 1);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->ListBox1));
    }

    void openCommandRefreshesResultsButArgumentsAndDropsDoNot()
    {
        QString first = makeArchiveOf("first", {"one.dff"});
        QString second = makeArchiveOf("second", {"two.dff", "three.dff"});
        auto w = start({first});
        QTest::keyClicks(w->inp_find, ".dff");
        QCOMPARE(results(*w), QStringList{"one.dff"});
        QCOMPARE(dropOnWindow(w->List->viewport(), {second}), Qt::CopyAction);
        QCOMPARE(w->List->Count(), 2);
        QCOMPARE(results(*w), QStringList{"one.dff"});
        fake->fileAnswers = {first.toStdString()};
        QTest::mouseClick(w->btn_open, Qt::LeftButton);
        QCOMPARE(results(*w), QStringList{"one.dff"});
        fake->fileAnswers = {second.toStdString()};
        QTest::mouseClick(w->btn_open, Qt::LeftButton);
        QCOMPARE(results(*w), (QStringList{"two.dff", "three.dff"}));
    }

    void settingsSurviveACloseAndANewWindow()
    {
        QString archive = makeArchiveOf("gta3", {"car.dff", "bus.dff"});
        {
            QVERIFY(!QFile::exists(q(settingsPath)));
            auto w = start({}); // first start: no settings, the open dialog is empty
            QVERIFY(QFile::exists(q(settingsPath))); // the store is made at start-up
            QCOMPARE(fake->shown.at(0).fileName, std::string());
            QCOMPARE(w->inp_find->text(), QString());
            fake->fileAnswers = {archive.toStdString(), *tmp / "car.dff"};
            QTest::mouseClick(w->btn_open, Qt::LeftButton);
            writeFile(*tmp / "car.dff", {1});
            QTest::mouseClick(w->btn_replace, Qt::LeftButton);
            QTest::keyClicks(w->inp_find, "bus");
            w->close();
        }
        fake->shown.clear();
        auto w = start({});
        QCOMPARE(fake->shown.at(0).fileName, archive.toStdString()); // the open dialog at start-up
        QCOMPARE(w->OpenDialog2->FileName, *tmp / "car.dff");
        QCOMPARE(w->inp_find->text(), QString("bus"));
        QVERIFY(results(*w).isEmpty()); // nothing open yet when restored
        fake->fileAnswers = {archive.toStdString()};
        QTest::mouseClick(w->btn_open, Qt::LeftButton);
        QCOMPARE(results(*w), QStringList{"bus.dff"});
        w->inp_find->clear();
        w->close();
        QSettings stored(q(settingsPath), QSettings::IniFormat);
        QCOMPARE(stored.value("find").toString(), QString());
    }

    void settingsFailuresAreSwallowed()
    {
        settings = []() -> std::unique_ptr<QSettings> { throw std::runtime_error("no store"); };
        QString archive = makeArchiveOf("gta3", {"car.dff"});
        auto w = start({archive});
        QCOMPARE(w->List->Count(), 1); // start-up went on
        QVERIFY(w->close());
        QVERIFY(fake->errors.empty());
    }

    void droppedArchivesOpenInAnyCase()
    {
        makeArchiveOf("GTA3", {"a.dff"});
        writeFile(*tmp / "GTA3.IMG", {}); // a name in capitals, beside GTA3.dir
        makeArchiveOf("other", {"b.dff", "c.dff"});
        auto w = start({});
        QCOMPARE(dropOnWindow(w->List->viewport(), {q(tmp->path()), q(*tmp / "GTA3.IMG"), q(*tmp / "other.dir")}), Qt::CopyAction);
        QCOMPARE(w->GroupBox1->title(), QString(" GTA3.dir ")); // the first file only
        QCOMPARE(w->List->Count(), 1);
        QCOMPARE(dropOnWindow(w->List->viewport(), {q(*tmp / "missing.img"), q(tmp->path())}), Qt::CopyAction); // nothing that exists
        QCOMPARE(w->GroupBox1->title(), QString(" GTA3.dir "));
    }

    void droppedFileOffersReplaceWithItsPath()
    {
        auto w = start({makeArchiveOf("gta3", {"car.dff", "bus.dff"})});
        writeFile(*tmp / "new car.dff", pattern(100, 3));
        QString dropped = q(*tmp / "new car.dff");
        w->List->setItemIndex(1);
        fake->fileAnswers = {std::nullopt}; // cancelled: nothing changes
        Bytes before = readFile(*tmp / "gta3.img");
        QCOMPARE(dropOnWindow(w->List->viewport(), {dropped}), Qt::CopyAction);
        QCOMPARE(fake->shown.back().name, std::string("OpenDialog2"));
        QCOMPARE(fake->shown.back().fileName, dropped.toStdString());
        QCOMPARE(w->SaveDialog1->FileName, std::string("bus.dff"));
        QCOMPARE(readFile(*tmp / "gta3.img"), before);

        fake->fileAnswers = {dropped.toStdString()}; // confirmed: entry 1 gets the file
        QCOMPARE(dropOnWindow(w->List->viewport(), {dropped}), Qt::CopyAction);
        Bytes after = readFile(*tmp / "gta3.img");
        QCOMPARE(Bytes(after.begin() + 2048, after.begin() + 2148), pattern(100, 3));
    }

    void droppedFileOnAnEmptyListFailsAsReplaceDoes()
    {
        writeFile(*tmp / "e.dir", {});
        auto w = start({q(*tmp / "e.dir")});
        writeFile(*tmp / "x.dff", {1});
        QCOMPARE(dropOnWindow(w->List->viewport(), {q(*tmp / "x.dff")}), Qt::CopyAction);
        QCOMPARE(fake->errors, std::vector<std::string>{"List index out of bounds (-1)"});
        QVERIFY(fake->shown.empty());
        QCOMPARE(w->OpenDialog2->FileName, *tmp / "x.dff"); // remembered all the same
    }

    void filesDroppedAnywhereOnTheWindowOpenAsACopy()
    {
        QString first = makeArchiveOf("first", {"one.dff"});
        QString second = makeArchiveOf("second", {"two.dff", "three.dff"});
        auto w = start({first});
        QString next = second;
        for (QWidget* target : {static_cast<QWidget*>(w->inp_find), w->ListBox1->viewport(), w->List->viewport(),
                                static_cast<QWidget*>(w->btn_open), static_cast<QWidget*>(w->GroupBox2)}) {
            // The source proposes a move; the program only reads the file, so it answers with a copy.
            QCOMPARE(dropOnWindow(target, {next}), Qt::CopyAction);
            QCOMPARE(q(w->archive().directoryPath()), QString(next).replace(".img", ".dir"));
            next = next == first ? second : first;
        }
        QCOMPARE(w->inp_find->text(), QString());
        // A source that allows nothing but a move is refused: nothing opens.
        QCOMPARE(dropOnWindow(w->List->viewport(), {next}, Qt::MoveAction), Qt::IgnoreAction);
        QVERIFY(q(w->archive().directoryPath()) != QString(next).replace(".img", ".dir"));
        QVERIFY(fake->errors.empty());
    }
};

QTEST_MAIN(TestSearchDrop)
#include "tst_search_drop.moc"
