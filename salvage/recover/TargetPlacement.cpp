#include "salvage/recover/TargetPlacement.h"

#include <set>

namespace salvage {
namespace {

using platform::DeviceNumber;

// Device stacks are a few levels deep; a looping or absurd answer stops here.
constexpr int kMaxDepth = 16;
constexpr std::size_t kMaxDevices = 256;

// `device` and every device beneath it: what it is built on and, when
// `followLoops` is set, the devices holding a loop device's backing file
// (writing through the loop device writes that file).
void CollectBeneath(DeviceNumber device, platform::StorageQueries& q, bool followLoops, int depth,
                    std::set<DeviceNumber>& out)
{
    if (depth > kMaxDepth || out.size() >= kMaxDevices || !out.insert(device).second)
        return;
    for (const DeviceNumber& under : q.Underlying(device))
        CollectBeneath(under, q, followLoops, depth + 1, out);
    if (followLoops)
        if (const auto file = q.LoopBackingFile(device))
            if (const auto holder = q.FileSystemDevice(*file))
                CollectBeneath(*holder, q, followLoops, depth + 1, out);
}

std::set<DeviceNumber> Disks(const std::set<DeviceNumber>& devices, platform::StorageQueries& q)
{
    std::set<DeviceNumber> disks;
    for (const DeviceNumber& d : devices)
        disks.insert(q.WholeDisk(d));
    return disks;
}

} // namespace

TTargetCheck CheckTargetPlacement(const std::string& source, const std::string& targetFolder,
                                  platform::StorageQueries& q)
{
    TTargetCheck check;
    const auto targetDevice = q.FileSystemDevice(targetFolder);
    if (!targetDevice)
        return check;  // a memory or network file system: no disk of ours
    std::set<DeviceNumber> beneathTarget;
    CollectBeneath(*targetDevice, q, true, 0, beneathTarget);

    if (const auto sourceDevice = q.BlockDevice(source)) {
        const DeviceNumber sourceDisk = q.WholeDisk(*sourceDevice);
        check.Device = q.DeviceName(sourceDisk);
        if (beneathTarget.count(*sourceDevice) != 0) {
            check.Placement = TTargetPlacement::SameVolume;
            check.Device = q.DeviceName(*sourceDevice);
            return check;
        }
        // Reading a loop device reads its file, but other files written
        // beside that file do not change it: the source's loops are not followed.
        std::set<DeviceNumber> beneathSource;
        CollectBeneath(*sourceDevice, q, false, 0, beneathSource);
        const std::set<DeviceNumber> sourceDisks = Disks(beneathSource, q);
        for (const DeviceNumber& disk : Disks(beneathTarget, q))
            if (sourceDisks.count(disk) != 0) {
                check.Placement = TTargetPlacement::SameDisk;
                check.Device = q.DeviceName(disk);
                return check;
            }
        check.Device.clear();
        return check;
    }

    const auto image = q.File(source);
    if (!image)
        return check;
    for (const DeviceNumber& d : beneathTarget) {
        const auto file = q.LoopBackingFile(d);
        if (file && q.File(*file) == image) {
            check.Placement = TTargetPlacement::InsideImage;
            check.Device = q.DeviceName(d);
            return check;
        }
    }
    return check;
}

std::string TargetPlacementWarning(const TTargetCheck& check, const std::string& targetFolder)
{
    switch (check.Placement) {
    case TTargetPlacement::OtherDisk:
        return {};
    case TTargetPlacement::SameVolume:
        return "The folder " + targetFolder + " lies on the volume being recovered (" + check.Device +
               "): the files written there can overwrite the deleted files before they are read.";
    case TTargetPlacement::SameDisk:
        return "The folder " + targetFolder + " lies on " + check.Device +
               ", the disk being recovered: the files written there can overwrite deleted data before it is read.";
    case TTargetPlacement::InsideImage:
        return "The folder " + targetFolder + " lies inside the image being recovered (mounted through " +
               check.Device + "): the files written there change the image before its deleted files are read.";
    }
    return {};
}

} // namespace salvage
