#pragma once
// The typed option store: named options of a fixed kind, registered in code
// with a default, loaded from one registry key at start-up and written back
// to it at exit. Values change in memory only until SaveAll / SaveOne.

#include "platform/Registry.h"
#include "salvage/fs/FATPlacement.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace salvage {

// Errors of the store's use: a getter or setter of the wrong kind ("Wrong
// option type"), a name that was never registered.
class EOptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kWrongOptionType = "Wrong option type";

class TOption {
public:
    // Kinds; integers also hold booleans (0 false, 1 true).
    static constexpr std::uint8_t kInteger = 0;
    static constexpr std::uint8_t kString = 1;
    static constexpr std::uint8_t kBinary = 2;

    using ChangeHandler = std::function<void(TOption& sender)>;

    TOption(std::string name, std::uint8_t kind);
    TOption(const TOption&) = delete;
    TOption& operator=(const TOption&) = delete;

    // Called whenever a setter changes the value.
    ChangeHandler OnChange;

    [[nodiscard]] std::uint8_t Kind() const { return kind_; }
    [[nodiscard]] const std::string& Name() const { return name_; }

    // Each raises EOptionError("Wrong option type") for another kind.
    [[nodiscard]] std::int32_t GetInteger() const;
    [[nodiscard]] bool GetBoolean() const { return GetInteger() != 0; }
    void SetInteger(std::int32_t value);
    void SetBoolean(bool value) { SetInteger(value ? 1 : 0); }

    [[nodiscard]] const std::string& GetString() const;
    void SetString(const std::string& value);

    [[nodiscard]] std::span<const std::uint8_t> GetBinary() const;
    // Non-empty data replaces the block; empty data frees a block that
    // exists. Either way OnChange runs (there is no comparison of blocks).
    void SetBinary(std::span<const std::uint8_t> data);

    // The values the option was registered with.
    [[nodiscard]] std::int32_t IntegerDefault() const { return integerDefault_; }
    [[nodiscard]] const std::string& StringDefault() const { return stringDefault_; }

private:
    friend class TOptions;

    void CheckKind(std::uint8_t kind) const;
    void Changed();

    std::string name_;
    std::uint8_t kind_;
    std::int32_t integer_ = 0;
    std::int32_t integerDefault_ = 0;
    std::string string_;
    std::string stringDefault_;
    std::vector<std::uint8_t> binary_;
};

class TOptions;

// Told after any option of the store changed (LastChanged names it).
class IOptionsObserver {
public:
    virtual ~IOptionsObserver() = default;
    virtual void OptionsChanged(TOptions& sender) = 0;
};

class TOptions {
public:
    // Registers the integer option "FirstLaunch" = 1 before anything else.
    // keyPath is below root ("\..." is absolute below it as well).
    TOptions(platform::RegRoot root, std::string keyPath);
    // When "FirstLaunch" is still true, turns it to false and saves it.
    ~TOptions();
    TOptions(const TOptions&) = delete;
    TOptions& operator=(const TOptions&) = delete;

    TOption& AddInteger(const std::string& name, std::int32_t value);
    TOption& AddBoolean(const std::string& name, bool value);
    TOption& AddString(const std::string& name, const std::string& text);
    // An empty binary option (the program's own table has none).
    TOption& AddBinary(const std::string& name);

    // By name, ignoring case. Raises EOptionError `Option "NAME" is not found.`.
    [[nodiscard]] TOption& Find(std::string_view name) const;

    // Reads every registered option whose value exists under the key
    // (creating the key): REG_SZ, REG_DWORD and REG_BINARY go through the
    // setters, which raise "Wrong option type" for a value of another kind;
    // values of other types are left alone. A key that cannot be opened
    // leaves the defaults.
    void Load();
    // Writes every option in registration order (integers as REG_DWORD,
    // strings as REG_SZ, binaries as REG_BINARY).
    void SaveAll();
    void SaveOne(std::string_view name);

    void AddObserver(IOptionsObserver* observer);
    void RemoveObserver(IOptionsObserver* observer);

    [[nodiscard]] const std::string& LastChanged() const { return lastChanged_; }
    [[nodiscard]] const std::string& KeyPath() const { return keyPath_; }
    [[nodiscard]] platform::RegRoot Root() const { return root_; }
    [[nodiscard]] std::size_t Count() const { return options_.size(); }
    [[nodiscard]] TOption& Item(std::size_t index) const { return *options_.at(index); }

private:
    TOption& Register(std::unique_ptr<TOption> option);
    void OptionChanged(TOption& sender);

    platform::RegRoot root_;
    std::string keyPath_;
    std::vector<IOptionsObserver*> observers_;
    std::vector<std::unique_ptr<TOption>> options_;
    std::string lastChanged_;
};

// --- The program's own options ---------------------------------------------

inline constexpr const char* kRegistryKeyBase = "\\Software\\Kestrel\\Razuzuda Rezer\\2.0";
inline constexpr const char* kOptionsKeyName = "\\Settings";
[[nodiscard]] std::string OptionsKeyPath();  // base + "\Settings"

inline constexpr const char* kOptFirstLaunch = "FirstLaunch";
inline constexpr const char* kOptShowStatusBar = "ShowStatusBar";
inline constexpr const char* kOptShowToolBar = "ShowToolBar";
inline constexpr const char* kOptCheckDeterminate = "CheckDeterminate";
inline constexpr const char* kOptCheckMountPoint = "CheckMountPoint";
inline constexpr const char* kOptCheckRestoreStructure = "CheckRestoreStructure";
inline constexpr const char* kOptCheckRecoverAll = "CheckRecoverAll";
inline constexpr const char* kOptPathRecover = "PathRecover";
// How a deleted FAT file's clusters are placed (TFatClusterRule): 0 the free
// gaps nothing else claims (the default), 1 the consecutive clusters.
inline constexpr const char* kOptFatClusterRule = "FatClusterRule";

// "C:\Recovered Files" on Windows; elsewhere "Recovered Files" in the
// user's home folder.
[[nodiscard]] std::string DefaultRecoverPath();

// Registers the program's options in their order (after "FirstLaunch").
void RegisterProgramOptions(TOptions& options);

// The rule "FatClusterRule" holds; a value no rule has gives the default.
[[nodiscard]] TFatClusterRule FatClusterRuleOption(const TOptions& options);

// The store the main window owns: made on HKEY_CURRENT_USER at
// OptionsKeyPath() with the program's options registered. The caller then
// Loads it, once it holds the store: a Load that raises leaves the store
// with the window, whose orderly exit still saves it.
[[nodiscard]] std::unique_ptr<TOptions> NewProgramOptions();

} // namespace salvage
