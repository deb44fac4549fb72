#include "tests/search/RecordingSink.h"

namespace testsearch {

const Report* RecordingSink::ByRecord(std::uint32_t record) const
{
    for (const Report& r : reports)
        if (r.info.FileRef == record && r.info.StreamAt == 0)
            return &r;
    return nullptr;
}

std::map<std::uint32_t, std::string> RecordingSink::Paths() const
{
    constexpr std::uint32_t kRoot = 5;
    std::map<std::uint32_t, const salvage::TFileInfo*> dirs;
    for (const Report& r : reports)
        if (r.directory)
            dirs[r.info.FileRef] = &r.info;
    // Where the children of folder `ref` go.
    std::function<std::string(std::uint32_t, int)> folder = [&](std::uint32_t ref, int depth) -> std::string {
        if (ref == kRoot)
            return "";
        const auto it = dirs.find(ref);
        if (it == dirs.end() || depth > 64)
            return "$$folder_" + std::to_string(ref);
        return folder(it->second->ParentRef, depth + 1) + "/" + it->second->Name;
    };
    std::map<std::uint32_t, std::string> paths;
    for (const Report& r : reports)
        if (r.info.StreamAt == 0)
            paths[r.info.FileRef] = r.info.FileRef == kRoot ? "." : folder(r.info.ParentRef, 0) + "/" + r.info.Name;
    return paths;
}

} // namespace testsearch
