// The registry layer over the Windows registry itself (the wide-character
// API, so that UTF-8 texts keep every character).
#include "platform/Registry.h"
#include "platform/RegistryHooks.h"
#include "platform/Utf16.h"

#include <windows.h>

namespace platform {
namespace {

std::wstring Wide(std::string_view text)
{
    const std::u16string units = Utf8ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

std::string Narrow(const wchar_t* text, std::size_t length)
{
    return Utf16ToUtf8(std::u16string(text, text + length));
}

HKEY RootHandle(RegRoot root)
{
    return root == RegRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
}

std::wstring JoinPath(const std::vector<std::string>& names)
{
    std::string path;
    for (const std::string& name : names) {
        if (!path.empty())
            path += '\\';
        path += name;
    }
    return Wide(path);
}

// Strings as the registry holds them: UTF-16, up to the first terminator.
std::string StringData(const std::vector<std::uint8_t>& data)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto u = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (u == 0)
            break;
        units += u;
    }
    return Utf16ToUtf8(units);
}

std::vector<std::uint8_t> StringBytes(std::string_view text)
{
    const std::u16string units = Utf8ToUtf16(text);
    std::vector<std::uint8_t> out;
    for (const char16_t u : units) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::unique_ptr<RegistryKey> OpenKeyPath(RegRoot root, const std::vector<std::string>& path, RegOpen mode);

class WinRegistryKey final : public RegistryKey {
public:
    WinRegistryKey(RegRoot root, std::vector<std::string> path, HKEY key, bool writable)
        : root_(root), path_(std::move(path)), key_(key), writable_(writable)
    {
    }
    ~WinRegistryKey() override { RegCloseKey(key_); }

    std::optional<RegValue> Read(std::string_view name) const override
    {
        const std::wstring wname = Wide(name);
        DWORD type = 0;
        DWORD size = 0;
        std::vector<std::uint8_t> data;
        // The value may grow between the two calls; try a few times.
        for (int attempt = 0; attempt < 4; ++attempt) {
            LONG rc = RegQueryValueExW(key_, wname.c_str(), nullptr, &type, nullptr, &size);
            if (rc != ERROR_SUCCESS)
                return std::nullopt;
            data.resize(size);
            rc = RegQueryValueExW(key_, wname.c_str(), nullptr, &type, data.empty() ? nullptr : data.data(), &size);
            if (rc == ERROR_MORE_DATA)
                continue;
            if (rc != ERROR_SUCCESS)
                return std::nullopt;
            data.resize(size);
            return Decode(type, std::move(data));
        }
        return std::nullopt;
    }

    bool Write(std::string_view name, const RegValue& value) override
    {
        if (!writable_)
            return false;
        std::vector<std::uint8_t> data;
        switch (value.type) {
        case RegType::Sz:
        case RegType::ExpandSz:
            data = StringBytes(value.text);
            break;
        case RegType::Dword:
            for (int i = 0; i < 4; ++i)
                data.push_back(static_cast<std::uint8_t>(value.number >> (8 * i)));
            break;
        default:
            data = value.bytes;
            break;
        }
        const std::wstring wname = Wide(name);
        return RegSetValueExW(key_, wname.c_str(), 0, static_cast<DWORD>(value.type),
                              data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }

    bool WriteAll(std::span<const NamedRegValue> values) override
    {
        bool ok = true;
        for (const auto& [name, value] : values)
            ok = Write(name, value) && ok;
        return ok;
    }

    bool DeleteValue(std::string_view name) override
    {
        if (!writable_)
            return false;
        const std::wstring wname = Wide(name);
        const LONG rc = RegDeleteValueW(key_, wname.c_str());
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }

    std::vector<std::string> ValueNames() const override
    {
        std::vector<std::string> names;
        DWORD count = 0;
        DWORD longest = 0;
        if (RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest, nullptr,
                             nullptr, nullptr) != ERROR_SUCCESS)
            return names;
        std::vector<wchar_t> buffer(longest + 1);
        for (DWORD i = 0; i < count; ++i) {
            DWORD length = static_cast<DWORD>(buffer.size());
            if (RegEnumValueW(key_, i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
                names.push_back(Narrow(buffer.data(), length));
        }
        return names;
    }

    std::vector<std::string> SubKeyNames() const override
    {
        std::vector<std::string> names;
        DWORD count = 0;
        DWORD longest = 0;
        if (RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr) != ERROR_SUCCESS)
            return names;
        std::vector<wchar_t> buffer(longest + 1);
        for (DWORD i = 0; i < count; ++i) {
            DWORD length = static_cast<DWORD>(buffer.size());
            if (RegEnumKeyExW(key_, i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
                names.push_back(Narrow(buffer.data(), length));
        }
        return names;
    }

    bool Writable() const override { return writable_; }

    std::unique_ptr<RegistryKey> OpenSubKey(std::string_view path, RegOpen mode) const override
    {
        if (!path.empty() && path.front() == '\\')
            return OpenRegistryKey(root_, path, mode);
        const auto below = SplitKeyPath(path);
        if (!below)
            return nullptr;
        std::vector<std::string> full = path_;
        full.insert(full.end(), below->begin(), below->end());
        return OpenKeyPath(root_, full, mode);
    }

private:
    static RegValue Decode(DWORD type, std::vector<std::uint8_t> data)
    {
        switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return RegValue{static_cast<RegType>(type), StringData(data), 0, {}};
        case REG_DWORD: {
            std::uint32_t n = 0;
            for (std::size_t i = 0; i < data.size() && i < 4; ++i)
                n |= static_cast<std::uint32_t>(data[i]) << (8 * i);
            return RegValue::Dword(n);
        }
        default:
            return RegValue::Raw(static_cast<RegType>(type), std::move(data));
        }
    }

    RegRoot root_;
    std::vector<std::string> path_;
    HKEY key_;
    bool writable_;
};

std::unique_ptr<RegistryKey> OpenKeyPath(RegRoot root, const std::vector<std::string>& path, RegOpen mode)
{
    // The suite never changes file-type registrations.
    if (mode != RegOpen::Read && root == RegRoot::ClassesRoot)
        return nullptr;
    const std::wstring wpath = JoinPath(path);
    const REGSAM access = mode == RegOpen::Read ? KEY_READ : (KEY_READ | KEY_WRITE);
    HKEY key = nullptr;
    LONG rc = ERROR_SUCCESS;
    if (mode == RegOpen::Create)
        rc = RegCreateKeyExW(RootHandle(root), wpath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                             &key, nullptr);
    else
        rc = RegOpenKeyExW(RootHandle(root), wpath.c_str(), 0, access, &key);
    if (rc != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<WinRegistryKey>(root, path, key, mode != RegOpen::Read);
}

} // namespace

std::unique_ptr<RegistryKey> OpenRegistryKey(RegRoot root, std::string_view path, RegOpen mode)
{
    const auto names = SplitKeyPath(path);
    if (!names)
        return nullptr;
    return OpenKeyPath(root, *names, mode);
}

// There are no hive files here.
void SetRegistryFolder(std::string) {}

std::string RegistryFolder()
{
    return {};
}

void SetHiveReplaceHook(HiveReplaceHook) {}

} // namespace platform
