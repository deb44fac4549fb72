#pragma once
// A small typed key/value store shaped like the Windows registry. On Windows
// it is the registry itself; elsewhere each hive is a text file in the .reg
// export format under the user's config folder (see RegFile.h), written
// atomically under a lock so that several programs of the suite can share it.
//
// Key paths use "\" between names. A path given to OpenRegistryKey is always
// below the root (a leading "\" is allowed and means the same); a path given
// to RegistryKey::OpenSubKey is relative to that key unless it starts with
// "\", which makes it absolute below the root. Key and value names are
// compared without regard to (ASCII) case and keep the case they were made
// with. Strings are UTF-8.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class RegRoot { CurrentUser, ClassesRoot };

// The registry's own type numbers, so values of other types (multi-strings,
// 64-bit numbers, ...) keep theirs when they pass through.
enum class RegType : std::uint32_t {
    None = 0,
    Sz = 1,        // REG_SZ
    ExpandSz = 2,  // REG_EXPAND_SZ
    Binary = 3,    // REG_BINARY
    Dword = 4,     // REG_DWORD
};

struct RegValue {
    RegType type = RegType::None;
    std::string text;                  // Sz, ExpandSz
    std::uint32_t number = 0;          // Dword
    std::vector<std::uint8_t> bytes;   // Binary and every other type, raw

    [[nodiscard]] static RegValue String(std::string s) { return {RegType::Sz, std::move(s), 0, {}}; }
    [[nodiscard]] static RegValue ExpandString(std::string s) { return {RegType::ExpandSz, std::move(s), 0, {}}; }
    [[nodiscard]] static RegValue Dword(std::uint32_t n) { return {RegType::Dword, {}, n, {}}; }
    [[nodiscard]] static RegValue Binary(std::vector<std::uint8_t> b) { return {RegType::Binary, {}, 0, std::move(b)}; }
    [[nodiscard]] static RegValue Raw(RegType t, std::vector<std::uint8_t> b) { return {t, {}, 0, std::move(b)}; }

    friend bool operator==(const RegValue&, const RegValue&) = default;
};

using NamedRegValue = std::pair<std::string, RegValue>;

enum class RegOpen {
    Read,    // an existing key; writes through it fail
    Write,   // an existing key, writable
    Create,  // made (with its parents) when missing, writable
};

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    virtual ~RegistryKey() = default;

    // The value of that name (the empty name is the key's default value);
    // nullopt when there is none.
    [[nodiscard]] virtual std::optional<RegValue> Read(std::string_view name) const = 0;

    // Writes one value with the type it carries, replacing any value of the
    // same name whatever its type. False when the key is read-only or the
    // write failed; nothing is half-written.
    virtual bool Write(std::string_view name, const RegValue& value) = 0;

    // Writes several values as one change (one file rewrite off Windows).
    virtual bool WriteAll(std::span<const NamedRegValue> values) = 0;

    // True when the value is gone afterwards (also when it never existed).
    virtual bool DeleteValue(std::string_view name) = 0;

    [[nodiscard]] virtual std::vector<std::string> ValueNames() const = 0;
    [[nodiscard]] virtual std::vector<std::string> SubKeyNames() const = 0;

    [[nodiscard]] virtual bool Writable() const = 0;

    // A key below this one, or below the root when path starts with "\".
    [[nodiscard]] virtual std::unique_ptr<RegistryKey> OpenSubKey(std::string_view path, RegOpen mode) const = 0;

    bool WriteString(std::string_view name, std::string text) { return Write(name, RegValue::String(std::move(text))); }
    bool WriteDword(std::string_view name, std::uint32_t n) { return Write(name, RegValue::Dword(n)); }
};

// Opens (or creates) a key below the root. Null when the key does not exist
// (Read, Write), cannot be made (Create), or the root is read-only and a
// writable key was asked for. HKEY_CLASSES_ROOT is read-only.
[[nodiscard]] std::unique_ptr<RegistryKey> OpenRegistryKey(RegRoot root, std::string_view path, RegOpen mode);

[[nodiscard]] const char* RegRootName(RegRoot root);  // "HKEY_CURRENT_USER", ...

// Splits a key path into its names. A leading or trailing "\" is dropped;
// an empty name inside the path, or a name with a control character, makes
// the path invalid (nullopt).
[[nodiscard]] std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path);

// ASCII case-insensitive equality, the comparison of key and value names.
[[nodiscard]] bool SameRegName(std::string_view a, std::string_view b);

// Where the hive files live (not used with the Windows registry): the folder
// set here when not empty, else $XDG_CONFIG_HOME/kestrel/registry, else
// ~/.config/kestrel/registry. Tests point it at a temporary folder.
void SetRegistryFolder(std::string folder);
[[nodiscard]] std::string RegistryFolder();

// Problems the user should hear about (a hive file that could not be read
// and was kept aside). The program connects its message boxes here; until
// then the text goes to standard error. An empty function restores that.
using RegistryReport = std::function<void(const std::string& message)>;
void SetRegistryReport(RegistryReport report);

} // namespace platform
