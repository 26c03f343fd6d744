// A plain in-memory model of an archive, written from the format rules alone
// and kept deliberately simple, to check the real operations against: the
// directory as a list of 32-byte records and the data file as one byte vector.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace brimlet::model {

using Bytes = std::vector<uint8_t>;
using Record = std::array<uint8_t, 32>;

struct ModelArchive {
    std::vector<Record> records;
    Bytes data;

    static uint32_t u32(const Record& r, size_t at)
    {
        return uint32_t(r[at]) | uint32_t(r[at + 1]) << 8 | uint32_t(r[at + 2]) << 16 | uint32_t(r[at + 3]) << 24;
    }
    static void setU32(Record& r, size_t at, uint32_t v)
    {
        for (size_t i = 0; i < 4; ++i) r[at + i] = uint8_t(v >> (8 * i));
    }
    int64_t start(size_t i) const { return int32_t(u32(records[i], 0)); }
    uint64_t count(size_t i) const { return u32(records[i], 4); }

    std::string name(size_t i) const
    {
        const Record& r = records[i];
        size_t n = 0;
        while (n < 24 && r[8 + n] != 0) ++n;
        return std::string(r.begin() + 8, r.begin() + 8 + static_cast<long>(n));
    }

    Bytes directory() const
    {
        Bytes out;
        for (const auto& r : records) out.insert(out.end(), r.begin(), r.end());
        return out;
    }

    void loadDirectory(const Bytes& bytes)
    {
        records.clear();
        for (size_t at = 0; at + 32 <= bytes.size(); at += 32) {
            Record r;
            std::copy(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + 32), r.begin());
            records.push_back(r);
        }
    }

    // Whether some entry's span covers sector `sector`.
    bool covered(uint64_t sector) const
    {
        for (size_t i = 0; i < records.size(); ++i)
            if (count(i) > 0 && start(i) >= 0 && uint64_t(start(i)) <= sector && sector < uint64_t(start(i)) + count(i))
                return true;
        return false;
    }

    // Zero fill from the old end, one byte past the padded span; then the
    // bytes. The new entry starts in the last, partial sector unless an entry
    // covers it (an unpadded last entry): then at the next one.
    void append(Record& r, const Bytes& file)
    {
        uint64_t size = data.size();
        uint64_t start = size / 2048;
        if (size % 2048 != 0 && covered(start)) ++start;
        uint64_t sectors = file.size() / 2048 + 1;
        data.resize(std::max(size, start * 2048) + sectors * 2048 + 1, 0);
        std::copy(file.begin(), file.end(), data.begin() + static_cast<long>(start * 2048));
        setU32(r, 0, uint32_t(start));
        setU32(r, 4, uint32_t(sectors));
    }

    void setName(Record& r, const std::string& name)
    {
        std::memcpy(r.data() + 8, name.data(), name.size());
        if (name.size() < 24) r[8 + name.size()] = 0;
    }

    void add(const std::string& name, const Bytes& file)
    {
        Record r{};
        setName(r, name);
        append(r, file);
        records.push_back(r);
    }

    bool spanInside(size_t i) const
    {
        return start(i) >= 0 && uint64_t(start(i)) * 2048 + count(i) * 2048 <= data.size();
    }

    void replace(size_t i, const Bytes& file)
    {
        uint64_t padded = (file.size() / 2048 + 1) * 2048;
        if (padded <= count(i) * 2048 && spanInside(i)) {
            uint64_t at = uint64_t(start(i)) * 2048;
            std::fill(data.begin() + long(at), data.begin() + long(at + (count(i) - 1) * 2048 + 1), 0);
            std::copy(file.begin(), file.end(), data.begin() + long(at));
        } else {
            append(records[i], file);
        }
    }

    void remove(size_t i) { records.erase(records.begin() + static_cast<long>(i)); }
    void rename(size_t i, const std::string& name) { setName(records[i], name); }

    // The exported bytes, or nothing when the span leaves the data file.
    std::optional<Bytes> exportEntry(size_t i) const
    {
        if (count(i) == 0) return start(i) >= 0 ? std::optional<Bytes>(Bytes{}) : std::nullopt;
        if (!spanInside(i)) return std::nullopt;
        auto from = data.begin() + long(uint64_t(start(i)) * 2048);
        return Bytes(from, from + long(count(i) * 2048));
    }

    long find(const std::string& name) const
    {
        auto lower = [](std::string s) {
            for (auto& c : s)
                if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            return s;
        };
        for (size_t i = 0; i < records.size(); ++i)
            if (lower(this->name(i)) == lower(name)) return long(i);
        return -1;
    }
};

}  // namespace brimlet::model
