// The main window driven as a user drives it: real button clicks and
// double-clicks, with the file and text dialogs answered by FakeDialogs.
#include "Unit1.h"
#include "archive/tests/test_support.h"
#include "window/tests/fake_dialogs.h"
#include "window_test_support.h"

#include <QDir>
#include <QPainter>
#include <QAbstractItemModelTester>
#include <QTest>
#include <memory>

using namespace brimlet;
using namespace brimlet::test;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

class TestUnit1 : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> tmp;
    std::unique_ptr<FakeDialogs> fake;
    Bytes data;

    // Entries: Car.dff (0-1), road.txd (2), generic.col (3-5); 6 sectors of data.
    QString makeGta3()
    {
        data = pattern(6 * 2048, 9);
        return q(makeArchive(*tmp / "gta3", {makeEntry(0, 2, "Car.dff"), makeEntry(2, 1, "road.txd"),
                                             makeEntry(3, 3, "generic.col")},
                             data));
    }

    // A shown window, started with `arguments`, its start-up done.
    std::unique_ptr<Twnd_dir> start(const QStringList& arguments)
    {
        auto window = std::make_unique<Twnd_dir>(arguments, *fake, settingsIn(*tmp / "settings.ini"));
        // Every change of rows must be announced before and after it happens.
        for (QAbstractItemModel* model : {static_cast<QAbstractItemModel*>(window->entryModel()),
                                          static_cast<QAbstractItemModel*>(window->resultsModel())})
            new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::QtTest, window.get());
        window->show();
        QCoreApplication::processEvents();
        return window;
    }

    std::unique_ptr<Twnd_dir> startOnGta3() { return start({makeGta3()}); }

    static QPoint rowCenter(Twnd_dir& w, int row)
    {
        return w.List->visualRect(w.List->model()->index(row, 0)).center();
    }

    static QImage renderList(Twnd_dir& w)
    {
        QImage image(w.List->viewport()->size(), QImage::Format_RGB32);
        w.List->viewport()->render(&image);
        return image;
    }

    static bool hasColor(const QImage& image, const QRect& area, QColor color)
    {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (image.rect().contains(x, y) && image.pixelColor(x, y) == color) return true;
        return false;
    }

    // One row, 160 pixels wide, painted by the window's draw handler on a
    // canvas of the brush colour.
    static QImage drawRow(Twnd_dir& w, int row, TOwnerDrawState state, QColor brush = Qt::white)
    {
        QImage image(160, 16, QImage::Format_RGB32);
        image.fill(brush);
        {
            QPainter painter(&image);
            TCanvas canvas(painter);
            canvas.Font = w.List->font();
            canvas.Brush = brush;
            TListBox::CanvasScope scope(w.List, &canvas);
            w.ListDrawItem(w.List, row, QRect(0, 0, 160, 16), state);
        }
        return image;
    }

    // The part of a row right of its icon as it should look: the name from
    // x = 18 and the size 38 pixels before the right edge, each in its colour.
    static QImage texts(const QImage& row) { return row.copy(16, 0, 144, 16); }
    static QImage expectedTexts(Twnd_dir& w, const QString& name, QColor nameColour, const QString& size,
                                QColor sizeColour, QColor brush = Qt::white)
    {
        QImage image(160, 16, QImage::Format_RGB32);
        image.fill(brush);
        QPainter painter(&image);
        painter.setFont(w.List->font());
        int baseline = QFontMetrics(w.List->font(), &image).ascent();
        painter.setPen(nameColour);
        painter.drawText(18, baseline, name);
        painter.setPen(sizeColour);
        painter.drawText(160 - 38, baseline, size);
        painter.end();
        return texts(image);
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

    void layoutHasEveryControlInPlace()
    {
        auto w = start({});
        QCOMPARE(w->objectName(), QString("wnd_dir"));
        QCOMPARE(w->windowTitle(), QString("brimlet"));
        QCOMPARE(w->GroupBox1->title(), QString(" dir content "));
        QCOMPARE(w->GroupBox2->title(), QString(" search and results "));
        for (const char* name : {"GroupBox1", "List", "Panel1", "btn_open", "btn_compress", "Panel2", "btn_replace",
                                 "btn_export", "btn_delete", "btn_import", "GroupBox2", "ListBox1", "inp_find"})
            QVERIFY2(w->findChild<QWidget*>(name), name);
        QCOMPARE(w->btn_open->text(), QString("Open"));
        QCOMPARE(w->btn_import->text(), QString("Add"));
        QCOMPARE(w->btn_open->size(), QSize(78, 21));
        QCOMPARE(w->btn_replace->geometry(), QRect(79, 1, 78, 20));
        QCOMPARE(w->btn_export->geometry(), QRect(1, 1, 78, 20));
        QCOMPARE(w->btn_delete->geometry(), QRect(79, 21, 78, 20));
        QCOMPARE(w->btn_import->geometry(), QRect(1, 21, 78, 20));
        QCOMPARE(w->Panel1->height(), 23);
        QCOMPARE(w->Panel2->height(), 42);
        QCOMPARE(w->GroupBox2->height(), 138);
        QCOMPARE(w->inp_find->height(), 19);
        QVERIFY(w->Panel1->geometry().bottom() < w->List->geometry().top());
        QVERIFY(w->List->geometry().bottom() < w->Panel2->geometry().top());
        QVERIFY(w->GroupBox1->geometry().bottom() < w->GroupBox2->geometry().top());
        QCOMPARE(w->OpenDialog1->Filter, std::string("GTA3 & VC dir or img file|*.dir;*.img"));
        QCOMPARE(w->SaveDialog1->Filter, std::string("any file|*.*"));
        QCOMPARE(w->OpenDialog2->Filter, std::string("*.col;*.dff;*.txd|*.col;*.dff;*.txd"));
        QCOMPARE(w->frameGeometry(), QRect(258, 122, 170, 559)); // outer size, frame included
        QCOMPARE(w->List->font().pixelSize(), 13);
        QCOMPARE(w->font().pixelSize(), 11);
    }

    void toolButtonsTakeNoFocusAndCompressIsInert()
    {
        auto w = startOnGta3();
        QVERIFY(!w->btn_compress->isEnabled());
        QTest::mouseClick(w->btn_compress, Qt::LeftButton);
        QVERIFY(fake->shown.empty());
        QApplication::setActiveWindow(w.get());
        w->List->setFocus();
        QTest::keyClick(w->List, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->ListBox1));
        QTest::keyClick(w->ListBox1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->inp_find));
        QTest::keyClick(w->inp_find, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->List));
    }

    void startupOpensAnExistingArgumentWithoutDialog()
    {
        makeGta3();
        auto w = start({q(*tmp / "gta3.img")});
        QVERIFY(fake->shown.empty());
        QCOMPARE(w->GroupBox1->title(), QString(" gta3.dir "));
        QCOMPARE(w->List->Count(), 3);
        QCOMPARE(w->List->ItemIndex(), -1);
    }

    void startupWithoutArchiveShowsTheOpenDialog()
    {
        auto w = start({q(*tmp / "missing.img")});
        QCOMPARE(fake->shown.size(), size_t{1});
        QCOMPARE(fake->shown[0].name, std::string("OpenDialog1"));
        QCOMPARE(w->List->Count(), 0);
        QCOMPARE(w->GroupBox1->title(), QString(" dir content "));
        QVERIFY(fake->errors.empty());
    }

    void openButtonOpensAndAFailedOpenKeepsTheArchive()
    {
        auto w = startOnGta3();
        makeArchive(*tmp / "other", {makeEntry(0, 1, "x.ifp")}, pattern(2048));
        fake->fileAnswers = {*tmp / "other.img"};
        QTest::mouseClick(w->btn_open, Qt::LeftButton);
        QCOMPARE(w->GroupBox1->title(), QString(" other.dir "));
        QCOMPARE(w->List->Count(), 1);

        writeFile(*tmp / "lonely.img", {1});
        fake->fileAnswers = {*tmp / "lonely.img"};
        QTest::mouseClick(w->btn_open, Qt::LeftButton);
        // The box names the missing partner file.
        QCOMPARE(fake->errors, std::vector<std::string>{*tmp / "lonely.dir" + ": File not found."});
        QCOMPARE(w->GroupBox1->title(), QString(" other.dir "));
        QCOMPARE(q(w->archive().directoryPath()), q(*tmp / "other.dir"));
        // The dialog remembers the last choice, also a failed one.
        fake->fileAnswers = {std::nullopt};
        QTest::mouseClick(w->btn_open, Qt::LeftButton);
        QCOMPARE(fake->shown.back().fileName, *tmp / "lonely.img");
    }

    void exportAppliesTheSelectionRuleAndPresets()
    {
        auto w = startOnGta3();
        fake->fileAnswers = {*tmp / "out.dff"};
        QTest::mouseClick(w->btn_export, Qt::LeftButton);
        QCOMPARE(w->List->ItemIndex(), 0);
        QCOMPARE(fake->shown.back().name, std::string("SaveDialog1"));
        QCOMPARE(fake->shown.back().fileName, std::string("Car.dff"));
        QCOMPARE(w->OpenDialog2->FileName, std::string("Car.dff"));
        QCOMPARE(readFile(*tmp / "out.dff"), Bytes(data.begin(), data.begin() + 4096));

        QTest::mouseClick(w->List->viewport(), Qt::LeftButton, {}, rowCenter(*w, 2));
        fake->fileAnswers = {std::nullopt}; // cancel: nothing written
        QTest::mouseClick(w->btn_export, Qt::LeftButton);
        QCOMPARE(fake->shown.back().fileName, std::string("generic.col"));
        QVERIFY(!exists(*tmp / "generic.col"));
        QCOMPARE(w->SaveDialog1->FileName, std::string("generic.col"));
    }

    void addAppendsASelectedRow()
    {
        auto w = startOnGta3();
        writeFile(*tmp / "new.ifp", pattern(3000));
        fake->fileAnswers = {*tmp / "new.ifp"};
        QTest::mouseClick(w->btn_import, Qt::LeftButton);
        QCOMPARE(fake->shown.back().name, std::string("OpenDialog2"));
        QCOMPARE(w->List->Count(), 4);
        QCOMPARE(w->List->ItemIndex(), 3);
        QCOMPARE(w->List->Item(3), QString("new.ifp"));
        QCOMPARE(readFile(*tmp / "gta3.dir").size(), 4u * 32);
        fake->fileAnswers = {std::nullopt};
        QTest::mouseClick(w->btn_import, Qt::LeftButton);
        QCOMPARE(fake->shown.back().fileName, *tmp / "new.ifp");
        QCOMPARE(w->List->Count(), 4);
    }

    void aFileNameBeyondAsciiIsStoredAsTheListShowsIt()
    {
        auto w = startOnGta3();
        std::string file = *tmp / "caf\xC3\xA9.txd"; // UTF-8 on disk, as brimlet-cli takes it too
        writeFile(file, {1});
        fake->fileAnswers = {file};
        QTest::mouseClick(w->btn_import, Qt::LeftButton);
        QCOMPARE(w->List->Item(3), QString::fromUtf8("caf\xC3\xA9.txd"));
        Bytes directory = readFile(*tmp / "gta3.dir");
        QCOMPARE(Bytes(directory.begin() + 3 * 32 + 8, directory.begin() + 3 * 32 + 17),
                 (Bytes{'c', 'a', 'f', 0xE9, '.', 't', 'x', 'd', 0}));
    }

    void addOnAnEmptyListWorks()
    {
        writeFile(*tmp / "e.dir", {});
        writeFile(*tmp / "e.img", {});
        auto w = start({q(*tmp / "e.dir")});
        writeFile(*tmp / "a.dff", {1});
        fake->fileAnswers = {*tmp / "a.dff"};
        QTest::mouseClick(w->btn_import, Qt::LeftButton);
        QCOMPARE(w->List->Count(), 1);
        QCOMPARE(w->List->ItemIndex(), 0);
    }

    void replaceUpdatesTheRowAndTheDisk()
    {
        auto w = startOnGta3();
        QTest::mouseClick(w->List->viewport(), Qt::LeftButton, {}, rowCenter(*w, 1));
        writeFile(*tmp / "big.txd", pattern(5000));
        fake->fileAnswers = {*tmp / "big.txd"};
        QTest::mouseClick(w->btn_replace, Qt::LeftButton);
        QCOMPARE(fake->shown.back().fileName, std::string("road.txd")); // preset to the row
        QCOMPARE(w->SaveDialog1->FileName, std::string("road.txd"));
        QCOMPARE(w->archive().table()[1].sectorCount(), 3u);
        QCOMPARE(w->archive().table()[1].startSector(), 6);
        QCOMPARE(w->List->ItemIndex(), 1);
        QCOMPARE(texts(drawRow(*w, 1, 0)), expectedTexts(*w, "road.txd", Qt::black, "6Kb", QColor(0, 128, 0)));
    }

    void replaceOnAnEmptyListFailsBeforeAnyDialog()
    {
        writeFile(*tmp / "e.dir", {});
        auto w = start({q(*tmp / "e.dir")});
        QTest::mouseClick(w->btn_replace, Qt::LeftButton);
        QCOMPARE(fake->errors, std::vector<std::string>{"List index out of bounds (-1)"});
        QTest::mouseClick(w->btn_export, Qt::LeftButton);
        QVERIFY(fake->shown.empty());
        QCOMPARE(fake->errors.size(), size_t{2});
        QTest::mouseClick(w->btn_delete, Qt::LeftButton); // nothing to delete: nothing happens
        QCOMPARE(fake->errors.size(), size_t{2});
    }

    void deleteRemovesTheRowAndClearsTheSelection()
    {
        auto w = startOnGta3();
        Bytes before = readFile(*tmp / "gta3.dir");
        QTest::mouseClick(w->btn_delete, Qt::LeftButton); // no selection: the first entry
        QCOMPARE(w->List->Count(), 2);
        QCOMPARE(w->List->ItemIndex(), -1);
        QCOMPARE(w->List->Item(0), QString("road.txd"));
        QCOMPARE(readFile(*tmp / "gta3.dir"), Bytes(before.begin() + 32, before.end()));
    }

    void homeAndEndGoToTheFirstAndLastRow()
    {
        auto w = startOnGta3();
        QApplication::setActiveWindow(w.get());
        w->List->setFocus();
        w->List->setItemIndex(1);
        QTest::keyClick(w->List, Qt::Key_End);
        QCOMPARE(w->List->ItemIndex(), 2);
        QTest::keyClick(w->List, Qt::Key_Home);
        QCOMPARE(w->List->ItemIndex(), 0);
        QTest::keyClick(w->List, Qt::Key_Down);
        QCOMPARE(w->List->ItemIndex(), 1);
        QTest::keyClick(w->List, Qt::Key_Up);
        QTest::keyClick(w->List, Qt::Key_Up); // stays on the first row
        QCOMPARE(w->List->ItemIndex(), 0);
    }

    void clickBelowTheRowsKeepsTheSelection()
    {
        auto w = startOnGta3();
        QPoint below(20, w->List->viewport()->height() - 4);
        QVERIFY(!w->List->indexAt(below).isValid());
        QTest::mouseClick(w->List->viewport(), Qt::LeftButton, {}, rowCenter(*w, 1));
        QTest::mouseClick(w->List->viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(w->List->ItemIndex(), 1);
        fake->textAnswers = {std::nullopt};
        QTest::mouseDClick(w->List->viewport(), Qt::LeftButton, {}, below); // renames the selected entry
        QCOMPARE(fake->inputsShown, std::vector<std::string>{"Rename file|New name:|road.txd"});
        QTest::mouseClick(w->btn_delete, Qt::LeftButton);
        QCOMPARE(w->List->Item(0), QString("Car.dff")); // the selected row went, not row 0
        QCOMPARE(w->List->Item(1), QString("generic.col"));
        QVERIFY(fake->errors.empty());
    }

    void doubleClickRenames()
    {
        auto w = startOnGta3();
        fake->textAnswers = {std::string("bus.dff")};
        QTest::mouseDClick(w->List->viewport(), Qt::LeftButton, {}, rowCenter(*w, 0));
        QCOMPARE(fake->inputsShown, std::vector<std::string>{"Rename file|New name:|Car.dff"});
        QCOMPARE(w->List->Item(0), QString("bus.dff"));
        QCOMPARE(w->List->ItemIndex(), 0);
        Archive reread;
        reread.openimg(*tmp / "gta3.dir");
        QCOMPARE(q(reread.name(0)), QString("bus.dff"));

        fake->textAnswers = {std::nullopt};
        Bytes before = readFile(*tmp / "gta3.dir");
        QTest::mouseDClick(w->List->viewport(), Qt::LeftButton, {}, rowCenter(*w, 0));
        QCOMPARE(readFile(*tmp / "gta3.dir"), before);

        // Latin-1 names survive; others are refused before anything changes.
        fake->textAnswers = {"caf\xC3\xA9.dff", "\xE2\x82\xAC.dff"};
        QTest::mouseDClick(w->List->viewport(), Qt::LeftButton, {}, rowCenter(*w, 0));
        QCOMPARE(readFile(*tmp / "gta3.dir")[8 + 3], uint8_t{0xE9});
        before = readFile(*tmp / "gta3.dir");
        QTest::mouseDClick(w->List->viewport(), Qt::LeftButton, {}, rowCenter(*w, 0));
        QCOMPARE(fake->errors.size(), size_t{1});
        QVERIFY(fake->errors[0].find("only Latin-1 characters") != std::string::npos);
        QCOMPARE(readFile(*tmp / "gta3.dir"), before);
    }

    void renameWithoutSelectionFailsAndTheWindowStaysUsable()
    {
        auto w = startOnGta3();
        w->ListDblClick(); // as the list reports a double-click below its rows
        QVERIFY(fake->inputsShown.empty());
        QCOMPARE(fake->errors.back(), std::string("List index out of bounds (-1)"));

        writeFile(*tmp / "long_name_of_twenty_five.dff", {1});
        fake->fileAnswers = {*tmp / "long_name_of_twenty_five.dff"};
        QTest::mouseClick(w->btn_import, Qt::LeftButton);
        QVERIFY(fake->errors.back().ends_with("can hold."));
        QCOMPARE(w->List->Count(), 3);
        fake->fileAnswers = {*tmp / "out"};
        QTest::mouseClick(w->btn_export, Qt::LeftButton);
        QVERIFY(exists(*tmp / "out"));
    }

    void messagesNameTheFullPathOfARelativeArgument()
    {
        // Started from the archive's parent folder with a relative argument.
        QString previous = QDir::currentPath();
        QDir(q(tmp->path())).mkdir("sub");
        QDir::setCurrent(q(tmp->path()));
        QFile tooBig(q(*tmp / "sub/gta3.dir"));
        QVERIFY(tooBig.open(QIODevice::WriteOnly) && tooBig.resize(65537 * 32)); // sparse
        tooBig.close();
        writeFile(*tmp / "sub/gta3.img", {});
        start({"sub/gta3.img"});
        QDir::setCurrent(previous);
        QCOMPARE(fake->errors, std::vector<std::string>{"The directory file " + *tmp / "sub/gta3.dir" +
                                                        " holds more than 65536 entries."});
    }

    void messagesShowNamesAsLatin1()
    {
        auto w = startOnGta3();
        QString longName(25, QChar(0xE9)); // "é" x 25: a byte too long
        fake->textAnswers = {longName.toStdString()};
        QTest::mouseDClick(w->List->viewport(), Qt::LeftButton, {}, rowCenter(*w, 0));
        QVERIFY2(QString::fromStdString(fake->errors.back()).contains("\"" + longName + "\""), fake->errors.back().c_str());
    }

    void rowsArePaintedInTheProgramsColours()
    {
        auto w = startOnGta3();
        w->List->setFocus();
        QTest::mouseClick(w->List->viewport(), Qt::LeftButton, {}, rowCenter(*w, 1));
        QImage image = renderList(*w);
        int width = image.width();
        QRect plainName(18, 0, 40, 16), plainSize(width - 38, 0, 38, 16);
        QRect markedName(18, 16, 40, 16), markedSize(width - 38, 16, 38, 16);
        QVERIFY(hasColor(image, plainName, QColor(0, 0, 0)));
        QVERIFY(hasColor(image, plainSize, QColor(0, 128, 0)));
        QVERIFY(hasColor(image, markedName, QColor(255, 255, 255)));
        QVERIFY(hasColor(image, markedSize, QColor(0, 255, 0)));
        QVERIFY(!hasColor(image, markedName, QColor(0, 0, 0)));
        QCOMPARE(image.pixelColor(width / 2, 24), w->List->palette().color(QPalette::Active, QPalette::Highlight));

        // A focused row that is not selected: white and lime on the window colour.
        QColor grey(128, 128, 128);
        QCOMPARE(texts(drawRow(*w, 2, odFocused, grey)),
                 expectedTexts(*w, "generic.col", Qt::white, "6Kb", QColor(0, 255, 0), grey));
        QCOMPARE(texts(drawRow(*w, 2, 0, grey)),
                 expectedTexts(*w, "generic.col", Qt::black, "6Kb", QColor(0, 128, 0), grey));
    }

    void sizeTextsAndIcons()
    {
        const std::vector<std::pair<uint32_t, QString>> sizes = {
            {0, "0Kb"}, {1, "2Kb"}, {3, "6Kb"}, {500, "1024Kb"}, {1000, "2048Kb"}, {2097151, "4294965Kb"}};
        const std::vector<std::pair<std::string, int>> icons = {
            {"ROAD.TXD", 0}, {"car.Dff", 1}, {"a.b.col", 2}, {"walk.ifp", 3}, {".txd", 0},  {"readme", -1},
            {"x.txd2", -1},  {"x.tx", -1},   {"x.txd ", -1}, {"x.txd\\a", -1}, {"x.col:b", -1}};
        std::vector<DirEntry> entries;
        for (auto& [count, text] : sizes) entries.push_back(makeEntry(0, count, "s"));
        for (auto& [name, icon] : icons) entries.push_back(makeEntry(0, 1, name));
        auto w = start({q(makeArchive(*tmp / "t", entries, {}))});
        for (size_t i = 0; i < sizes.size(); ++i)
            QCOMPARE(texts(drawRow(*w, static_cast<int>(i), 0)),
                     expectedTexts(*w, "s", Qt::black, sizes[i].second, QColor(0, 128, 0)));
        // The icon is drawn last over the row's first 16 pixels.
        for (size_t i = 0; i < icons.size(); ++i) {
            int row = static_cast<int>(sizes.size() + i);
            QImage square = drawRow(*w, row, 0).copy(0, 0, 16, 16);
            int expected = icons[i].second;
            if (expected < 0) {
                QImage blank(16, 16, QImage::Format_RGB32);
                blank.fill(Qt::white);
                QCOMPARE(square, blank);
                continue;
            }
            QImage icon(16, 16, QImage::Format_RGB32);
            icon.fill(Qt::white);
            QPainter p(&icon);
            w->ImageList1->Draw(p, 0, 0, expected);
            p.end();
            QVERIFY2(square == icon, icons[i].first.c_str());
        }
    }

    void sizeTextFollowsTheRightEdgeOnResize()
    {
        auto w = startOnGta3();
        w->resize(300, 559);
        QCoreApplication::processEvents();
        int width = w->List->viewport()->width();
        QImage image = renderList(*w); // row 0 has the focus; row 1 is plain
        QVERIFY(hasColor(image, QRect(width - 38, 16, 30, 16), QColor(0, 128, 0)));
        QVERIFY(!hasColor(image, QRect(100, 16, width - 140, 16), QColor(0, 128, 0)));
        w->resize(10, 559);
        QCOMPARE(w->frameGeometry().width(), 170); // never narrower than 170
    }
};

QTEST_MAIN(TestUnit1)
#include "tst_unit1.moc"
