#include "pictures.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

namespace brimlet {

Picture pictureFromXpm(const char* const* xpm)
{
    Picture picture;
    int colours = 0, perPixel = 0;
    std::istringstream header(xpm[0]);
    header >> picture.width >> picture.height >> colours >> perPixel;
    std::map<char, uint32_t> palette;
    for (int i = 1; i <= colours; ++i) {
        const char* line = xpm[i];
        const char* value = std::strstr(line + 1, "c ");
        value = value ? value + 2 : "None";
        palette[line[0]] = *value == '#' ? 0xFF000000u | static_cast<uint32_t>(std::strtoul(value + 1, nullptr, 16)) : 0;
    }
    picture.pixels.reserve(static_cast<size_t>(picture.width * picture.height));
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) picture.pixels.push_back(palette[xpm[1 + colours + y][x]]);
    return picture;
}

Picture glyphPicture(const char* const* xpm)
{
    Picture picture = pictureFromXpm(xpm);
    uint32_t transparent = picture.at(0, picture.height - 1);
    for (uint32_t& pixel : picture.pixels)
        if (pixel == transparent) pixel = 0;
    return picture;
}

std::vector<std::string> commandLineArguments(const std::string& commandLine)
{
    std::vector<std::string> arguments;
    size_t at = 0;
    auto separator = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (true) {
        while (at < commandLine.size() && separator(commandLine[at])) ++at;
        if (at >= commandLine.size()) return arguments;
        std::string argument;
        while (at < commandLine.size() && !separator(commandLine[at])) {
            if (commandLine[at] != '"') {
                argument += commandLine[at++];
                continue;
            }
            size_t end = commandLine.find('"', at + 1);
            if (end == std::string::npos) end = commandLine.size();
            argument.append(commandLine, at + 1, end - at - 1);
            at = end < commandLine.size() ? end + 1 : end;
        }
        arguments.push_back(argument);
    }
}

}  // namespace brimlet
