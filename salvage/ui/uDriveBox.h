#pragma once
// TDriveBox: the drive box of the main window, a drop-down list with images
// whose entries own their drive records.

#include "salvage/ui/DriveList.h"

#include <QComboBox>

#include <vector>

namespace salvage::ui {

class TDriveBox final : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveBox(QWidget* parent = nullptr);

    // Replaces the entries by the machine's drives and selects the first fixed one.
    void LoadDrives(const platform::DriveSources& sources);
    // Appends entries; returns the index of the first one added (an entry
    // for a volume already listed is not added again: its index is returned).
    int AddEntries(const std::vector<TDriveEntry>& entries);
    // The entry at a position of the box, or null.
    [[nodiscard]] const TDriveEntry* Entry(int index) const;
    [[nodiscard]] int FindDevice(const std::string& devicePath) const;

private:
    std::vector<TDriveEntry> entries_;
};

} // namespace salvage::ui
