#pragma once
// Runs the wizard's search over test volumes and keeps what it reported.

#include "salvage/wizard/SearchWizard.h"
#include "tests/support/TestData.h"

#include <algorithm>
#include <string>
#include <vector>

namespace wizardtest {

class TRecordingWizardSink final : public salvage::TWizardSink {
public:
    void RowsFound(std::vector<salvage::TWizardRow> rows) override
    {
        ++Batches;
        for (auto& r : rows)
            Rows.push_back(std::move(r));
    }
    void PathChanged(const std::string& path) override { LastPath = path; }
    void Progress(int percent) override { Percents.push_back(percent); }
    void DriveFailed(const std::string& letter, const std::string& message) override
    {
        Failures.push_back(letter + ": " + message);
    }
    void Done() override { ++DoneCount; }

    std::vector<salvage::TWizardRow> Rows;
    std::vector<std::string> Failures;
    std::vector<int> Percents;
    std::string LastPath;
    int Batches = 0;
    int DoneCount = 0;
};

inline salvage::TWizardDrive ImageDrive(const std::string& letter, const std::string& path)
{
    salvage::TWizardDrive drive;
    drive.Letter = letter;
    drive.Disk.DevicePath = path;
    drive.Disk.VolumeName = letter;
    return drive;
}

inline salvage::TWizardDrive ReferenceFat() { return ImageDrive("F", testdata::ReferenceFatImage()); }
inline salvage::TWizardDrive ReferenceNtfs() { return ImageDrive("N", testdata::ReferenceNtfsImage()); }

inline salvage::TWizardSettings AllFiles()
{
    salvage::TWizardSettings s;
    s.NotZeroSize = false;
    return s;
}

// A whole search, waited for. The search object is kept (its analyses serve a restore).
struct TSearchRun {
    TRecordingWizardSink Sink;
    std::unique_ptr<salvage::TSearchWizard> Search;
};

inline std::unique_ptr<TSearchRun> Search(std::vector<salvage::TWizardDrive> drives,
                                          const salvage::TWizardSettings& settings = AllFiles())
{
    auto run = std::make_unique<TSearchRun>();
    run->Search = std::make_unique<salvage::TSearchWizard>(std::move(drives), settings, run->Sink);
    run->Search->Start();
    run->Search->Wait();
    return run;
}

// "path|name" of every row, sorted.
inline std::vector<std::string> PathsAndNames(const std::vector<salvage::TWizardRow>& rows)
{
    std::vector<std::string> out;
    for (const auto& r : rows)
        out.push_back(r.DisplayPath + "|" + r.File.Name);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace wizardtest
