#pragma once
// The skin's pieces described as data: each set (basekit's dialog skin, the
// launcher's artwork, the resource library's bitmaps) is a list of pieces
// with a file name, a size, a look, the texts drawn into it and the format it
// is stored in. The generator (main.cpp) paints every piece of a set with the
// palette of Palette.h.

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
    // Single pieces of the resource library's kit:
    ButtonFace,        // one face of a push button, at `state`
    DefaultButtonFace, // the same for the default (accent) button
    FaceCapLeft,       // the rounded ends of a row of faces
    FaceCapRight,
    CheckBox,          // `state` 0 clear, 1 ticked
    RadioButton,       // `state` 0 clear, 1 chosen
    ArrowDown,         // small arrows on the control colour
    ArrowUp,
    ArrowRight,
    Caption,           // a dark strip with a title
    Logo,              // a dark plate with the mark and the suite's name
    Plate,             // a dark band with the mark and a title
    PlateCapLeft,      // the rounded ends of a plate
    PlateCapRight,
    Grip,              // a vertical grip with a dotted ridge
    Panel,             // a card with a heading and rows of 23 pixels
    PanelHead,         // a card's heading alone
    ProgressTrough,    // the sunken track of a progress bar
    ProgressFill,      // a tile of its fill
    EtchedRule,        // a three-pixel groove along the longer side; `state` 1: a rufous band
    DottedRule,        // a tile of a dotted line
    InfoGlyph,         // an "i" in a circle
    StatusGlyphs,      // frames: good, attention, problem
    HandCursor,        // a pointing hand, its fingertip at the hot spot
};

// How a piece is stored. The Qt programs take PNG with a high-density twin;
// a Windows resource takes what the resource compiler reads, at an exact
// size and depth.
enum class Format {
    Png,        // FILE.png and FILE@2x.png
    Bmp24,      // FILE.bmp, 24 bits per pixel
    Bmp8,       // FILE.bmp, 8 bits per pixel with a 256-colour table
    Icon32,     // FILE.ico, one image per size of `sizes`, 32 bits per pixel
    Icon8,      // FILE.ico, one image per size of `sizes`, 256 colours
    CursorMono, // FILE.cur, 32 x 32 black and white with a mask, hot spot `hotX`, `hotY`
};

struct Piece {
    std::string file;     // file name without its extension
    int width = 0;        // of one frame
    int height = 0;
    Look look = Look::Body;
    std::string title;    // a caption, a tool's name
    std::string detail;   // a tool's description
    std::string emblem;   // the initials in a button's emblem or the icon
    int frames = 1;
    Format format = Format::Png;
    int state = 0;            // of a single-frame face: 0 normal, 1 pressed, 2 hovered, 3 disabled
    std::vector<int> sizes;   // of an icon: its square images, largest first
    int hotX = 0;             // of a cursor
    int hotY = 0;
};

// The pieces of a set; empty for an unknown set name.
[[nodiscard]] std::vector<Piece> PieceSet(std::string_view set);

// Every set's name (for the generator's usage text).
[[nodiscard]] std::vector<std::string> SetNames();

} // namespace skinart
