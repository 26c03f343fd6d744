// Fuzz target: directory loading and random sequences of operations,
// checked after every step against the in-memory model.
//
// Input layout: byte 0 sets the directory's length (x 4 bytes), byte 1 the
// data file's (x 64 bytes); those bytes follow, raw, so directories may hold
// any entry at all. The rest is a list of operations, each an opcode byte and
// its arguments. Any difference between the real files and the model traps.
#include "archive/archive.h"
#include "archive/errors.h"
#include "tests/archive_model.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace brimlet;
using model::Bytes;

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool empty() const { return at >= size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    Bytes take(size_t n)
    {
        n = std::min(n, size - std::min(at, size));
        Bytes out(data + at, data + at + n);
        at += n;
        return out;
    }
};

const std::string& folder()
{
    static std::string path = [] {
        std::string root = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string p = root + "/brimlet-fuzz-" + std::to_string(::getpid());
        std::filesystem::create_directories(p);
        return p;
    }();
    return path;
}

void write(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

#define CHECK(condition)                   \
    do {                                   \
        if (!(condition)) __builtin_trap(); \
    } while (0)

void checkSame(const model::ModelArchive& m, const Archive& a)
{
    // A trailing partial entry stays on disk until the first save drops it.
    Bytes directory = read(folder() + "/a.dir");
    Bytes expected = m.directory();
    CHECK(directory.size() / 32 * 32 == expected.size());
    CHECK(std::equal(expected.begin(), expected.end(), directory.begin()));
    CHECK(read(folder() + "/a.img") == m.data);
    CHECK(a.count() == m.records.size());
}

Bytes content(Input& in)
{
    static const size_t sizes[] = {0, 1, 100, 2047, 2048, 2049, 4096, 5000};
    uint8_t choice = in.byte();
    Bytes b(sizes[choice % 8] + (choice >> 3), 0);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 13 + choice);
    return b;
}

// Runs one operation on both; a refusal must leave both as they were.
void step(Input& in, Archive& a, model::ModelArchive& m)
{
    uint8_t op = in.byte() % 5;
    size_t n = m.records.size();
    size_t i = n ? in.byte() % n : 0;
    std::string source = folder() + "/in.dff";
    switch (op) {
    case 0: {
        Bytes b = content(in);
        write(source, b);
        a.addEntry(source);
        m.add("in.dff", b);
        break;
    }
    case 1: {
        if (!n) return;
        Bytes b = content(in);
        write(source, b);
        a.replaceEntry(i, source);
        m.replace(i, b);
        break;
    }
    case 2:
        if (!n) return;
        a.deleteEntry(i);
        m.remove(i);
        break;
    case 3: {
        if (!n) return;
        Bytes raw = in.take(in.byte() % 30);
        std::string name(raw.begin(), raw.end());
        try {
            a.renameEntry(i, name);
        } catch (const Failure&) {
            CHECK(name.size() > 24); // the only refusal
            return;
        }
        m.rename(i, name);
        break;
    }
    case 4: {
        if (!n) return;
        std::string out = folder() + "/out";
        std::filesystem::remove(out);
        auto expected = m.exportEntry(i);
        try {
            a.exportEntry(i, out);
        } catch (const IoFailure& f) {
            CHECK(!expected && f.code() == 100);
            CHECK(!std::filesystem::exists(out));
            return;
        }
        CHECK(expected && read(out) == *expected);
        break;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{data, size};
    size_t dirLength = in.byte() * 4u, imgLength = in.byte() * 64u;
    Bytes dir = in.take(dirLength), img = in.take(imgLength);
    write(folder() + "/a.dir", dir);
    write(folder() + "/a.img", img);

    model::ModelArchive m;
    m.loadDirectory(dir);
    m.data = img;
    Archive a;
    a.openimg(folder() + "/a.img");
    checkSame(m, a);
    for (int steps = 0; !in.empty() && steps < 64; ++steps) {
        step(in, a, m);
        checkSame(m, a);
    }
    return 0;
}
