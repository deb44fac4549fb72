#pragma once
// A registry key held open for reading and writing string values, over the
// suite's registry layer (platform/Registry.h).

#include "platform/Registry.h"

#include <memory>
#include <string>

class CRegistry {
public:
    explicit CRegistry(platform::RegRoot root = platform::RegRoot::CurrentUser);
    ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Opens the key at path below root; with create, a missing key is made.
    // Non-zero on success. An open key is closed first.
    int Open(platform::RegRoot root, const std::string& path, bool create);
    void Close();
    [[nodiscard]] bool IsOpen() const { return key_ != nullptr; }

    // The string value of that name; false (out emptied) when the key is not
    // open or the value is missing or not a string.
    bool ReadString(const std::string& name, std::string& out) const;

    // Writes a string value: an expandable one when expand is set. False
    // when the key is not open or not writable.
    bool WriteString(const std::string& name, const std::string& text, bool expand = false);

    bool ReadDword(const std::string& name, unsigned long& out) const;
    bool WriteDword(const std::string& name, unsigned long value);

private:
    platform::RegRoot root_;
    std::unique_ptr<platform::RegistryKey> key_;
};

// The maker's key path below HKEY_CURRENT_USER, where the suite's programs
// keep their own subkeys: "Software\Kestrel".
void ReturnCorvaleRegKey(std::string& out);

// The maker's per-user application data folder, made when missing: on Linux
// $XDG_DATA_HOME/kestrel (~/.local/share/kestrel by default), on Windows
// %APPDATA%\Kestrel. False when it does not exist afterwards.
bool ReturnCorvaleAppDataFolder(std::string& out);
