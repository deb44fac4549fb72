#pragma once
// Windows 9x only: a lettered volume read through the VWIN32 driver.

#include "platform/Volume.h"

#include <string>

namespace salvage {

// The volume behind "\\.\X:", read with ReadLogicalSectors. The fifth
// character of the path is the drive letter.
[[nodiscard]] platform::VolumePtr OpenVWin32Volume(const std::string& devicePath);

} // namespace salvage
