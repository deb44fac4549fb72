#include "basekit/CRegistry.h"

#include "basekit/Paths.h"
#include "platform/UserFolders.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

CRegistry::CRegistry(platform::RegRoot root) : root_(root) {}

CRegistry::~CRegistry() = default;

int CRegistry::Open(platform::RegRoot root, const std::string& path, bool create)
{
    Close();
    root_ = root;
    key_ = platform::OpenRegistryKey(root, path, create ? platform::RegOpen::Create : platform::RegOpen::Write);
    if (!key_ && !create)
        key_ = platform::OpenRegistryKey(root, path, platform::RegOpen::Read);
    return key_ ? 1 : 0;
}

void CRegistry::Close()
{
    key_.reset();
}

bool CRegistry::ReadString(const std::string& name, std::string& out) const
{
    out.clear();
    if (!key_)
        return false;
    const std::optional<platform::RegValue> value = key_->Read(name);
    if (!value || (value->type != platform::RegType::Sz && value->type != platform::RegType::ExpandSz))
        return false;
    out = value->text;
    return true;
}

bool CRegistry::WriteString(const std::string& name, const std::string& text, bool expand)
{
    if (!key_)
        return false;
    return key_->Write(name, expand ? platform::RegValue::ExpandString(text) : platform::RegValue::String(text));
}

bool CRegistry::ReadDword(const std::string& name, unsigned long& out) const
{
    out = 0;
    if (!key_)
        return false;
    const std::optional<platform::RegValue> value = key_->Read(name);
    if (!value || value->type != platform::RegType::Dword)
        return false;
    out = value->number;
    return true;
}

bool CRegistry::WriteDword(const std::string& name, unsigned long value)
{
    return key_ && key_->WriteDword(name, static_cast<std::uint32_t>(value));
}

void ReturnCorvaleRegKey(std::string& out)
{
    out = "Software\\Kestrel";
}

bool ReturnCorvaleAppDataFolder(std::string& out)
{
#if defined(_WIN32)
    const char* appData = std::getenv("APPDATA");
    out = appData && *appData ? appData : platform::HomeFolder();
    CVPathAppend(out, "Kestrel");
#else
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/') {
        out = dataHome;
    } else {
        out = platform::HomeFolder();
        CVPathAppend(out, ".local/share");
    }
    CVPathAppend(out, "kestrel");
#endif
    std::error_code ec;
    const std::filesystem::path folder(std::u8string(out.begin(), out.end()));
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}
