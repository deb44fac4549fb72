#pragma once
// The skin's pieces described as data: each set (basekit's dialog skin, the
// launcher's artwork, ...) is a list of pieces with a file name, a size, a
// look and the texts drawn into it. The generator (main.cpp) paints every
// piece of a set with the palette of Palette.h.

#include <string>
#include <string_view>
#include <vector>

namespace skinart {

enum class Look {
    HeaderLeft,        // the top band's left piece with the suite's mark
    HeaderMiddle,      // a tile of the top band
    HeaderRight,       // the top band's right end
    EdgeLeft,          // a tile of the left edge
    EdgeRight,         // a tile of the right edge
    EdgeBottom,        // a tile of the bottom edge
    CornerBottomLeft,
    CornerBottomRight,
    SidePanel,         // the column behind the category buttons
    Body,              // the area behind the tool buttons
    Rule,              // a one-pixel line
    TitlePlate,        // a plate with a title in the header
    Banner,            // a category's heading
    SidePicture,       // a tall picture beside a dialog's controls
    UpdatePicture,     // the update wizard's tall picture: the mark and two turning arrows
    CategoryButton,    // three frames: emblem and caption
    ToolButton,        // three frames: emblem, name and description
    CaptionMinimise,   // three frames
    CaptionClose,      // three frames
    HelpButton,        // three frames
    ExitButton,        // three frames
    Icon,              // the suite's square icon
};

struct Piece {
    std::string file;     // file name without ".png"
    int width = 0;        // of one frame
    int height = 0;
    Look look = Look::Body;
    std::string title;    // a caption, a tool's name
    std::string detail;   // a tool's description
    std::string emblem;   // the initials in a button's emblem or the icon
    int frames = 1;
};

// The pieces of a set; empty for an unknown set name.
[[nodiscard]] std::vector<Piece> PieceSet(std::string_view set);

// Every set's name (for the generator's usage text).
[[nodiscard]] std::vector<std::string> SetNames();

} // namespace skinart
