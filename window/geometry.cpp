#include "geometry.h"

#include <algorithm>

namespace brimlet {

namespace {

// `at` moved as little as possible so that [at, at + size) lies in [from, from + room).
int placedWithin(int at, int size, int from, int room) { return std::max(from, std::min(at, from + room - size)); }

}  // namespace

ScreenRect fitToWorkArea(const ScreenRect& designed, const ScreenRect& workArea)
{
    if (workArea.width <= 0 || workArea.height <= 0) return designed; // nothing known of the screen
    ScreenRect fitted = designed;
    fitted.width = std::min(designed.width, workArea.width);
    fitted.height = std::min(designed.height, workArea.height);
    fitted.left = placedWithin(designed.left, fitted.width, workArea.left, workArea.width);
    fitted.top = placedWithin(designed.top, fitted.height, workArea.top, workArea.height);
    return fitted;
}

}  // namespace brimlet
