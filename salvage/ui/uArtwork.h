#pragma once
// The program's pictures, drawn at build time (art/artgen.cpp) at 1x, 2x and
// 4x and compiled in as resources; QIcon picks the size a screen needs.

#include <QIcon>

namespace salvage::ui {

// The 16 x 16 file images shared by the trees and the list, by index:
// 0 folder, 1 file, 2 deleted folder, 3 deleted file, 4 folder holding
// deleted items, 5 the header arrow of the even sort modes, 6 of the odd ones.
inline constexpr int kFileImageCount = 7;
[[nodiscard]] const QIcon& FileImage(int index);

// The drive box's images: 1 fixed drive, 2 removable drive, 3 disk image.
[[nodiscard]] const QIcon& DriveImage(int index);

enum class TToolImage { Wizard, Analyze, Recover, Stop, Find, Filter, Help, OpenImage };
[[nodiscard]] const QIcon& ToolImage(TToolImage image);

[[nodiscard]] const QIcon& ProgramIcon();

} // namespace salvage::ui
