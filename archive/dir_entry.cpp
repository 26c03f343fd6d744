#include "dir_entry.h"

#include "errors.h"

#include <algorithm>

namespace brimlet {

uint32_t DirEntry::readU32(size_t at) const
{
    return static_cast<uint32_t>(bytes_[at]) | static_cast<uint32_t>(bytes_[at + 1]) << 8 |
           static_cast<uint32_t>(bytes_[at + 2]) << 16 | static_cast<uint32_t>(bytes_[at + 3]) << 24;
}

void DirEntry::writeU32(size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string DirEntry::name() const { return std::string(nameView()); }

std::string_view DirEntry::nameView() const
{
    auto first = bytes_.begin() + 8;
    auto end = std::find(first, bytes_.end(), uint8_t{0});
    return std::string_view(reinterpret_cast<const char*>(&*first), static_cast<size_t>(end - first));
}

void DirEntry::setName(const std::string& name)
{
    checkNameFits(name);
    std::copy(name.begin(), name.end(), bytes_.begin() + 8);
    if (name.size() < kNameFieldSize) bytes_[8 + name.size()] = 0;
}

void checkNameFits(const std::string& name)
{
    if (name.size() > kNameFieldSize)
        throw Failure("The name \"" + name + "\" is longer than the 24 bytes an entry name can hold");
}

}  // namespace brimlet
