// The pieces of each set. The sizes are those the programs paint them at;
// three-frame buttons give the size of one frame.
#include "SkinPieces.h"

#include <string>
#include <utility>

namespace skinart {
namespace {

Piece Flat(std::string file, int width, int height, Look look, std::string title = {}, std::string detail = {},
           std::string emblem = {})
{
    Piece piece;
    piece.file = std::move(file);
    piece.width = width;
    piece.height = height;
    piece.look = look;
    piece.title = std::move(title);
    piece.detail = std::move(detail);
    piece.emblem = std::move(emblem);
    return piece;
}

Piece Button(std::string file, int width, int height, Look look, std::string title = {}, std::string detail = {},
             std::string emblem = {})
{
    Piece piece = Flat(std::move(file), width, height, look, std::move(title), std::move(detail), std::move(emblem));
    piece.frames = 3;
    return piece;
}

// basekit's dialog skin: a header 70 pixels high (its top 25 the caption
// band that drags the window), edges and corners, the caption buttons.
// CDlgMainWnd paints it at any size.
std::vector<Piece> BasekitSet()
{
    return {
        Flat("top-left", 248, 70, Look::HeaderLeft, "Kestrel"),
        Flat("top-tile", 20, 70, Look::HeaderMiddle),
        Flat("top-right", 14, 70, Look::HeaderRight),
        Flat("left-tile", 6, 54, Look::EdgeLeft),
        Flat("right-tile", 6, 54, Look::EdgeRight),
        Flat("bottom-left", 15, 20, Look::CornerBottomLeft),
        Flat("bottom-tile", 5, 7, Look::EdgeBottom),
        Flat("bottom-right", 19, 15, Look::CornerBottomRight),
        Button("caption-minimise", 18, 18, Look::CaptionMinimise),
        Button("caption-close", 18, 18, Look::CaptionClose),
        Flat("icon", 32, 32, Look::Icon, {}, {}, "K"),
    };
}

struct Tool {
    const char* name;
    const char* description;
    const char* initials;
};

// The launcher's artwork, by resource id.
std::vector<Piece> KestrelSet()
{
    std::vector<Piece> pieces = {
        Flat("129", 248, 118, Look::HeaderLeft, "Kestrel"),
        Flat("130", 20, 118, Look::HeaderMiddle),
        Flat("131", 14, 118, Look::HeaderRight),
        Flat("132", 178, 400, Look::SidePanel),
        Flat("133", 503, 400, Look::Body),
        Flat("179", 6, 54, Look::EdgeRight),
        Flat("173", 19, 15, Look::CornerBottomRight),
        Flat("136", 15, 20, Look::CornerBottomLeft),
        Flat("137", 5, 7, Look::EdgeBottom),
        Flat("149", 217, 26, Look::TitlePlate, "Everyday Health Check"),
        Flat("163", 439, 1, Look::Rule),
        // Program manager: the picture beside the list and its title plate.
        Flat("185", 150, 300, Look::SidePicture, "Your tools", "Tick the ones you keep", "K"),
        Flat("184", 251, 37, Look::TitlePlate, "Manage Kestrel Programs"),
        Button("176", 19, 18, Look::CaptionMinimise),
        Button("151", 19, 18, Look::CaptionClose),
        Button("175", 30, 27, Look::HelpButton),
        Button("174", 26, 27, Look::ExitButton),
        Flat("icon", 32, 32, Look::Icon, {}, {}, "K"),
    };

    // Categories: banner id, button id, caption, emblem.
    struct Category {
        const char* banner;
        const char* button;
        const char* caption;
        const char* initials;
    };
    const Category categories[] = {
        {"162", "142", "System Optimizer", "SO"},
        {"164", "140", "Disc Maintainence", "DM"},
        {"172", "141", "System Performance", "SP"},
        {"170", "138", "System Security", "SS"},
        {"171", "139", "Appearance", "AP"},
    };
    for (const Category& c : categories) {
        pieces.push_back(Flat(c.banner, 307, 31, Look::Banner, c.caption));
        pieces.push_back(Button(c.button, 175, 45, Look::CategoryButton, c.caption, {}, c.initials));
    }

    // Tool buttons in tool-table order (rows 0 to 10).
    const char* toolIds[] = {"153", "152", "154", "181", "157", "160", "161", "166", "165", "169", "168"};
    const Tool tools[] = {
        {"Memory Balancer", "Frees the memory that idle programs hold on to", "MB"},
        {"Desktop Tuner", "Tidies the desktop and speeds up its effects", "DT"},
        {"System Inspector", "Shows what is inside your computer", "SI"},
        {"Razuzuda Rezer", "Finds deleted files and brings them back", "RR"},
        {"Drive Sweeper", "Clears out junk files to free disk space", "DS"},
        {"Hive Condenser", "Compacts the settings store so it loads faster", "HC"},
        {"Boot Warden", "Chooses which programs start with the system", "BW"},
        {"Erase Guard", "Deletes files so that nobody can bring them back", "EG"},
        {"Trace Wiper", "Removes the traces of your recent activity", "TW"},
        {"Glyph Deck", "Installs, previews and tidies your fonts", "GD"},
        {"Dock Veil", "Changes the look of the taskbar and the dock", "DV"},
    };
    for (int i = 0; i < 11; ++i)
        pieces.push_back(Button(toolIds[i], 445, 65, Look::ToolButton, tools[i].name, tools[i].description,
                                tools[i].initials));
    return pieces;
}

// The update wizard's artwork, by resource id.
std::vector<Piece> UpdateSet()
{
    return {
        Flat("132", 155, 305, Look::UpdatePicture, "Stay current", "Newer releases bring fixes and new tools"),
        Flat("135", 200, 37, Look::TitlePlate, "Update Wizard"),
        Flat("icon", 32, 32, Look::Icon, {}, {}, "K"),
    };
}

// A bitmap of the resource library: one frame, stored as a 24-bit BMP.
Piece Bitmap(int id, int width, int height, Look look, int state = 0, std::string title = {})
{
    Piece piece = Flat(std::to_string(id), width, height, look, std::move(title));
    piece.format = Format::Bmp24;
    piece.state = state;
    return piece;
}

// The resource library's bitmaps, cursor and icons, by resource id: a kit of
// single pieces (a dialog frame, button faces, checks, arrows, panels, rules)
// in the launcher's look, at the sizes its users paint them.
std::vector<Piece> KestrelresSet()
{
    enum { Normal = 0, Pressed = 1, Hovered = 2, Disabled = 3 };
    std::vector<Piece> pieces = {
        // The dialog frame: a 116-pixel header, the right edge, the bottom
        // edge and its corners.
        Bitmap(7151, 248, 116, Look::HeaderLeft, Normal, "Kestrel"),
        Bitmap(7149, 20, 116, Look::HeaderMiddle),
        Bitmap(7150, 14, 116, Look::HeaderRight),
        Bitmap(7155, 6, 54, Look::EdgeRight),
        Bitmap(7156, 19, 15, Look::CornerBottomRight),
        Bitmap(7153, 15, 20, Look::CornerBottomLeft),
        Bitmap(7145, 5, 7, Look::EdgeBottom),
        // Push-button faces: a plain and a default button in four states,
        // the ends of a row of faces, a taller face.
        Bitmap(7094, 57, 18, Look::ButtonFace, Normal),
        Bitmap(7098, 57, 18, Look::ButtonFace, Hovered),
        Bitmap(7106, 57, 18, Look::ButtonFace, Pressed),
        Bitmap(7107, 57, 18, Look::ButtonFace, Disabled),
        Bitmap(7111, 57, 18, Look::DefaultButtonFace, Normal),
        Bitmap(7126, 57, 18, Look::DefaultButtonFace, Hovered),
        Bitmap(7147, 57, 18, Look::DefaultButtonFace, Pressed),
        Bitmap(7148, 57, 18, Look::DefaultButtonFace, Disabled),
        Bitmap(7092, 6, 18, Look::FaceCapLeft),
        Bitmap(7093, 9, 18, Look::FaceCapRight),
        Bitmap(7146, 90, 27, Look::ButtonFace, Normal),
        // A wizard's large buttons.
        Bitmap(7122, 84, 35, Look::ButtonFace, Normal, "Back"),
        Bitmap(7123, 96, 35, Look::DefaultButtonFace, Normal, "Next"),
        Bitmap(7124, 159, 35, Look::DefaultButtonFace, Normal, "Start Check"),
        // Checks, arrows and glyphs.
        Bitmap(7043, 14, 14, Look::CheckBox, 0),
        Bitmap(7050, 14, 14, Look::CheckBox, 1),
        Bitmap(7133, 14, 14, Look::RadioButton, 0),
        Bitmap(7140, 14, 14, Look::RadioButton, 1),
        Bitmap(7095, 18, 7, Look::ArrowDown),
        Bitmap(7096, 9, 7, Look::ArrowUp),
        Bitmap(7097, 9, 7, Look::ArrowDown),
        Bitmap(7119, 6, 7, Look::ArrowRight),
        Bitmap(7141, 16, 16, Look::InfoGlyph),
        // Titles, the logo and the plate with its ends.
        Bitmap(7108, 251, 23, Look::Caption, Normal, "Kestrel - Everyday Health Check"),
        Bitmap(7125, 210, 33, Look::Banner, Normal, "Quick Check"),
        Bitmap(7088, 387, 33, Look::Banner, Normal, "Everyday Health Check"),
        Bitmap(7109, 171, 62, Look::Logo, Normal, "Kestrel"),
        Bitmap(7144, 255, 58, Look::Plate, Normal, "Everyday Health Check"),
        Bitmap(7089, 14, 58, Look::PlateCapLeft),
        Bitmap(7090, 12, 58, Look::PlateCapRight),
        Bitmap(7091, 17, 61, Look::Grip),
        // Panels of two to six rows under a heading, and a heading alone.
        Bitmap(7127, 156, 74, Look::Panel),
        Bitmap(7128, 156, 97, Look::Panel),
        Bitmap(7129, 156, 120, Look::Panel),
        Bitmap(7130, 156, 143, Look::Panel),
        Bitmap(7131, 156, 166, Look::Panel),
        Bitmap(7132, 156, 36, Look::PanelHead),
        // A progress bar.
        Bitmap(7154, 204, 27, Look::ProgressTrough),
        Bitmap(7024, 1, 16, Look::ProgressFill),
        // Rules.
        Bitmap(7027, 535, 3, Look::EtchedRule),
        Bitmap(7139, 535, 3, Look::EtchedRule, 1),
        Bitmap(7029, 3, 535, Look::EtchedRule),
        Bitmap(7076, 351, 1, Look::Rule),
        Bitmap(7152, 9, 1, Look::DottedRule),
    };

    // Three 16 x 16 status glyphs side by side, in 256 colours.
    Piece glyphs = Bitmap(7143, 48, 16, Look::StatusGlyphs);
    glyphs.format = Format::Bmp8;
    pieces.push_back(glyphs);

    Piece hand = Flat("7039", 32, 32, Look::HandCursor);
    hand.format = Format::CursorMono;
    hand.hotX = 7;
    hand.hotY = 0;
    pieces.push_back(hand);

    Piece icon = Flat("7134", 32, 32, Look::Icon, {}, {}, "K");
    icon.format = Format::Icon32;
    icon.sizes = {32, 16};
    pieces.push_back(icon);

    Piece smallIcon = Flat("7142", 16, 16, Look::Icon, {}, {}, "K");
    smallIcon.format = Format::Icon8;
    smallIcon.sizes = {16};
    pieces.push_back(smallIcon);
    return pieces;
}

} // namespace

std::vector<Piece> PieceSet(std::string_view set)
{
    if (set == "basekit")
        return BasekitSet();
    if (set == "kestrel")
        return KestrelSet();
    if (set == "update")
        return UpdateSet();
    if (set == "kestrelres")
        return KestrelresSet();
    return {};
}

std::vector<std::string> SetNames()
{
    return {"basekit", "kestrel", "update", "kestrelres"};
}

} // namespace skinart
