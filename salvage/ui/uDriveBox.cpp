#include "salvage/ui/uDriveBox.h"

#include "salvage/ui/uArtwork.h"

namespace salvage::ui {

TDriveBox::TDriveBox(QWidget* parent) : QComboBox(parent)
{
    setIconSize(QSize(16, 16));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(12);
}

void TDriveBox::LoadDrives(const platform::DriveSources& sources)
{
    clear();
    entries_.clear();
    const TDriveList list = salvage::LoadDrives(platform::ListDrives(sources));
    AddEntries(list.Entries);
    setCurrentIndex(list.Selected);
}

int TDriveBox::AddEntries(const std::vector<TDriveEntry>& entries)
{
    int first = -1;
    for (const TDriveEntry& entry : entries) {
        int index = FindEntry(entries_, entry.Disk);
        if (index < 0) {
            entries_.push_back(entry);
            index = count();
            addItem(DriveImage(entry.Image), QString::fromStdString(entry.Text));
        }
        if (first < 0)
            first = index;
    }
    return first;
}

const TDriveEntry* TDriveBox::Entry(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= entries_.size())
        return nullptr;
    return &entries_[static_cast<std::size_t>(index)];
}

int TDriveBox::FindDevice(const std::string& devicePath) const
{
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].Disk.DevicePath == devicePath && entries_[i].Disk.ByteOffset == 0)
            return static_cast<int>(i);
    return -1;
}

} // namespace salvage::ui
