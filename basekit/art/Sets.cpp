// The pieces of each set. The sizes are those the programs paint them at;
// three-frame buttons give the size of one frame.
#include "SkinPieces.h"

namespace skinart {
namespace {

Piece Flat(std::string file, int width, int height, Look look, std::string title = {}, std::string detail = {},
           std::string emblem = {})
{
    return {std::move(file), width, height, look, std::move(title), std::move(detail), std::move(emblem), 1};
}

Piece Button(std::string file, int width, int height, Look look, std::string title = {}, std::string detail = {},
             std::string emblem = {})
{
    return {std::move(file), width, height, look, std::move(title), std::move(detail), std::move(emblem), 3};
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

} // namespace

std::vector<Piece> PieceSet(std::string_view set)
{
    if (set == "basekit")
        return BasekitSet();
    if (set == "kestrel")
        return KestrelSet();
    if (set == "update")
        return UpdateSet();
    return {};
}

std::vector<std::string> SetNames()
{
    return {"basekit", "kestrel", "update"};
}

} // namespace skinart
