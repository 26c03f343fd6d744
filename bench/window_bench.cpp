// The window on a 65,536-entry archive, headless, against the archive work
// alone measured in the same run:
// - opening until the list is ready to paint, against loading the directory;
//   and the first screenful painted right after;
// - a search refresh in which every name matches, against a plain scan of
//   the same names;
// - how many rows one scroll step paints (only the visible ones);
// - 5,000 entries selected and exported through the window, against the
//   store's extract of the same entries (what brimlet-cli extract runs).
#include "Unit1.h"
#include "archive/paths.h"
#include "archive/sectors.h"
#include "bench_support.h"
#include "dialogs.h"

#include <QApplication>
#include <QScrollBar>
#include <fcntl.h>
#include <unistd.h>

using namespace brimlet;
using namespace brimlet::bench;

namespace {

constexpr size_t kEntries = 65536;

// Writes `path`.dir of `count` one-sector entries "<stem>N<extension>", one
// after another, and with `dataToo` the data file they point into.
void writeArchive(const std::string& path, size_t count, const std::string& stem, const std::string& extension,
                  bool dataToo)
{
    auto writeAll = [](const std::string& file, const std::string& bytes) {
        int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) < 0) std::abort();
        ::close(fd);
    };
    std::string bytes;
    for (size_t i = 0; i < count; ++i) {
        DirEntry e;
        e.setStartSector(static_cast<int32_t>(i));
        e.setSectorCount(1);
        e.setName(stem + std::to_string(i) + extension);
        bytes.append(reinterpret_cast<const char*>(e.bytes().data()), kEntrySize);
    }
    writeAll(path + ".dir", bytes);
    if (dataToo) writeAll(path + ".img", std::string(count * kSectorSize, 'x'));
}

std::string largeArchive()
{
    static std::string base = [] {
        std::string path = scratchFolder() + "/large";
        writeArchive(path, kEntries, "model", ".dff", false);
        return path;
    }();
    return base;
}

// Never shown: the window is driven by its handlers only.
struct NoProgress : ProgressWindow {
    void show(const std::string&) override {}
    void setPermille(unsigned) override {}
    bool pump() override { return false; }
};
struct NoDialogs : Dialogs {
    bool executeFileDialog(FileDialog&) override { return false; }
    bool inputQuery(const std::string&, const std::string&, std::string&, int) override { return false; }
    void showError(const std::string&) override {}
    bool chooseFiles(const std::string&, std::vector<std::string>&) override { return false; }
    // The folder a benchmark exports into; none: the dialog is cancelled.
    std::string exportFolder;
    bool chooseFolder(const std::string&, std::string& folder) override
    {
        folder = exportFolder;
        return !folder.empty();
    }
    bool confirm(const std::string&, const std::string&, bool) override { return false; }
    void showReport(const std::string&, const std::string&) override {}
    std::unique_ptr<ProgressWindow> openProgress(const std::string&, bool) override { return std::make_unique<NoProgress>(); }
    Existing askAboutExisting(const std::string&, const std::string&) override { return Existing::Overwrite; }
};

NoDialogs& dialogs()
{
    static NoDialogs none;
    return none;
}

Twnd_dir& window()
{
    static Twnd_dir w({}, dialogs(), []() -> std::unique_ptr<QSettings> { throw std::runtime_error("no settings"); });
    static bool shown = [] {
        w.show();
        QCoreApplication::processEvents();
        return true;
    }();
    (void)shown;
    return w;
}

void ArchiveLoad(benchmark::State& state)
{
    Archive archive;
    for (auto _ : state) archive.openimg(largeArchive() + ".dir");
}

void WindowOpen(benchmark::State& state)
{
    Twnd_dir& w = window();
    QString path = QString::fromStdString(largeArchive() + ".dir");
    for (auto _ : state) w.openimg(path);
}

void WindowOpenAndFirstPaint(benchmark::State& state)
{
    Twnd_dir& w = window();
    QString path = QString::fromStdString(largeArchive() + ".dir");
    long painted = 0;
    w.List->setOnDrawItem([&](QWidget* c, int i, const QRect& r, TOwnerDrawState s) {
        ++painted;
        w.ListDrawItem(c, i, r, s);
    });
    for (auto _ : state) {
        w.openimg(path);
        w.List->doItemsLayout(); // what the event loop does before the first paint
        w.List->viewport()->repaint();
    }
    state.counters["rows_painted"] = static_cast<double>(painted) / static_cast<double>(state.iterations());
}

void PlainNameScan(benchmark::State& state)
{
    Archive archive;
    archive.openimg(largeArchive() + ".dir");
    for (auto _ : state) {
        size_t matches = 0;
        for (size_t i = 0; i < archive.count(); ++i)
            matches += containsLowered(archive.table()[i].nameView(), ".dff");
        benchmark::DoNotOptimize(matches);
    }
}

void SearchRefreshAllMatch(benchmark::State& state)
{
    Twnd_dir& w = window();
    w.openimg(QString::fromStdString(largeArchive() + ".dir"));
    w.inp_find->blockSignals(true);
    w.inp_find->setText(".DFF");
    for (auto _ : state) w.inp_findChange();
    state.counters["results"] = w.ListBox1->Count();
}

void ScrollOneStep(benchmark::State& state)
{
    Twnd_dir& w = window();
    w.openimg(QString::fromStdString(largeArchive() + ".dir"));
    long painted = 0;
    w.List->setOnDrawItem([&](QWidget* c, int i, const QRect& r, TOwnerDrawState s) {
        ++painted;
        w.ListDrawItem(c, i, r, s);
    });
    QScrollBar* bar = w.List->verticalScrollBar();
    for (auto _ : state) {
        bar->setValue((bar->value() + 1) % bar->maximum());
        w.List->viewport()->repaint();
    }
    state.counters["rows_painted_per_step"] = static_cast<double>(painted) / static_cast<double>(state.iterations());
    state.counters["visible_rows"] = w.List->viewport()->height() / 16.0;
}

constexpr size_t kExported = 5000;

// 5,000 entries of 2 KiB each, data included.
std::string exportArchive()
{
    static std::string dir = [] {
        std::string path = scratchFolder() + "/export";
        writeArchive(path, kExported, "part", ".txd", true);
        return path + ".dir";
    }();
    return dir;
}

void StoreExtract5000(benchmark::State& state)
{
    Archive archive;
    archive.openimg(exportArchive());
    for (auto _ : state) archive.extractEntries(scratchFolder() + "/store-out", {}, [](const std::string&) {});
}

void WindowSelectAndExport5000(benchmark::State& state)
{
    Twnd_dir& w = window();
    w.openimg(QString::fromStdString(exportArchive()));
    dialogs().exportFolder = scratchFolder() + "/window-out";
    for (auto _ : state) {
        w.List->selectAll();
        w.btn_exportClick();
    }
    dialogs().exportFolder.clear();
    state.counters["selected"] = static_cast<double>(w.List->SelectedRows().size());
}

}  // namespace

BENCHMARK(ArchiveLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(WindowOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(WindowOpenAndFirstPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainNameScan)->Unit(benchmark::kMillisecond);
BENCHMARK(SearchRefreshAllMatch)->Unit(benchmark::kMillisecond);
BENCHMARK(ScrollOneStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(StoreExtract5000)->Unit(benchmark::kMillisecond);
BENCHMARK(WindowSelectAndExport5000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    reporter.compare("WindowOpen", "ArchiveLoad", "target < 2x");
    reporter.compare("WindowOpenAndFirstPaint", "ArchiveLoad", "with the first screenful");
    reporter.compare("SearchRefreshAllMatch", "PlainNameScan", "target < 2x");
    reporter.compare("WindowSelectAndExport5000", "StoreExtract5000", "target < 1.5x");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    removeScratch();
    return 0;
}
