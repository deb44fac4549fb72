#pragma once
// Whether a target folder lies where the recovery reads: writing recovered
// files onto the analysed volume, or another partition of its disk, can
// overwrite the very clusters still to be recovered.

#include "platform/StorageDevices.h"

#include <string>

namespace salvage {

enum class TTargetPlacement {
    OtherDisk,    // nothing written there reaches what is read
    SameVolume,   // the target's file system is the analysed volume
    SameDisk,     // the target lies on another part of the analysed disk
    InsideImage,  // the target's file system lives in the analysed image file (a loop device)
};

struct TTargetCheck {
    TTargetPlacement Placement = TTargetPlacement::OtherDisk;
    std::string Device;  // the analysed disk or image, for the message

    [[nodiscard]] bool Dangerous() const noexcept { return Placement != TTargetPlacement::OtherDisk; }
};

// Where `targetFolder` (which may not exist yet) lies from the point of view
// of `source`, the analysed device or image file (a drive record's
// DevicePath). A block device is dangerous to write to itself and to any
// device of the same disk, including through device-mapper, RAID and loop
// devices built on it. An image file is only endangered by a target inside
// the image itself (mounted through a loop device): other files on the image
// file's own file system take other clusters than the image's.
[[nodiscard]] TTargetCheck CheckTargetPlacement(const std::string& source, const std::string& targetFolder,
                                                platform::StorageQueries& queries);

// The sentence that says why a target is refused ("" for OtherDisk).
[[nodiscard]] std::string TargetPlacementWarning(const TTargetCheck& check, const std::string& targetFolder);

} // namespace salvage
