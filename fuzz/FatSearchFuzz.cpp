// The whole FAT analysis over an arbitrary volume: the boot sector decides
// the kind, the reader is made, the search walks every directory (deleted
// ones included, read on past their first cluster) with condition estimates
// on, and the filtered tree is built. Then every deleted file is placed by
// both cluster rules, and each placement must stay inside the volume, name
// no cluster twice and never more than the file's size needs.
// Input: the raw bytes of a (small) volume.

#include "FuzzCommon.h"

#include "salvage/fs/FATPlacement.h"

#include <unordered_set>

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::QuietMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    salvage::TFoundFileModel model;
    const auto analysis =
        fuzzsupport::AnalyseVolume(platform::MakeMemoryVolume(std::vector<std::uint8_t>(data, data + size)), model, true);
    if (!analysis)
        return 0;
    if (!salvage::IsFatKind(analysis->Kind()))
        return -1;  // an NTFS boot sector: fuzz_ntfs covers those
    fuzzsupport::WalkTree(model.Tree());
    fuzzsupport::WalkTree(model.FilterTree());

    salvage::TFAT32& fat = *analysis->FatReader();
    const salvage::TFatDeletedMap* map = fat.DeletedMap();
    if (map == nullptr)
        fuzzsupport::Fail("a finished search left no deleted-file map");
    std::size_t placed = 0;
    for (const salvage::TTreeNode* n = model.Tree().First(); n && placed < 256; n = model.Tree().NextDepthFirst(*n)) {
        for (const salvage::TFileInfo& f : n->Data().Files) {
            if (!f.Deleted || f.FatEntry == salvage::kNoFatEntry || ++placed > 256)
                continue;
            if (f.FatEntry >= map->Count())
                fuzzsupport::Fail("a found record names no entry of the map");
            const std::uint64_t need = (f.Size + fat.ClusterBytes() - 1) / fat.ClusterBytes();
            for (const auto rule : {salvage::TFatClusterRule::FreeGaps, salvage::TFatClusterRule::Consecutive}) {
                const salvage::TFatPlacement p = map->Placement(f.FatEntry, rule, fat);
                std::unordered_set<std::uint32_t> seen;
                for (const salvage::TFatRun& r : p.Runs) {
                    if (r.Count == 0 || r.First < 2 || r.First + static_cast<std::uint64_t>(r.Count) > fat.ClusterLimit())
                        fuzzsupport::Fail("a placement runs outside the volume");
                    for (std::uint32_t i = 0; i < r.Count; ++i)
                        if (!seen.insert(r.First + i).second)
                            fuzzsupport::Fail("a placement names a cluster twice");
                }
                if (seen.size() > need)
                    fuzzsupport::Fail("a placement holds more clusters than the size needs");
                const std::uint8_t condition = map->Condition(f.FatEntry, rule, fat);
                if (condition != salvage::kConditionGood && condition != salvage::kConditionPoor)
                    fuzzsupport::Fail("a condition is neither good nor poor");
            }
        }
    }
    return 0;
}
