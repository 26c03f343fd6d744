// The window's pixel art as the front ends draw it: the XPM pictures of
// ui/art (the four list icons and the six button glyphs) read into pixels,
// and the program's command line split as the platform's runtime splits it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brimlet {

// A picture of 0xAARRGGBB pixels, row by row from the top; alpha is 0 for
// a transparent pixel and 255 for every other.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

// An XPM of one character per pixel with "c #RRGGBB" or "c None" colours.
Picture pictureFromXpm(const char* const* xpm);
// A button glyph: every pixel of the bottom-left pixel's colour transparent.
Picture glyphPicture(const char* const* xpm);

// The arguments of a command line, the program's own name first: separated
// by blanks or control characters; a double quote opens a run, ended by the
// next one, in which blanks belong to the argument; the quotes are dropped.
std::vector<std::string> commandLineArguments(const std::string& commandLine);

}  // namespace brimlet
