#pragma once
// A generated or reference NTFS volume opened by the reader, for the reader's
// tests; and where the manifest puts a path.

#include "salvage/fs/NTFS.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <string>

namespace testntfs {

struct Opened {
    salvage::TNTFS ntfs;
    std::uint64_t records = 0;
    // The image at `path`, or `volume` when one is given (a patched copy in memory).
    explicit Opened(const std::string& path, platform::VolumePtr volume = nullptr)
    {
        platform::OpenError error;
        if (!volume)
            volume = platform::OpenVolumeReadOnly(path, error);
        EXPECT_TRUE(volume) << error.message;
        const salvage::TNTFSOpenResult r = ntfs.OpenNTFSVolume(volume, records);
        EXPECT_TRUE(r.Ok()) << r.Message;
    }
};

// The MFT record the manifest gives for a path.
inline std::uint32_t RecordOf(const testdata::GeneratedVolume& v, const std::string& path)
{
    for (const auto& m : testdata::ReadNtfsManifest(v.manifest))
        if (m.entry.path == path)
            return m.record;
    ADD_FAILURE() << "no " << path << " in " << v.manifest;
    return 0;
}

} // namespace testntfs
