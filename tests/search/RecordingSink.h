#pragma once
// A search sink that keeps every report, for tests at the sink level.

#include "salvage/search/SearchSink.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace testsearch {

struct Report {
    bool directory = false;
    salvage::TFileInfo info;
};

class RecordingSink : public salvage::TSearchSink {
public:
    void FatDirFound(const salvage::TFileInfo&, salvage::DirToken, salvage::DirToken) override
    {
        ADD_FAILURE() << "FAT report from an NTFS search";
    }
    void FatFileFound(const salvage::TFileInfo&, salvage::DirToken) override
    {
        ADD_FAILURE() << "FAT report from an NTFS search";
    }
    void NtfsDirFound(const salvage::TFileInfo& dir) override { Add(true, dir); }
    void NtfsFileFound(const salvage::TFileInfo& file) override { Add(false, file); }
    void Progress(int percent) override { progress.push_back(percent); }
    void Failed(const std::string& message) override { failures.push_back(message); }
    void Done() override { ++done; }

    std::vector<Report> reports;
    std::vector<std::string> failures;
    std::vector<int> progress;
    int done = 0;
    std::function<void()> afterReport;  // runs after each report

    // The report for a record (there is at most one per record).
    [[nodiscard]] const Report* ByRecord(std::uint32_t record) const;
    // The place each report would take in the results tree: "/Docs/a.txt"
    // under the root, "$$folder_37/sing2.dat" under a placeholder for a
    // parent that was never reported as a directory.
    [[nodiscard]] std::map<std::uint32_t, std::string> Paths() const;

private:
    void Add(bool directory, const salvage::TFileInfo& info)
    {
        reports.push_back({directory, info});
        if (afterReport)
            afterReport();
    }
};

} // namespace testsearch
