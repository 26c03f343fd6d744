// The window's behaviour without a toolkit: a fake view stands for the
// controls and FakeDialogs answers the dialogs; every command runs on real
// archive files, and the bytes on disk are what the tests look at.
#include "window/dir_window.h"
#include "window/geometry.h"
#include "window/pictures.h"
#include "window/wording.h"

#include "archive/paths.h"
#include "archive/sys.h"
#include "archive/temporary_files.h"
#include "archive/tests/test_support.h"
#include "fake_dialogs.h"

#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <map>

using namespace brimlet;
using namespace brimlet::test;

namespace {

// The controls as the behaviour sees them; the search field raises its
// change event when its text changes, as both toolkits' fields do.
class FakeView : public WindowView {
public:
    DirWindow* window = nullptr;
    int entry = -1, result = -1;
    std::string caption = " dir content ", search;
    std::vector<std::string> focus, changes;
    int resultsBrackets = 0;

    std::vector<int> several; // set by a test: the rows of a Ctrl+click selection

    int selectedEntry() const override { return several.empty() ? entry : several.front(); }
    void selectEntry(int row) override
    {
        several.clear();
        entry = row >= 0 && window && static_cast<size_t>(row) < window->archive().count() ? row : -1;
    }
    std::vector<int> selectedEntries() const override
    {
        if (!several.empty()) return several;
        return entry >= 0 ? std::vector<int>{entry} : std::vector<int>{};
    }
    void entriesChanging(const TableChange& change, bool before) override
    {
        if (!before) changes.push_back(std::to_string(static_cast<int>(change.kind)));
    }
    void setEntriesCaption(const std::string& text) override { caption = text; }
    std::string searchText() const override { return search; }
    void setSearchText(const std::string& text) override
    {
        if (text == search) return;
        search = text;
        window->inp_findChange();
    }
    int selectedResult() const override { return result; }
    void resultsChanging(bool before) override { resultsBrackets += before ? 1 : -1; }
    void focusEntries() override { focus.push_back("List"); }
    void focusResults() override { focus.push_back("ListBox1"); }
};

// Settings kept in a map; `failing` makes every call throw.
struct FakeSettings : SettingsStore {
    std::map<std::string, std::string>& values;
    std::vector<std::string>& log;
    bool failing;
    FakeSettings(std::map<std::string, std::string>& v, std::vector<std::string>& l, bool f) : values(v), log(l), failing(f) {}
    void open() override
    {
        if (failing) throw std::runtime_error("no registry");
        log.push_back("open");
    }
    std::string read(const std::string& name) override
    {
        log.push_back("read " + name);
        return values[name];
    }
    void write(const std::string& name, const std::string& value) override
    {
        log.push_back("write " + name);
        values[name] = value;
    }
};

class DirWindowTest : public ::testing::Test {
protected:
    TempDir tmp;
    FakeDialogs fake;
    FakeView view;
    std::map<std::string, std::string> settings;
    std::vector<std::string> settingsLog;
    bool settingsFail = false;
    std::unique_ptr<DirWindow> window;
    Bytes data = pattern(6 * 2048, 9);

    // Entries: Car.dff (0-1), road.txd (2), "caf\xe9.col" (3-5).
    std::string makeGta3()
    {
        return makeArchive(tmp / "gta3", {makeEntry(0, 2, "Car.dff"), makeEntry(2, 1, "road.txd"),
                                          makeEntry(3, 3, "caf\xe9.col")},
                           data);
    }

    void start(std::vector<std::string> arguments)
    {
        auto opener = [this] { return std::unique_ptr<SettingsStore>(new FakeSettings(settings, settingsLog, settingsFail)); };
        window = std::make_unique<DirWindow>(view, fake, opener, std::move(arguments));
        view.window = window.get();
        window->FormShow();
    }
    void startOnGta3() { start({makeGta3()}); }
};

TEST_F(DirWindowTest, StartUpRestoresTheSettingsInOrderThenOpensTheArgument)
{
    settings = {{"imgfile", "/games/gta3.img"}, {"lastfile", "car.dff"}, {"find", "road"}};
    startOnGta3();
    EXPECT_EQ(settingsLog, (std::vector<std::string>{"open", "read imgfile", "read lastfile", "read find"}));
    EXPECT_TRUE(fake.shown.empty()); // the argument names an archive: no dialog
    EXPECT_EQ(view.caption, " gta3.dir ");
    EXPECT_EQ(window->OpenDialog1.FileName, "/games/gta3.img");
    EXPECT_EQ(window->OpenDialog2.FileName, "car.dff");
    // Restored before any archive was open, the search found nothing yet.
    EXPECT_EQ(window->results().count(), 0u);
    EXPECT_EQ(view.resultsBrackets, 0);

    window->FormCloseQuery();
    EXPECT_EQ(std::vector<std::string>(settingsLog.end() - 4, settingsLog.end()),
              (std::vector<std::string>{"open", "write imgfile", "write lastfile", "write find"}));
    EXPECT_EQ(settings["find"], "road");
}

TEST_F(DirWindowTest, AMissingArgumentShowsTheOpenDialogAndSettingsFailuresStaySilent)
{
    settingsFail = true;
    fake.fileAnswers = {makeGta3()};
    view.search = "DFF";
    start({tmp / "nothing.img"});
    ASSERT_EQ(fake.shown.size(), 1u);
    EXPECT_EQ(fake.shown[0].name, "OpenDialog1");
    EXPECT_EQ(fake.shown[0].filter, "GTA3 & VC dir or img file|*.dir;*.img");
    EXPECT_TRUE(fake.errors.empty());
    // The Open command refreshes the results: only Car.dff holds "dff".
    ASSERT_EQ(window->results().count(), 1u);
    EXPECT_EQ(window->results().name(0), "Car.dff");
    window->FormCloseQuery(); // fails silently too
    EXPECT_TRUE(fake.errors.empty());
}

TEST_F(DirWindowTest, ExportPresetsBothDialogsWithTheRowTextAndWritesTheEntrysBytes)
{
    startOnGta3();
    fake.fileAnswers = {tmp / "out.col"};
    view.entry = 2;
    window->btn_exportClick();
    EXPECT_EQ(fake.shown.back().name, "SaveDialog1");
    EXPECT_EQ(fake.shown.back().fileName, "caf\xc3\xa9.col"); // the Latin-1 name as text
    EXPECT_EQ(window->OpenDialog2.FileName, "caf\xc3\xa9.col");
    EXPECT_EQ(readFile(tmp / "out.col"), Bytes(data.begin() + 3 * 2048, data.end()));

    view.entry = -1; // the selection rule: row 0
    fake.fileAnswers = {std::nullopt};
    window->btn_exportClick();
    EXPECT_EQ(view.entry, 0);
    EXPECT_EQ(fake.shown.back().fileName, "Car.dff");
}

TEST_F(DirWindowTest, CommandsOnAnEmptyListFailBeforeAnyDialog)
{
    makeArchive(tmp / "empty", {}, {});
    start({tmp / "empty.dir"});
    window->btn_exportClick();
    window->btn_replaceClick();
    window->ListDblClick();
    window->HOX_dragdrop1filesdropped(1, {makeGta3()}); // an archive drop opens it...
    EXPECT_EQ(view.caption, " gta3.dir ");
    EXPECT_EQ(fake.errors, std::vector<std::string>(3, "List index out of bounds (-1)"));
    EXPECT_TRUE(fake.shown.empty());
    window->btn_deleteClick(); // ...and Delete with nothing selected takes row 0
    EXPECT_EQ(window->archive().count(), 2u);
    EXPECT_EQ(view.entry, -1);
}

TEST_F(DirWindowTest, AddSelectsTheNewRowAndADroppedFileIsOfferedForReplace)
{
    startOnGta3();
    Bytes bytes = pattern(3000, 4);
    writeFile(tmp / "new.ifp", bytes);
    fake.fileAnswers = {tmp / "new.ifp"};
    window->btn_importClick();
    EXPECT_EQ(view.entry, 3);
    EXPECT_EQ(window->archive().name(3), "new.ifp");

    view.entry = 1;
    fake.fileAnswers = {std::nullopt};
    window->HOX_dragdrop1filesdropped(2, {tmp / "new.ifp", tmp / "gta3.img"});
    EXPECT_EQ(fake.shown.back().name, "OpenDialog2");
    EXPECT_EQ(fake.shown.back().fileName, tmp / "new.ifp"); // the very file dropped
    EXPECT_EQ(window->archive().table()[1].sectorCount(), 1u); // cancelled: unchanged

    fake.fileAnswers = {tmp / "new.ifp"};
    window->HOX_dragdrop1filesdropped(1, {tmp / "new.ifp"});
    EXPECT_EQ(window->archive().table()[1].sectorCount(), 2u);
    Archive reread;
    reread.openimg(tmp / "gta3.dir");
    std::string out = tmp / "check.ifp";
    reread.exportEntry(1, out);
    Bytes exported = readFile(out);
    exported.resize(3000); // the rest is the sector's padding
    EXPECT_EQ(exported, bytes);
}

// The system hands a drop to the window also while a command's dialog is up:
// it must not open another archive under the waiting command.
TEST_F(DirWindowTest, ADropWhileACommandWaitsOnItsDialogIsNotRun)
{
    startOnGta3();
    std::string other = makeArchive(tmp / "other", {makeEntry(0, 1, "x.dff"), makeEntry(1, 1, "y.txd")}, pattern(2 * 2048, 3));
    Bytes otherDir = readFile(tmp / "other.dir"), otherImg = readFile(tmp / "other.img");
    fake.whileShown = [&] { window->HOX_dragdrop1filesdropped(1, {other}); };
    writeFile(tmp / "new.txd", pattern(100, 5));
    view.entry = 1;
    fake.fileAnswers = {tmp / "new.txd"};
    window->btn_replaceClick();
    fake.textAnswers = {"renamed.txd"};
    window->ListDblClick();
    EXPECT_EQ(view.caption, " gta3.dir "); // the drop was not run
    EXPECT_EQ(readFile(tmp / "other.dir"), otherDir);
    EXPECT_EQ(readFile(tmp / "other.img"), otherImg);
    Bytes gta3 = readFile(tmp / "gta3.img");
    EXPECT_EQ(Bytes(gta3.begin() + 2 * 2048, gta3.begin() + 2 * 2048 + 100), pattern(100, 5));
    EXPECT_EQ(window->archive().name(1), "renamed.txd");
    fake.whileShown = nullptr;
    window->HOX_dragdrop1filesdropped(1, {other}); // with no command waiting, it opens
    EXPECT_EQ(view.caption, " other.dir ");
}

TEST_F(DirWindowTest, TheWindowMayNotCloseWhileACommandWaitsOnItsDialog)
{
    // A close from outside (taskkill, another program) arrives while a
    // dialog of the window's is up: it must be refused.
    startOnGta3();
    std::vector<bool> allowed;
    fake.whileShown = [&] { allowed.push_back(window->FormCloseQuery()); };
    view.entry = 0;
    window->btn_exportClick(); // a file dialog, cancelled
    window->menu_rebuildClick(); // a question, answered No
    EXPECT_EQ(allowed, (std::vector<bool>{false, false}));
    EXPECT_TRUE(window->FormCloseQuery());
}

TEST_F(DirWindowTest, AFailureNamesTheFileItIsAbout)
{
    startOnGta3();
    writeFile(tmp / "lonely.img", {1});
    writeFile(tmp / "v2.img", {'V', 'E', 'R', '2', 5, 0, 0, 0}); // its five entries missing
    fake.fileAnswers = {tmp / "lonely.img", tmp / "v2.img"};
    window->btn_openClick();
    window->btn_openClick();
    EXPECT_EQ(fake.errors, (std::vector<std::string>{
                               tmp / "lonely.dir" + ": File not found.",
                               tmp / "v2.img" + ": its directory of 5 entries passes the end of the file."}));
    EXPECT_EQ(view.caption, " gta3.dir "); // still the archive that was open
}

TEST_F(DirWindowTest, AddReplaceAndExportShowTheirProgressAndACancelledExportLeavesNoFile)
{
    startOnGta3();
    writeFile(tmp / "new.ifp", pattern(5000, 4));
    fake.fileAnswers = {tmp / "new.ifp"};
    window->btn_importClick();
    view.entry = 3;
    fake.fileAnswers = {tmp / "new.ifp"};
    window->btn_replaceClick();
    EXPECT_EQ(fake.progressShown, (std::vector<std::string>{"Adding the file...", "Replacing the entry..."}));
    fake.fileAnswers = {tmp / "out.ifp"};
    fake.stopAtStep = 1;
    window->btn_exportClick();
    EXPECT_EQ(fake.progressShown.back(), "Exporting the entry... [Cancel]");
    EXPECT_FALSE(fileExists(tmp / "out.ifp"));
    EXPECT_TRUE(fake.errors.empty());
    fake.stopAtStep = 0;
    fake.fileAnswers = {tmp / "out.ifp"};
    window->btn_exportClick();
    EXPECT_EQ(readFile(tmp / "out.ifp").size(), 3u * 2048);
}

TEST_F(DirWindowTest, SaveAsOpensBesideTheArchiveAndAddAndReplaceWhereTheLastFileWas)
{
    startOnGta3();
    makeFolder(tmp / "mods");
    writeFile(tmp / "mods/new.ifp", pattern(100, 4));
    view.entry = 0;
    fake.fileAnswers = {std::nullopt, tmp / "mods/new.ifp", std::nullopt};
    window->btn_exportClick();  // cancelled
    window->btn_importClick();  // Add, from mods/
    window->btn_replaceClick(); // cancelled: it opened in mods/
    ASSERT_EQ(fake.shown.size(), 3u);
    EXPECT_EQ(fake.shown[0].name, "SaveDialog1");
    EXPECT_EQ(fake.shown[0].initialFolder, tmp.path());
    EXPECT_EQ(fake.shown[1].initialFolder, ""); // nothing chosen yet: where the system's dialog opens
    EXPECT_EQ(fake.shown[2].name, "OpenDialog2");
    EXPECT_EQ(fake.shown[2].initialFolder, tmp / "mods");
}

TEST_F(DirWindowTest, AFullDiskDuringExportAllNamesTheFileBeingWritten)
{
    startOnGta3();
    std::string out = tmp / "out";
    int named = 0;
    for (long k = 1; k < 1000; ++k) {
        std::filesystem::remove_all(fsPath(out));
        fake.folderAnswers = {out};
        sys::FaultPlan plan{k, ENOSPC};
        sys::setFaultPlan(&plan);
        window->menu_exportAllClick();
        sys::setFaultPlan(nullptr);
        if (!plan.fired) break;
        for (const std::string& error : fake.errors) {
            if (error.find("Stream write error") == std::string::npos) continue;
            EXPECT_EQ(error.rfind(out, 0), 0u) << error; // "<out>/Car.dff: Stream write error."
            ++named;
        }
        fake.errors.clear();
    }
    EXPECT_GT(named, 0);
}

TEST_F(DirWindowTest, RenameTakesLatin1TextAndRefusesWhatANameCannotHold)
{
    startOnGta3();
    view.entry = 0;
    fake.textAnswers = {"B\xc3\xbcs.dff", "\xe2\x82\xac.dff"};
    window->ListDblClick();
    EXPECT_EQ(fake.inputsShown.back(), "Rename file|New name:|Car.dff");
    EXPECT_EQ(fake.inputLimits.back(), 255); // the field takes no longer name than a user may type
    EXPECT_EQ(window->archive().name(0), "B\xfcs.dff");
    window->ListDblClick(); // the euro sign is not Latin-1
    EXPECT_EQ(window->archive().name(0), "B\xfcs.dff");
    ASSERT_EQ(fake.errors.size(), 1u);
    EXPECT_NE(fake.errors[0].find("only Latin-1 characters"), std::string::npos);
    Archive reread;
    reread.openimg(tmp / "gta3.dir");
    EXPECT_EQ(reread.name(0), "B\xfcs.dff");
}

TEST_F(DirWindowTest, RenameAsksBeforeANameTheGamesTripOver)
{
    startOnGta3();
    view.entry = 1; // road.txd
    const std::string noExtension = "Rename file|The entry name \"road\" has no extension (one game loads nothing "
                                    "without one). Rename the entry anyway? [No]";
    fake.textAnswers = {"road"};
    window->ListDblClick(); // No, the default
    EXPECT_EQ(fake.questions.back(), noExtension);
    EXPECT_EQ(window->archive().name(1), "road.txd");
    fake.textAnswers = {"road"};
    fake.confirmAnswers = {true};
    window->ListDblClick(); // Yes: renamed all the same
    EXPECT_EQ(window->archive().name(1), "road");
    Archive reread;
    reread.openimg(tmp / "gta3.dir");
    EXPECT_EQ(reread.name(1), "road");

    fake.questions.clear();
    for (const std::string& name : {std::string(), std::string("CAR.dff"), std::string(20, 'x') + ".txd"}) {
        fake.textAnswers = {name};
        window->ListDblClick();
    }
    EXPECT_EQ(fake.questions, (std::vector<std::string>{
                                  "Rename file|The entry name \"\" is empty (no game can load it). Rename the entry "
                                  "anyway? [No]",
                                  "Rename file|The entry name \"CAR.dff\" is the name of entry #0 too (the games load "
                                  "only the first). Rename the entry anyway? [No]",
                                  "Rename file|The entry name \"" + std::string(20, 'x') +
                                      ".txd\" fills all 24 bytes (one game cuts its last byte). Rename the entry "
                                      "anyway? [No]"}));
    EXPECT_EQ(window->archive().name(1), "road");
    // A good name, or one with Latin-1 letters, is renamed without a word.
    fake.textAnswers = {"caf\xc3\xa9.txd"};
    window->ListDblClick();
    EXPECT_EQ(fake.questions.size(), 3u);
    EXPECT_EQ(window->archive().name(1), "caf\xe9.txd");
}

TEST_F(DirWindowTest, SearchAndJumpFollowTheListsTextsAndCase)
{
    makeArchive(tmp / "dups", {makeEntry(0, 1, "a.dff"), makeEntry(1, 1, "caf\xe9.txd"), makeEntry(2, 1, "A.DFF")},
                pattern(3 * 2048));
    start({tmp / "dups.img"});
    view.setSearchText("DFF");
    ASSERT_EQ(window->results().count(), 2u);
    view.result = 1; // A.DFF: the first row equal ignoring case is a.dff
    window->ListBox1Click();
    EXPECT_EQ(view.entry, 0);
    EXPECT_EQ(view.focus, (std::vector<std::string>{"List", "ListBox1"}));

    view.setSearchText("\xc3\xa9"); // é, as typed
    ASSERT_EQ(window->results().count(), 1u);
    EXPECT_EQ(window->results().name(0), "caf\xe9.txd");
    view.setSearchText("\xe2\x82\xac"); // nothing can hold a euro sign
    EXPECT_EQ(window->results().count(), 0u);

    view.setSearchText("txd");
    view.result = 0;
    fake.textAnswers = {"other.txd"};
    view.entry = 1;
    window->ListDblClick();
    window->ListBox1Click(); // the result is stale now: no row has its name
    EXPECT_EQ(view.entry, -1);
    EXPECT_EQ(view.resultsBrackets, 0);
}

TEST_F(DirWindowTest, TheMenuRebuildsOnlyWhenAskedAndChecksInTheListsWords)
{
    makeArchive(tmp / "gappy", {makeEntry(4, 1, "a.dff"), makeEntry(6, 2, "b.txd")}, pattern(8 * 2048));
    start({tmp / "gappy.dir"});
    EXPECT_TRUE(window->menuEnabled(DirWindow::MenuItem::Rebuild));
    window->menu_rebuildClick(); // answered No
    ASSERT_EQ(fake.questions.size(), 1u);
    EXPECT_EQ(fake.questions[0], "Rebuild archive|Rebuilding gives back 10240 bytes of dead space. Rebuild the archive now?");
    EXPECT_EQ(readFile(tmp / "gappy.img").size(), 8u * 2048);
    fake.confirmAnswers = {true};
    window->menu_rebuildClick();
    EXPECT_EQ(readFile(tmp / "gappy.img").size(), 3u * 2048);
    EXPECT_EQ(fake.progressShown, std::vector<std::string>{"Rebuilding the archive..."}); // no Cancel
    EXPECT_EQ(fake.reports.back(), "Rebuild archive|Rebuilt: gave back 10240 bytes.");

    window->menu_checkClick();
    EXPECT_EQ(fake.reports.back(), "Check archive|No problems found.\nNo dead space.");
    EXPECT_TRUE(fake.errors.empty());
}

TEST_F(DirWindowTest, CheckNamesEntriesAsTheListShowsThem)
{
    makeArchive(tmp / "odd", {makeEntry(0, 1, "caf\xe9\\x"), makeEntry(1, 1, "tab\x01.dff"), makeEntry(2, 0, "")},
                pattern(2 * 2048));
    start({tmp / "odd.dir"});
    window->menu_checkClick();
    ASSERT_EQ(fake.reports.size(), 1u);
    const std::string& report = fake.reports[0];
    // A backslash is a backslash, and é is é.
    EXPECT_NE(report.find("#0 \"caf\xc3\xa9\\x\": the name has no extension."), std::string::npos) << report;
    EXPECT_NE(report.find("#1 \"tab\\x01.dff\": the name has non-printable bytes."), std::string::npos) << report;
    EXPECT_NE(report.find("#2 \"\": it has 0 sectors."), std::string::npos) << report;

    // A directory file that ends in part of an entry is no clean archive.
    makeArchive(tmp / "clean", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    Bytes clean = readFile(tmp / "clean.dir");
    clean.insert(clean.end(), {'J', 'U', 'N', 'K'});
    writeFile(tmp / "clean.dir", clean);
    window->openimg(tmp / "clean.dir");
    window->menu_checkClick();
    EXPECT_EQ(fake.reports.back().find("No problems found."), std::string::npos) << fake.reports.back();
    EXPECT_NE(fake.reports.back().find("is not a multiple of 32"), std::string::npos) << fake.reports.back();
}

TEST_F(DirWindowTest, ARebuildThatCannotWorkIsRefusedAndOneThatGrowsDefaultsToNo)
{
    // b.txd reaches past the end of the 3-sector data file.
    makeArchive(tmp / "broken", {makeEntry(0, 1, "a.dff"), makeEntry(2, 4, "b.txd")}, pattern(3 * 2048));
    start({tmp / "broken.dir"});
    Bytes before = readFile(tmp / "broken.img");
    window->menu_rebuildClick();
    EXPECT_TRUE(fake.questions.empty());
    ASSERT_EQ(fake.errors.size(), 1u);
    EXPECT_EQ(fake.errors[0], "The archive cannot be rebuilt: #1 \"b.txd\": its span reaches past the end of the data file.");
    EXPECT_EQ(readFile(tmp / "broken.img"), before);

    makeArchive(tmp / "shared", {makeEntry(0, 2, "a.dff"), makeEntry(0, 2, "b.dff")}, pattern(2 * 2048));
    window->openimg(tmp / "shared.dir");
    window->menu_rebuildClick();
    ASSERT_EQ(fake.questions.size(), 1u);
    EXPECT_TRUE(fake.questions[0].ends_with("Rebuild the archive now? [No]")) << fake.questions[0];
}

TEST_F(DirWindowTest, ARebuildWhoseStartsTheDirectoryCannotHoldIsRefused)
{
    // Two 3 TiB spans shared in a sparse 3 TiB data file: the third entry
    // would start past what a directory can address.
    uint32_t big = 3u << 29; // sectors
    makeArchive(tmp / "huge", {makeEntry(0, big, "a.dff"), makeEntry(0, big, "b.dff"), makeEntry(0, 1, "c.dff")}, {});
    std::error_code sparse;
    std::filesystem::resize_file(tmp / "huge.img", uint64_t{big} * 2048, sparse);
    if (sparse) GTEST_SKIP() << "this file system makes no 3 TiB sparse file: " << sparse.message();
    start({tmp / "huge.dir"});
    window->menu_rebuildClick();
    EXPECT_TRUE(fake.questions.empty());
    ASSERT_EQ(fake.errors.size(), 1u);
    EXPECT_EQ(fake.errors[0], "The archive cannot be rebuilt: entry #2 would start at sector 3221225472, past "
                                  "the last one a directory can address (2147483647)");
    EXPECT_EQ(std::filesystem::file_size(tmp / "huge.img"), uint64_t{big} * 2048);
}

TEST_F(DirWindowTest, ExportAllAndImportEndWithWhatTheyDid)
{
    makeArchive(tmp / "empty", {}, {});
    start({tmp / "empty.dir"});
    EXPECT_FALSE(window->menuEnabled(DirWindow::MenuItem::ExportAll)); // nothing to export
    EXPECT_TRUE(window->menuEnabled(DirWindow::MenuItem::Import));
    writeFile(tmp / "a.dff", pattern(10));
    fake.filesAnswers = {std::vector<std::string>{tmp / "a.dff", tmp / "missing.dff"}};
    window->menu_importClick();
    ASSERT_EQ(fake.errors.size(), 1u);
    EXPECT_TRUE(fake.errors[0].ends_with("Nothing was imported.")) << fake.errors[0];
    EXPECT_EQ(readFile(tmp / "empty.dir").size(), 0u);
    fake.filesAnswers = {std::vector<std::string>{tmp / "a.dff"}};
    window->menu_importClick();
    EXPECT_EQ(fake.reports.back(), "Import files|Replaced 0, added 1.");

    fake.folderAnswers = {tmp / "out"};
    window->menu_exportAllClick();
    EXPECT_EQ(fake.reports.back(), "Export all|Exported 1 entry to " + tmp / "out" + ".");
    EXPECT_EQ(readFile(tmp / "out/a.dff").size(), 2048u);
    fake.folderAnswers = {std::nullopt};
    window->menu_exportAllClick(); // the folder last used is offered again
    // The first time, the archive's own folder, in both front ends.
    EXPECT_EQ(fake.foldersShown, (std::vector<std::string>{tmp.path(), tmp / "out"}));
}

// The question counts the files extract would overwrite, by the names it
// gives them: "a/b.dff" is written as "a_b~1.dff" beside an entry "a_b.dff".
TEST_F(DirWindowTest, ExportAllAsksAboutTheFilesExtractWouldWrite)
{
    start({makeArchive(tmp / "odd", {makeEntry(0, 1, "a_b.dff"), makeEntry(1, 1, "a/b.dff")}, pattern(2 * 2048))});
    std::string out = tmp / "out";
    std::filesystem::create_directory(out);
    writeFile(tmp / "out/a_b.dff", {7});
    fake.folderAnswers = {out};
    fake.existingAnswers = {Dialogs::Existing::Skip};
    window->menu_exportAllClick();
    EXPECT_EQ(fake.questions.back(), "Export all|1 file is already in " + out + ". Overwrite it, or skip its entry?");
    EXPECT_EQ(readFile(tmp / "out/a_b.dff"), Bytes{7});
    Bytes bytes = pattern(2 * 2048);
    EXPECT_EQ(readFile(tmp / "out/a_b~1.dff"), Bytes(bytes.begin() + 2048, bytes.end()));
}

TEST_F(DirWindowTest, ExportAllAsksBeforeItOverwritesAndStopsOnCancel)
{
    startOnGta3(); // Car.dff, road.txd, café.col
    std::string out = tmp / "out";
    std::string mine = tmp / "out/road.txd";
    fake.folderAnswers = {out};
    window->menu_exportAllClick();
    writeFile(mine, {7, 7});
    fake.reports.clear();

    fake.folderAnswers = {out, out, out};
    fake.existingAnswers = {Dialogs::Existing::Cancel, Dialogs::Existing::Skip, Dialogs::Existing::Overwrite};
    window->menu_exportAllClick(); // Cancel: nothing written
    EXPECT_EQ(fake.questions.back(), "Export all|3 files are already in " + out + ". Overwrite them, or skip their entries?");
    EXPECT_EQ(readFile(mine), (Bytes{7, 7}));
    EXPECT_TRUE(fake.reports.empty());
    window->menu_exportAllClick(); // Skip: all three are there, so nothing to do
    EXPECT_EQ(fake.reports.back(), "Export all|Nothing exported: every file is already in " + out + ".");
    EXPECT_EQ(readFile(mine), (Bytes{7, 7}));
    window->menu_exportAllClick(); // Overwrite
    EXPECT_EQ(fake.reports.back(), "Export all|Exported 3 entries to " + out + ".");
    EXPECT_EQ(readFile(mine), Bytes(data.begin() + 2 * 2048, data.begin() + 3 * 2048));

    // Cancelled after the first entry: it stays written, the others are not.
    std::string fresh = tmp / "fresh";
    fake.folderAnswers = {fresh};
    fake.stopAtStep = 1;
    window->menu_exportAllClick();
    EXPECT_EQ(fake.reports.back(), "Export all|Stopped after 1 of 3 entries; the files written stay in " + fresh + ".");
    EXPECT_EQ(readFile(fresh + "/Car.dff"), Bytes(data.begin(), data.begin() + 2 * 2048));
    EXPECT_FALSE(fileExists(fresh + "/road.txd"));
    EXPECT_EQ(fake.progressShown.back(), "Exporting entries... [Cancel]");
}

TEST(Wording, MessagesEndAsTheBoxShowsThem)
{
    for (auto [in, out] : std::vector<std::pair<std::string, std::string>>{
             {"File not found", "File not found."}, {"I/O error 32", "I/O error 32."}, {"why?", "why?."},
             {"Done.", "Done."}, {"Stop!", "Stop!"}, {"(-1)", "(-1)"}, {"a,", "a,"}, {"a ", "a "}, {"", ""},
             {"caf\xc3\xa9", "caf\xc3\xa9."}})
        EXPECT_EQ(messageWithPeriod(in), out) << in;
    // A path's UTF-8 stays; an entry name's Latin-1 byte becomes its character.
    EXPECT_EQ(messageText("/d\xc3\xa9j\xc3\xa0/x \"caf\xe9\" \xed\xa0\x80"),
              "/d\xc3\xa9j\xc3\xa0/x \"caf\xc3\xa9\" \xc3\xad\xc2\xa0\xc2\x80");
}

TEST(Wording, RowsShowSizesAsTheFormatsReadersAndIconsByExtension)
{
    for (auto [sectors, text] : std::vector<std::pair<uint32_t, std::string>>{
             {0, "0Kb"}, {1, "2Kb"}, {3, "6Kb"}, {500, "1024Kb"}, {1000, "2048Kb"}, {2097151, "4294965Kb"}, {2097152, "0Kb"}})
        EXPECT_EQ(sizeText(sectors), text);
    for (auto [name, icon] : std::vector<std::pair<std::string, int>>{
             {"ROAD.TXD", 0}, {"car.Dff", 1}, {"a.b.col", 2}, {"walk.ifp", 3}, {".txd", 0}, {"readme", -1},
             {"x.txd2", -1}, {"x.tx", -1}, {"x.txd ", -1}, {"a.txd\\b", -1}})
        EXPECT_EQ(iconIndexFor(name), icon) << name;
}

}  // namespace

namespace {

TEST(CommandLine, QuotesMakeRunsAndBlanksOrControlsSeparate)
{
    EXPECT_EQ(commandLineArguments("\"C:\\Program Files\\brimlet.exe\" C:\\a\" b\"c.img\tnext"),
              (std::vector<std::string>{"C:\\Program Files\\brimlet.exe", "C:\\a bc.img", "next"}));
    EXPECT_EQ(commandLineArguments("x \"\" \"open"), (std::vector<std::string>{"x", "", "open"}));
    EXPECT_TRUE(commandLineArguments(" \x01 ").empty());
}

TEST(Pictures, AGlyphsBottomLeftColourIsTransparent)
{
    static const char* const xpm[] = {"2 2 3 1", "a c #FF00FF", "b c #102030", "  c None", "b ", "ab"};
    Picture icon = pictureFromXpm(xpm);
    EXPECT_EQ(icon.at(0, 0), 0xFF102030u);
    EXPECT_EQ(icon.at(1, 0), 0u);
    EXPECT_EQ(icon.at(0, 1), 0xFFFF00FFu);
    EXPECT_EQ(glyphPicture(xpm).at(0, 1), 0u);
    EXPECT_EQ(glyphPicture(xpm).at(1, 1), 0xFF102030u);
}

}  // namespace

TEST(Geometry, TheWindowKeepsItsPlaceUnlessTheScreenIsTooSmall)
{
    ScreenRect designed{258, 122, 170, 559};
    EXPECT_EQ(fitToWorkArea(designed, {0, 0, 1024, 738}), designed); // 96 dpi: as designed
    // 144 dpi on a 768-pixel-high screen, a 30-pixel panel at the bottom.
    ScreenRect scaled{387, 183, 255, 839};
    EXPECT_EQ(fitToWorkArea(scaled, {0, 0, 1366, 738}), (ScreenRect{387, 0, 255, 738}));
    // Moved up, not cut, where that is enough; a panel at the top is kept clear.
    EXPECT_EQ(fitToWorkArea(scaled, {0, 30, 1366, 1000}), scaled);
    EXPECT_EQ(fitToWorkArea(scaled, {0, 0, 1366, 900}), (ScreenRect{387, 61, 255, 839}));
    EXPECT_EQ(fitToWorkArea(scaled, {0, 100, 1366, 850}), (ScreenRect{387, 111, 255, 839}));
    EXPECT_EQ(fitToWorkArea(designed, {}), designed); // nothing known of the screen
}

// ---------------------------------------------------------------- several entries

namespace {

// The entry names as the directory file on disk holds them.
std::vector<std::string> namesOnDisk(const std::string& dir)
{
    Archive archive;
    archive.openimg(dir);
    std::vector<std::string> names;
    for (size_t i = 0; i < archive.count(); ++i) names.push_back(archive.table()[i].name());
    return names;
}

}  // namespace

TEST_F(DirWindowTest, SeveralSelectedEntriesAreExportedIntoAFolderAndDeletedWithOneQuestion)
{
    startOnGta3(); // Car.dff, road.txd, café.col
    view.several = {0, 2};
    std::string out = tmp / "out";
    fake.folderAnswers = {out};
    window->btn_exportClick();
    EXPECT_TRUE(fake.shown.empty()); // no save dialog: a folder
    EXPECT_EQ(fake.reports.back(), "Export|Exported 2 entries to " + out + ".");
    EXPECT_EQ(readFile(tmp / "out/Car.dff"), Bytes(data.begin(), data.begin() + 2 * 2048));
    EXPECT_EQ(readFile(tmp / "out/caf\xc3\xa9.col"), Bytes(data.begin() + 3 * 2048, data.end()));
    EXPECT_FALSE(fileExists(tmp / "out/road.txd"));

    // Again: both are there now, and the question of Export all is asked.
    fake.folderAnswers = {out};
    fake.existingAnswers = {Dialogs::Existing::Cancel};
    window->btn_exportClick();
    EXPECT_EQ(fake.questions.back(), "Export|2 files are already in " + out + ". Overwrite them, or skip their entries?");

    Bytes directory = readFile(tmp / "gta3.dir");
    fake.confirmAnswers = {false, true};
    window->btn_deleteClick(); // No, the default: nothing changes
    EXPECT_EQ(fake.questions.back(), "Delete|Delete 2 entries? [No]");
    EXPECT_EQ(readFile(tmp / "gta3.dir"), directory);
    window->btn_deleteClick();
    EXPECT_EQ(namesOnDisk(tmp / "gta3.dir"), std::vector<std::string>{"road.txd"});
    EXPECT_EQ(view.selectedEntry(), -1);
    EXPECT_TRUE(fake.errors.empty());
}

TEST_F(DirWindowTest, ReplaceAndRenameRefuseSeveralEntriesBeforeAnyDialog)
{
    startOnGta3();
    view.several = {1, 2};
    Bytes directory = readFile(tmp / "gta3.dir");
    window->btn_replaceClick();
    window->ListDblClick();
    EXPECT_EQ(fake.errors, (std::vector<std::string>{
                               "Replace works on one entry at a time: 2 are selected; select only one.",
                               "Rename works on one entry at a time: 2 are selected; select only one."}));
    EXPECT_TRUE(fake.shown.empty());
    EXPECT_TRUE(fake.inputsShown.empty());
    EXPECT_EQ(readFile(tmp / "gta3.dir"), directory);
}

TEST_F(DirWindowTest, TheListsMenuActsOnTheRowUnderThePointer)
{
    startOnGta3();
    view.several = {0, 1};
    window->ListContextPopup(1); // among the selected: the selection stays
    EXPECT_EQ(view.selectedEntries(), (std::vector<int>{0, 1}));
    window->ListContextPopup(2); // another row: it alone is selected
    EXPECT_EQ(view.selectedEntries(), (std::vector<int>{2}));
    window->ListContextPopup(-1); // below the rows: unchanged
    EXPECT_EQ(view.selectedEntries(), (std::vector<int>{2}));
    fake.textAnswers = {std::string("cafe.col")};
    window->menuClick(DirWindow::MenuItem::Rename);
    EXPECT_EQ(namesOnDisk(tmp / "gta3.dir")[2], "cafe.col");
    fake.confirmAnswers = {};
    window->menuClick(DirWindow::MenuItem::Delete); // one row: as the button, no question
    EXPECT_EQ(namesOnDisk(tmp / "gta3.dir"), (std::vector<std::string>{"Car.dff", "road.txd"}));
    EXPECT_TRUE(fake.questions.empty());
    // Nothing selected now: Rename (the menu's, F2) has no row to take, and
    // does nothing; the double-click fails as it always has.
    EXPECT_FALSE(window->menuEnabled(DirWindow::MenuItem::Rename));
    window->menuClick(DirWindow::MenuItem::Rename);
    EXPECT_TRUE(fake.inputsShown.size() == 1 && fake.errors.empty());
    window->ListDblClick();
    EXPECT_EQ(fake.errors, std::vector<std::string>{"List index out of bounds (-1)"});
}

// ---------------------------------------------------------------- undo

TEST_F(DirWindowTest, UndoPutsTheDirectoryBackLevelByLevel)
{
    startOnGta3(); // Car.dff, road.txd, café.col
    Bytes original = readFile(tmp / "gta3.dir");
    EXPECT_EQ(window->undoState().caption, "&Undo");
    EXPECT_FALSE(window->undoState().enabled);

    view.entry = 0;
    fake.textAnswers = {std::string("Bus & Co.dff")};
    window->ListDblClick();
    Bytes renamed = readFile(tmp / "gta3.dir");
    view.entry = 1;
    window->btn_deleteClick();
    writeFile(tmp / "new.dff", pattern(3000, 4));
    fake.fileAnswers = {tmp / "new.dff"};
    window->btn_importClick();
    EXPECT_EQ(namesOnDisk(tmp / "gta3.dir"), (std::vector<std::string>{"Bus & Co.dff", "caf\xe9.col", "new.dff"}));

    EXPECT_EQ(window->undoState().caption, "&Undo Add \"new.dff\"");
    window->menuClick(DirWindow::MenuItem::Undo);
    EXPECT_EQ(window->undoState().caption, "&Undo Delete \"road.txd\"");
    window->menuClick(DirWindow::MenuItem::Undo);
    EXPECT_EQ(readFile(tmp / "gta3.dir"), renamed);
    EXPECT_EQ(window->undoState().caption, "&Undo Rename \"Car.dff\" to \"Bus && Co.dff\"");
    window->menuClick(DirWindow::MenuItem::Undo);
    EXPECT_EQ(readFile(tmp / "gta3.dir"), original);
    EXPECT_FALSE(window->undoState().enabled);
    // Every entry reads its bytes as before.
    view.entry = 1;
    fake.fileAnswers = {tmp / "road.out"};
    window->btn_exportClick();
    EXPECT_EQ(readFile(tmp / "road.out"), Bytes(data.begin() + 2 * 2048, data.begin() + 3 * 2048));
    EXPECT_TRUE(fake.errors.empty());
}

TEST_F(DirWindowTest, UndoIsRefusedOnceTheBytesItNeedsMayBeGone)
{
    startOnGta3();
    view.entry = 2;
    window->btn_deleteClick();
    EXPECT_TRUE(window->undoState().enabled);
    // Another program writes into the data file: the old directory may point at its new bytes.
    {
        std::fstream img(tmp / "gta3.img", std::ios::in | std::ios::out | std::ios::binary);
        img.seekp(3 * 2048);
        img.put('\x55');
    }
    EXPECT_FALSE(window->undoState().enabled);
    EXPECT_EQ(window->undoState().caption,
              "&Undo Delete \"caf\xc3\xa9.col\" (no longer possible: another program has written the data file)");
    Bytes directory = readFile(tmp / "gta3.dir");
    window->menuClick(DirWindow::MenuItem::Undo); // does nothing
    EXPECT_EQ(readFile(tmp / "gta3.dir"), directory);

    // A replace that moves the entry is undone; one in place ends undo.
    writeFile(tmp / "big.dff", pattern(5000, 6));
    view.entry = 0;
    fake.fileAnswers = {tmp / "big.dff"};
    window->btn_replaceClick(); // 3 sectors do not fit in 2: moved to the end
    EXPECT_EQ(window->undoState().caption, "&Undo Replace \"Car.dff\"");
    writeFile(tmp / "small.dff", pattern(100, 7));
    view.entry = 1;
    fake.fileAnswers = {tmp / "small.dff"};
    window->btn_replaceClick(); // fits: written in place
    EXPECT_FALSE(window->undoState().enabled);
    EXPECT_TRUE(window->undoState().caption.starts_with("&Undo Replace \"Car.dff\" (no longer possible: an in-place"));
    EXPECT_TRUE(fake.errors.empty());
}

TEST_F(DirWindowTest, UndoKeepsTheLastHundredSteps)
{
    startOnGta3();
    for (int i = 0; i <= 100; ++i) {
        view.entry = 0;
        fake.textAnswers = {std::string("n" + std::to_string(i) + ".dff")};
        window->ListDblClick();
    }
    for (int i = 0; i < 100; ++i) window->menuClick(DirWindow::MenuItem::Undo);
    EXPECT_EQ(namesOnDisk(tmp / "gta3.dir")[0], "n0.dff"); // the first rename is no longer kept
    EXPECT_EQ(window->undoState().caption, "&Undo");
    EXPECT_TRUE(fake.errors.empty());
}

// An append may begin in the last, partial sector of a data file whose last
// entry is unpadded (as other tools leave it): once that entry is deleted, an
// Add writes over its last bytes, and its undo is refused.
TEST_F(DirWindowTest, UndoIsRefusedOnceAnAppendWroteOverADeletedEntrysLastBytes)
{
    Bytes bytes = pattern(4096 + 2100, 3);
    start({makeArchive(tmp / "unpadded", {makeEntry(0, 2, "a.dff"), makeEntry(2, 2, "z.dff")}, bytes)});
    view.entry = 1;
    window->btn_deleteClick();
    EXPECT_TRUE(window->undoState().enabled);
    writeFile(tmp / "b.dff", pattern(5000, 8));
    fake.fileAnswers = {tmp / "b.dff"};
    window->btn_importClick();
    ASSERT_EQ(window->archive().table()[1].startSector(), 3); // in z.dff's last sector
    EXPECT_FALSE(window->undoState().enabled);
    EXPECT_TRUE(window->undoState().caption.starts_with("&Undo Delete \"z.dff\" (no longer possible"));
}

// A command refused because another program changed the archive still
// counts that program's write into the data file.
TEST_F(DirWindowTest, ACommandRefusedForAnotherProgramsChangeStillEndsUndo)
{
    startOnGta3();
    view.entry = 2;
    window->btn_deleteClick();
    Bytes directory = readFile(tmp / "gta3.dir");
    {
        std::fstream img(tmp / "gta3.img", std::ios::in | std::ios::out | std::ios::binary);
        img.seekp(3 * 2048);
        img.put('\x55');
    }
    writeFile(tmp / "gta3.dir", Bytes(directory.begin(), directory.begin() + 32)); // and its directory
    view.entry = 0;
    fake.fileAnswers = {tmp / "out.dff"};
    window->btn_exportClick();
    ASSERT_EQ(fake.errors.size(), 1u); // "... changed by another program ..."
    writeFile(tmp / "gta3.dir", directory); // the other program puts the directory back
    EXPECT_FALSE(window->undoState().enabled);
}

// Each Add starts where the one before left its stray zero byte, which no
// span ever covered: both stay undoable.
TEST_F(DirWindowTest, AddsOneAfterAnotherAreUndoneInTurn)
{
    startOnGta3();
    Bytes original = readFile(tmp / "gta3.dir");
    for (const char* name : {"one.dff", "two.dff"}) {
        writeFile(tmp / name, pattern(3000, 5));
        fake.fileAnswers = {tmp / name};
        window->btn_importClick();
    }
    EXPECT_EQ(window->undoState().caption, "&Undo Add \"two.dff\"");
    window->menuClick(DirWindow::MenuItem::Undo);
    EXPECT_EQ(window->undoState().caption, "&Undo Add \"one.dff\"");
    window->menuClick(DirWindow::MenuItem::Undo);
    EXPECT_EQ(readFile(tmp / "gta3.dir"), original);
}

// ---------------------------------------------------------------- drag out

// Files written before the drag starts are the X front end's way; Windows
// drags virtual files.
#ifndef _WIN32
namespace {

// The user's cache folder, for the drag folder, inside the test's own.
class CacheFolder {
public:
    explicit CacheFolder(const std::string& path) { ::setenv("XDG_CACHE_HOME", path.c_str(), 1); }
    ~CacheFolder() { ::unsetenv("XDG_CACHE_HOME"); }
};

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& file : std::filesystem::directory_iterator(folder)) names.push_back(file.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// The files exist when the drag starts, named as extract names them, and
// stay for the taker a while; a drag nobody took leaves none.
TEST_F(DirWindowTest, EntriesDraggedAsFilesAreWrittenFirstAndGoAfterwards)
{
    CacheFolder cache(tmp / "cache");
    makeArchive(tmp / "gta3", {makeEntry(0, 2, "a/b.dff"), makeEntry(2, 1, "a_b.dff"), makeEntry(3, 3, "A/B.DFF")}, data);
    start({tmp / "gta3.dir"});
    view.several = {0, 2}; // the second has the first's name, ignoring case
    std::vector<std::string> offered;
    window->ListDragOutFiles([&](const std::vector<std::string>& paths) {
        offered = paths;
        return true;
    });
    ASSERT_EQ(offered.size(), 1u);
    std::string first = offered[0], taken = folderOf(first), windowFolder = folderOf(taken);
    EXPECT_EQ(windowFolder, tmp / "cache/brimlet/drag/" + processTag());
    EXPECT_EQ(splitPath(offered[0]).name, window->archive().extractFileNames({0})[0]);
    EXPECT_EQ(readFile(offered[0]), Bytes(data.begin(), data.begin() + 2 * 2048));
    EXPECT_EQ(std::filesystem::status(windowFolder).permissions(), std::filesystem::perms::owner_all);
    EXPECT_TRUE(fake.errors.empty());
    EXPECT_EQ(fake.reports, std::vector<std::string>{"Export|1 selected entry was not dragged: its name is that of "
                                                     "another entry dragged, ignoring case."});

    // The next drag leaves the taken files for a taker still copying them.
    view.several = {1};
    window->ListDragOutFiles([&](const std::vector<std::string>& paths) {
        offered = paths;
        return false; // refused, or let go over this window
    });
    EXPECT_EQ(readFile(first).size(), 2 * 2048u);
    EXPECT_FALSE(exists(folderOf(offered[0])));
    // Ten minutes on, they go at the next drag.
    std::filesystem::last_write_time(taken, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(11));
    window->ListDragOutFiles([&](const std::vector<std::string>&) { return true; });
    EXPECT_FALSE(exists(taken));

    // A cache cleaner took the whole cache: the next drag makes it again.
    std::filesystem::remove_all(tmp / "cache");
    window->ListDragOutFiles([&](const std::vector<std::string>& paths) { return exists(paths[0]); });
    EXPECT_TRUE(fake.errors.empty());
    // A file where the cache's folder goes: the message says why.
    std::filesystem::remove_all(tmp / "cache");
    writeFile(tmp / "cache", {1});
    window->ListDragOutFiles([&](const std::vector<std::string>&) { return true; });
    ASSERT_EQ(fake.errors.size(), 1u);
    EXPECT_EQ(fake.errors[0].rfind("Cannot create folder " + windowFolder + ": ", 0), 0u) << fake.errors[0];
    std::filesystem::remove(tmp / "cache");
    window.reset();
    EXPECT_FALSE(exists(windowFolder));
}

TEST_F(DirWindowTest, ADragOutStartsOnlyWithEveryFileWritten)
{
    CacheFolder cache(tmp / "cache");
    makeArchive(tmp / "gta3", {makeEntry(0, 2, "car.dff"), makeEntry(5, 9, "past.dff")}, data);
    start({tmp / "gta3.dir"});
    bool ran = false;
    auto drag = [&](const std::vector<std::string>&) { return ran = true; };
    window->ListDragOutFiles(drag); // nothing selected
    EXPECT_FALSE(ran);
    view.several = {0, 1};
    window->ListDragOutFiles(drag);
    EXPECT_FALSE(ran);
    ASSERT_EQ(fake.errors.size(), 1u);
    EXPECT_NE(fake.errors[0].find("Read beyond end of file"), std::string::npos) << fake.errors[0];
    EXPECT_TRUE(namesIn(tmp / "cache/brimlet/drag/" + processTag()).empty()); // the drag's folder went

    // The folder of a window that was killed mid-drag goes at the next drag.
    std::string stale = tmp / "cache/brimlet/drag/" + processTag().substr(0, processTag().rfind('-')) + "-999999999";
    makeFolder(stale);
    writeFile(stale + "/car.dff", {1});
    view.several = {0};
    window->ListDragOutFiles(drag);
    EXPECT_TRUE(ran);
    EXPECT_FALSE(exists(stale));
}

#endif

// The Windows shell pulls each file as it is dropped; a failure on the way
// is told once the drag is over.
TEST_F(DirWindowTest, VirtualFilesAreReadAsTheTakerPullsThem)
{
    startOnGta3();
    view.several = {1, 2};
    Bytes got;
    window->ListDragOutVirtual([&](const std::vector<DirWindow::DraggedFile>& files) {
        EXPECT_EQ(files.size(), 2u);
        if (files.size() != 2u) return false;
        EXPECT_EQ(files[1].name, "caf\xc3\xa9.col");
        EXPECT_EQ(files[1].size, 3 * 2048u);
        std::vector<char> piece(5000);
        for (long long n; (n = window->readDragged(files[1], got.size(), piece)) > 0;)
            got.insert(got.end(), piece.begin(), piece.begin() + n);
        return true;
    });
    EXPECT_EQ(got, Bytes(data.begin() + 3 * 2048, data.end()));
    EXPECT_TRUE(fake.errors.empty());

    window->ListDragOutVirtual([&](const std::vector<DirWindow::DraggedFile>& files) {
        writeFile(tmp / "gta3.dir", {}); // another program empties the directory
        std::vector<char> piece(10);
        EXPECT_EQ(window->readDragged(files[0], 0, piece), -1);
        return true;
    });
    ASSERT_EQ(fake.errors.size(), 1u);
    EXPECT_NE(fake.errors[0].find("another program"), std::string::npos) << fake.errors[0];
}

// ---------------------------------------------------------------- version 2

// The later games' one file opens by argument and by a drop, and is
// edited, as a pair is.
TEST_F(DirWindowTest, AVersion2ArchiveOpensAndIsEditedAsAPairIs)
{
    Bytes file = version2File({{1, 1, 0, "car.dff"}, {2, 1, 0, "road.txd"}}, pattern(2 * 2048), 1);
    writeFile(tmp / "sa.img", file);
    start({tmp / "sa.img"});
    EXPECT_EQ(window->archive().count(), 2u);
    EXPECT_EQ(view.caption, " sa.img ");
    view.entry = 1;
    fake.confirmAnswers = {true};
    window->btn_deleteClick();
    EXPECT_TRUE(fake.errors.empty());
    auto entries = readVersion2Independently(readFile(tmp / "sa.img"));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "car.dff");
    window->menuClick(DirWindow::MenuItem::Undo);
    EXPECT_EQ(readVersion2Independently(readFile(tmp / "sa.img")).size(), 2u);

    // An import that grows the directory over car.dff's sector moves it to
    // the end first: the rename before can no longer be undone, and the
    // menu says what overwrote its bytes.
    view.entry = 0;
    fake.textAnswers = {"bus.dff"};
    window->ListDblClick();
    std::vector<std::string> files;
    for (int i = 0; i < 70; ++i) writeFile(files.emplace_back(tmp / ("m" + std::to_string(i) + ".dff")), {1});
    fake.filesAnswers = {files};
    window->menu_importClick();
    EXPECT_TRUE(fake.errors.empty());
    EXPECT_EQ(window->undoState().caption,
              "&Undo Rename \"car.dff\" to \"bus.dff\" (no longer possible: an in-place Replace, a rebuild, the "
              "directory growing over entries' old places or another program has overwritten bytes it needs)");
    EXPECT_FALSE(window->undoState().enabled);
    entries = readVersion2Independently(readFile(tmp / "sa.img"));
    ASSERT_EQ(entries.size(), 72u);
    EXPECT_GE(entries[0].start, 2u); // out of the directory's way

    startOnGta3();
    window->HOX_dragdrop1filesdropped(1, {tmp / "sa.img"});
    EXPECT_EQ(window->archive().version(), Archive::Version::Two);
    EXPECT_EQ(view.caption, " sa.img ");
}
