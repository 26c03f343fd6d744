// The in-memory entry table: a fixed array of 65,536 directory entries
// (exactly 2 MiB) and the number in use. Its first `count()` entries are byte
// for byte the first count() x 32 bytes of the directory file; slots past the
// count keep whatever they held and are cleared before reuse.
#pragma once

#include "dir_entry.h"

#include <cstdlib>
#include <cstdint>
#include <memory>
#include <vector>

namespace brimlet {

class EntryTable {
public:
    static constexpr size_t kCapacity = 65536;

    EntryTable();
    EntryTable(const EntryTable& other);
    EntryTable& operator=(const EntryTable& other);
    EntryTable(EntryTable&&) noexcept = default;
    EntryTable& operator=(EntryTable&&) noexcept = default;

    size_t count() const { return count_; }
    bool full() const { return count_ == kCapacity; }
    const DirEntry& operator[](size_t i) const { return slots_[i]; }
    DirEntry& operator[](size_t i) { return slots_[i]; }

    // The directory file's bytes for the entries in use.
    const uint8_t* image() const { return reinterpret_cast<const uint8_t*>(entries()); }
    size_t imageSize() const { return count_ * kEntrySize; }

    // For reading a directory file straight into the table: room for `count`
    // entries, which the caller fills and then commits with setCount().
    uint8_t* storage() { return reinterpret_cast<uint8_t*>(entries()); }
    void setCount(size_t count) { count_ = count; }
    // Copies the entries in use only, without allocating.
    void copyFrom(const EntryTable& other);
    void append(const DirEntry& entry);
    // Entries after `i` move down one slot and keep their order.
    void remove(size_t i);
    // Removes the entries of `rows` (ascending, no repeats) in one pass; the
    // others keep their order.
    void removeEach(const std::vector<size_t>& rows);

private:
    struct FreeSlots {
        void operator()(DirEntry* entries) const { std::free(entries); }
    };
    // Allocated zeroed by calloc: the kernel maps zero pages lazily, so an
    // archive of a few entries touches a few pages, not 2 MiB.
    static std::unique_ptr<DirEntry[], FreeSlots> zeroedSlots();
    DirEntry* entries() const { return slots_.get(); }

    std::unique_ptr<DirEntry[], FreeSlots> slots_;
    size_t count_ = 0;
};

}  // namespace brimlet
