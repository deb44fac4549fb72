// The generated NTFS volumes hold what their manifests say, by an outside
// reader (sleuthkit's fls): the NTFS tests rely on them.

#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

bool HaveFls()
{
    return testdata::RunProcess("command -v fls >/dev/null 2>&1").exitCode == 0;
}

} // namespace

TEST(NtfsGenerator, SleuthkitSeesWhatTheManifestSays)
{
    if (!HaveFls())
        GTEST_SKIP() << "sleuthkit's fls is not installed";
    for (const char* name : {"ntfs4k", "ntfs512", "ntfs4kn"}) {
        SCOPED_TRACE(name);
        const auto volume = testdata::NtfsVolume(name);
        const auto manifest = testdata::ReadNtfsManifest(volume.manifest);
        const auto r = testdata::RunProcess("fls -r -p " + testdata::ShellQuote(volume.image));
        ASSERT_EQ(r.exitCode, 0) << r.err;

        // "r/r 66-128-2:\tREADME.TXT", "-/r * 85-128-2:\tDeleted big.bin"
        std::map<std::string, std::pair<std::uint32_t, bool>> seen;  // path -> record, deleted
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            const auto tab = line.find('\t');
            if (tab == std::string::npos)
                continue;
            const bool deleted = line.find(" * ") != std::string::npos;
            const auto number = line.find_first_of("0123456789", line.find(' '));
            seen["/" + line.substr(tab + 1)] = {static_cast<std::uint32_t>(std::stoul(line.substr(number))), deleted};
        }
        std::map<std::uint32_t, std::size_t> holder;
        for (std::size_t i = 0; i < manifest.size(); ++i)
            holder[manifest[i].record] = i;
        int deleted = 0;
        for (std::size_t i = 0; i < manifest.size(); ++i) {
            const auto& m = manifest[i];
            if (holder[m.record] != i || m.entry.path.rfind("/Gone", 0) == 0)
                continue;  // taken over, or without a folder to be listed in
            SCOPED_TRACE(m.entry.path);
            const auto it = seen.find(m.entry.path);
            ASSERT_NE(it, seen.end());
            EXPECT_EQ(it->second.first, m.record);
            EXPECT_EQ(it->second.second, m.entry.deleted);
            deleted += m.entry.deleted;
        }
        EXPECT_GT(deleted, 20);
        // The named stream is there too.
        EXPECT_TRUE(seen.count("/streams.txt:ADS"));
    }
}
