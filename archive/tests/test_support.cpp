#include "test_support.h"

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace brimlet::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "brimlet-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Make everything writable again so tests of read-only files clean up.
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw std::runtime_error("cannot read " + path);
    Bytes bytes(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

Bytes pattern(size_t size, uint8_t seed)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + seed) % 251 + 1);
    return bytes;
}

DirEntry makeEntry(int32_t start, uint32_t count, const std::string& name)
{
    DirEntry entry;
    entry.setStartSector(start);
    entry.setSectorCount(count);
    entry.setName(name);
    return entry;
}

Bytes directoryBytes(const std::vector<DirEntry>& entries)
{
    Bytes bytes;
    for (const auto& e : entries) bytes.insert(bytes.end(), e.bytes().begin(), e.bytes().end());
    return bytes;
}

std::string makeArchive(const std::string& base, const std::vector<DirEntry>& entries, const Bytes& data)
{
    writeFile(base + ".dir", directoryBytes(entries));
    writeFile(base + ".img", data);
    return base + ".dir";
}

int openDescriptorCount()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir)) ++count;
        ::closedir(dir);
    }
    return count;
}

}  // namespace brimlet::test
