#pragma once
// What the resource library holds, written down apart from the art
// generator that paints it: every bitmap's id, size and depth, the cursor,
// the icons, the menu, the string and the version. Plain C++: the Qt test
// and the Windows test share it.

#include <array>

namespace expected {

struct Bitmap {
    int id;
    int width;
    int height;
    int bits;  // per pixel
};

inline constexpr std::array<Bitmap, 52> kBitmaps = {{
    {7024, 1, 16, 24}, {7027, 535, 3, 24}, {7029, 3, 535, 24}, {7043, 14, 14, 24}, {7050, 14, 14, 24},
    {7076, 351, 1, 24}, {7088, 387, 33, 24}, {7089, 14, 58, 24}, {7090, 12, 58, 24}, {7091, 17, 61, 24},
    {7092, 6, 18, 24}, {7093, 9, 18, 24}, {7094, 57, 18, 24}, {7095, 18, 7, 24}, {7096, 9, 7, 24},
    {7097, 9, 7, 24}, {7098, 57, 18, 24}, {7106, 57, 18, 24}, {7107, 57, 18, 24}, {7108, 251, 23, 24},
    {7109, 171, 62, 24}, {7111, 57, 18, 24}, {7119, 6, 7, 24}, {7122, 84, 35, 24}, {7123, 96, 35, 24},
    {7124, 159, 35, 24}, {7125, 210, 33, 24}, {7126, 57, 18, 24}, {7127, 156, 74, 24}, {7128, 156, 97, 24},
    {7129, 156, 120, 24}, {7130, 156, 143, 24}, {7131, 156, 166, 24}, {7132, 156, 36, 24}, {7133, 14, 14, 24},
    {7139, 535, 3, 24}, {7140, 14, 14, 24}, {7141, 16, 16, 24}, {7143, 48, 16, 8}, {7144, 255, 58, 24},
    {7145, 5, 7, 24}, {7146, 90, 27, 24}, {7147, 57, 18, 24}, {7148, 57, 18, 24}, {7149, 20, 116, 24},
    {7150, 14, 116, 24}, {7151, 248, 116, 24}, {7152, 9, 1, 24}, {7153, 15, 20, 24}, {7154, 204, 27, 24},
    {7155, 6, 54, 24}, {7156, 19, 15, 24}
}};

inline constexpr int kStringId = 57344;
inline constexpr char kTitle[] = "Kestrel - Everyday Health Check";

struct MenuItem {
    int id;            // 0: a separator
    const char* text;  // nullptr for a separator
};

inline constexpr int kMenuId = 32750;
inline constexpr char kMenuPopup[] = "Help";
inline constexpr std::array<MenuItem, 7> kHelpMenu = {{
    {32751, "Launch &Help File"},
    {0, nullptr},
    {32753, "Kestrel &Website"},
    {32755, "&Online Help and Support"},
    {32757, "&Email Us"},
    {0, nullptr},
    {32761, "&About Kestrel"},
}};

inline constexpr int kCursorId = 7039;
inline constexpr int kCursorSize = 32;
inline constexpr int kHotX = 7;
inline constexpr int kHotY = 0;

// The large icon holds a 32 and a 16 pixel image at 32 bits per pixel; the
// small one a 16 pixel image in 256 colours.
inline constexpr int kLargeIconId = 7134;
inline constexpr std::array<int, 2> kLargeIconSizes = {32, 16};
inline constexpr int kLargeIconBits = 32;
inline constexpr int kSmallIconId = 7142;
inline constexpr int kSmallIconSize = 16;
inline constexpr int kSmallIconBits = 8;

inline constexpr int kManifestId = 1;
inline constexpr int kVersionId = 1;
inline constexpr char kVersion[] = "1.0.1.1";
inline constexpr int kLanguage = 1033;

} // namespace expected
