// Under load: 10,000 consecutive operations of mixed kinds on one archive
// through brimlet-cli, checked against the in-memory model. At the end the
// directory and the data file must equal the model's byte for byte, so the
// data file has grown by exactly what the format rules say and no more.
#include "archive/tests/test_support.h"
#include "cli_runner.h"
#include "tests/archive_model.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>

using namespace brimlet;
using namespace brimlet::test;

namespace {

// The scratch folder on tmpfs where there is one: the runs flush to disk.
std::string scratchRoot()
{
    return std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
}

int operationCount()
{
    const char* n = std::getenv("BRIMLET_LOAD_OPERATIONS");
    return n ? std::atoi(n) : 10000;
}

}  // namespace

TEST(UnderLoad, TenThousandMixedOperationsMatchTheModel)
{
    std::string folder = scratchRoot() + "/brimlet-load-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    std::string dir = folder + "/gta3.dir", img = folder + "/gta3.img", file = folder + "/in.dff";
    writeFile(dir, {});
    writeFile(img, {});
    model::ModelArchive expected;
    std::mt19937 random(20261207);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    auto someBytes = [&] {
        size_t sizes[] = {0, 1, 2047, 2048, 2049, 4096, pick(9000)};
        Bytes b = pattern(sizes[pick(7)], static_cast<uint8_t>(pick(250)));
        return b;
    };

    int operations = operationCount(), exports = 0;
    for (int op = 0; op < operations; ++op) {
        size_t n = expected.records.size();
        size_t kind = n == 0 ? 0 : pick(10);
        std::string index = n ? "#" + std::to_string(pick(n)) : "";
        Result r;
        if (kind < 3) { // add
            Bytes b = someBytes();
            std::string name = "e" + std::to_string(op) + ".dff";
            writeFile(folder + "/" + name, b);
            r = runCli({"add", dir, folder + "/" + name});
            expected.add(name, b);
            std::filesystem::remove(folder + "/" + name);
        } else if (kind < 6) { // replace
            Bytes b = someBytes();
            writeFile(file, b);
            r = runCli({"replace", dir, index, file});
            expected.replace(std::stoul(index.substr(1)), b);
        } else if (kind < 7) { // delete
            r = runCli({"delete", dir, index});
            expected.remove(std::stoul(index.substr(1)));
        } else if (kind < 9) { // rename
            std::string name = "r" + std::to_string(op) + (pick(2) ? ".txd" : ".col");
            r = runCli({"rename", dir, index, name});
            expected.rename(std::stoul(index.substr(1)), name);
        } else { // export
            r = runCli({"export", dir, index, folder + "/out"});
            ASSERT_EQ(readFile(folder + "/out"), *expected.exportEntry(std::stoul(index.substr(1)))) << op;
            ++exports;
        }
        ASSERT_EQ(r.exitCode, 0) << op << ": " << r.err;
    }
    EXPECT_EQ(readFile(dir), expected.directory());
    EXPECT_EQ(readFile(img), expected.data);
    std::cout << "[ load    ] " << operations << " operations (" << exports << " exports), " << expected.records.size()
              << " entries, data file " << expected.data.size() << " bytes\n";
    std::filesystem::remove_all(folder);
}
