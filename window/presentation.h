// How the main window looks, stated once for every front end: its place
// and size, the layout of its groups, panels and buttons, the fonts' sizes,
// the rows' colours and offsets, the captions and the menu, and the name of
// the settings store. Sizes are pixels at 96 dpi (a front end scales them);
// the window's place and size are outer ones, frame included.
#pragma once

#include "geometry.h"

#include <cstdint>

namespace brimlet::presentation {

// ---------------------------------------------------------------- the window

inline constexpr const char* kWindowTitle = "brimlet";
inline constexpr ScreenRect kDesignedWindow{258, 122, 170, 559};
inline constexpr int kMinimumWidth = 170;

inline constexpr int kWindowFontPixels = 11; // Tahoma, the window's and the results' font
inline constexpr int kListFontPixels = 13;   // the entry list's

// The entries' group fills the window above the search group.
inline constexpr const char* kEntriesCaption = " dir content ";
inline constexpr const char* kSearchCaption = " search and results ";
inline constexpr int kSearchGroupHeight = 138;
inline constexpr int kGroupMargin = 2; // inside a group box, left, right and bottom

// In the entries' group: Panel1 at the top, the list, Panel2 at the bottom.
inline constexpr int kTopPanelHeight = 23;
inline constexpr int kBottomPanelHeight = 42;
inline constexpr int kEntryRowHeight = 16;
// In the search group: the search field at the top, the results below.
inline constexpr int kFindHeight = 19;
inline constexpr int kResultRowHeight = 13;
inline constexpr int kResultTextLeft = 2;

// A button's place in its panel. `width` 0: it reaches to one pixel short
// of the panel's right edge.
struct ButtonPlace {
    const char* caption;
    int left, top, width, height;
};
inline constexpr ButtonPlace kOpenButton{"Open", 1, 1, 78, 21};
inline constexpr ButtonPlace kCompressButton{"compress", 79, 1, 0, 21}; // never enabled: there is no compression
inline constexpr ButtonPlace kExportButton{"Export", 1, 1, 78, 20};
inline constexpr ButtonPlace kReplaceButton{"Replace", 79, 1, 78, 20};
inline constexpr ButtonPlace kImportButton{"Add", 1, 21, 78, 20};
inline constexpr ButtonPlace kDeleteButton{"Delete", 79, 21, 78, 20};

// ---------------------------------------------------------------- rows

struct Colour {
    uint8_t red, green, blue;
};
// A row is drawn marked (on the highlight) when it is selected or has the focus.
constexpr bool isMarked(bool selected, bool focused) { return selected || focused; }
constexpr Colour nameColour(bool marked) { return marked ? Colour{255, 255, 255} : Colour{0, 0, 0}; }
constexpr Colour sizeColour(bool marked) { return marked ? Colour{0, 255, 0} : Colour{0, 128, 0}; }
// The icon at the row's left edge, the name after it, the size hung on the right.
inline constexpr int kNameLeft = 18;
inline constexpr int kSizeFromRight = 38;

// Where the menu key and Shift+F10 open the list's menu: below the selected
// row, where its name begins (the top left of the list when none is).
struct Point {
    int x = 0, y = 0;
};
constexpr Point menuPointUnderRow(int rowLeft, int rowBottom) { return {rowLeft + kNameLeft, rowBottom}; }

// ---------------------------------------------------------------- dialogs

// The longest name the rename field takes.
inline constexpr int kRenameFieldLimit = 255;
// A long command's progress window shows once the work has lasted this long.
inline constexpr int kShowProgressAfterMs = 400;

// ---------------------------------------------------------------- settings

// The three remembered strings live under the maker's name and the
// program's: the registry key "software\HOX Development\brimlet" on
// Windows, "HOX Development/brimlet.conf" in the user's configuration folder
// elsewhere.
inline constexpr const char* kSettingsMaker = "HOX Development";
inline constexpr const char* kSettingsProgram = "brimlet";

}  // namespace brimlet::presentation
