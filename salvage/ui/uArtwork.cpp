#include "salvage/ui/uArtwork.h"

#include <QString>

#include <array>
#include <map>

namespace salvage::ui {
namespace {

QIcon Load(const char* name)
{
    QIcon icon;
    const QString base = QStringLiteral(":/art/") + QLatin1String(name);
    for (const char* suffix : {"", "@2x", "@4x"})
        icon.addFile(base + QLatin1String(suffix) + QStringLiteral(".png"));
    return icon;
}

const QIcon& Cached(const char* name)
{
    static std::map<std::string, QIcon> icons;
    auto it = icons.find(name);
    if (it == icons.end())
        it = icons.emplace(name, Load(name)).first;
    return it->second;
}

} // namespace

const QIcon& FileImage(int index)
{
    static constexpr std::array<const char*, kFileImageCount> names{
        "folder", "file", "folder-deleted", "file-deleted", "folder-has-deleted", "sort-down", "sort-up"};
    if (index < 0 || index >= kFileImageCount)
        index = 0;
    return Cached(names[static_cast<std::size_t>(index)]);
}

const QIcon& DriveImage(int index)
{
    switch (index) {
    case 2: return Cached("drive-removable");
    case 3: return Cached("drive-image");
    default: return Cached("drive-fixed");
    }
}

const QIcon& ToolImage(TToolImage image)
{
    switch (image) {
    case TToolImage::Wizard: return Cached("tool-wizard");
    case TToolImage::Analyze: return Cached("tool-analyze");
    case TToolImage::Recover: return Cached("tool-recover");
    case TToolImage::Stop: return Cached("tool-stop");
    case TToolImage::Find: return Cached("tool-find");
    case TToolImage::Filter: return Cached("tool-filter");
    case TToolImage::Help: return Cached("tool-help");
    case TToolImage::OpenImage: return Cached("tool-open-image");
    }
    return Cached("tool-help");
}

const QIcon& ProgramIcon()
{
    return Cached("salvage");
}

} // namespace salvage::ui
