// Where the window goes on the screen: its designed place and size (outer
// ones, frame included), moved and cut only as far as the screen's work area
// needs (a 768-pixel-high screen at 144 dpi is shorter than the window).
#pragma once

namespace brimlet {

struct ScreenRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const ScreenRect&) const = default;
};

ScreenRect fitToWorkArea(const ScreenRect& designed, const ScreenRect& workArea);

}  // namespace brimlet
