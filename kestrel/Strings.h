#pragma once
// The launcher's own texts and resource numbers, in one place.

#include <QString>

namespace kestrel {

// Texts.
inline const QString kAppTitle = QStringLiteral("Kestrel - Everyday Health Check");  // 57344
inline const QString kAboutMenuText = QStringLiteral("&About Kestrel...");           // 101
inline const QString kManagerIntro = QStringLiteral(
    "With Manage Kestrel Programs you can customize your Start menu at desktop. This section displays all the "
    "programs installed on your system preceded with a check box. Checking or un-checking a program name will "
    "automatically display or remove the program from the list under Start menu, letting you to view only the "
    "essential programs installed.");  // 113
inline const QString kUpdateQuestion =
    QStringLiteral("Are you sure you want to update these selected programs?");  // 116
inline const QString kUpdateFinished = QStringLiteral("Update Finished");
inline const QString kInstallQuestion =
    QStringLiteral("The component you selected has not been installed, install it now?");
inline const QString kInstallFailed =
    QStringLiteral("Installation failed...\r\nProgram doesn\u2019t exist at the current location!");
inline const QString kManagerCaption = QStringLiteral("Selective Installation...");
inline const QString kHelpTopic = QStringLiteral("launcher.html");

// Commands.
inline constexpr int ID_HELP_FINDER = 57670;     // "Launch &Help File"
inline constexpr int ID_WEBSITE = 32771;         // "Kestrel &Website"
inline constexpr int ID_ONLINE_HELP = 32772;     // "&Online Help and Support"
inline constexpr int ID_ABOUT = 32773;           // "&About Kestrel"
inline constexpr int ID_CHECK_UPDATES = 32774;   // "Check for Updates..."
inline constexpr int ID_MANAGE = 32775;          // "Manage Kestrel Programs"
inline constexpr int IDM_ABOUTBOX = 16;          // the system menu's About item
inline constexpr int kCategoryCommands[5] = {1002, 1003, 1004, 1007, 1009};

// Bitmaps (resources ":/kestrel/ID.png").
namespace bmp {
inline constexpr int TopLeft = 129, TopTile = 130, TopRight = 131, SidePanel = 132, Body = 133;
inline constexpr int RightTile = 179, BottomRight = 173, BottomLeft = 136, BottomTile = 137;
inline constexpr int TitlePlate = 149, BannerRule = 163;
inline constexpr int Minimise = 176, Close = 151, Help = 175, Exit = 174;
inline constexpr int ManagerPicture = 185, ManagerPlate = 184;
inline constexpr int Banners[5] = {162, 164, 172, 170, 171};
inline constexpr int CategoryButtons[5] = {142, 140, 141, 138, 139};
// The tool buttons of each category: first, second, third (0: none).
inline constexpr int ToolButtons[5][3] = {{153, 152, 154}, {181, 157, 0}, {160, 161, 0}, {166, 165, 0}, {169, 168, 0}};
} // namespace bmp

[[nodiscard]] inline QString Bitmap(int id)
{
    return QStringLiteral(":/kestrel/%1.png").arg(id);
}

inline const QString kIcon = QStringLiteral(":/kestrel/icon.png");

// Category names (the category buttons' captions).
inline const QString kCategoryNames[5] = {
    QStringLiteral("System Optimizer"), QStringLiteral("Disc Maintainence"), QStringLiteral("System Performance"),
    QStringLiteral("System Security"), QStringLiteral("Appearance"),
};

} // namespace kestrel
