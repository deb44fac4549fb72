#include "salvage/ui/Options.h"

#include "platform/UserFolders.h"

#include <algorithm>

namespace salvage {

// --- TOption ---------------------------------------------------------------

TOption::TOption(std::string name, std::uint8_t kind) : name_(std::move(name)), kind_(kind) {}

void TOption::CheckKind(std::uint8_t kind) const
{
    if (kind_ != kind)
        throw EOptionError(kWrongOptionType);
}

void TOption::Changed()
{
    if (OnChange)
        OnChange(*this);
}

std::int32_t TOption::GetInteger() const
{
    CheckKind(kInteger);
    return integer_;
}

void TOption::SetInteger(std::int32_t value)
{
    CheckKind(kInteger);
    if (value == integer_)
        return;
    integer_ = value;
    Changed();
}

const std::string& TOption::GetString() const
{
    CheckKind(kString);
    return string_;
}

void TOption::SetString(const std::string& value)
{
    CheckKind(kString);
    if (value == string_)
        return;
    string_ = value;
    Changed();
}

std::span<const std::uint8_t> TOption::GetBinary() const
{
    CheckKind(kBinary);
    return binary_;
}

void TOption::SetBinary(std::span<const std::uint8_t> data)
{
    CheckKind(kBinary);
    if (!data.empty()) {
        binary_.assign(data.begin(), data.end());
        Changed();
    } else if (!binary_.empty()) {
        // The size goes with the block, so nothing can later read a size
        // without the bytes behind it.
        binary_.clear();
        binary_.shrink_to_fit();
        Changed();
    }
}

// --- TOptions --------------------------------------------------------------

TOptions::TOptions(platform::RegRoot root, std::string keyPath) : root_(root), keyPath_(std::move(keyPath))
{
    AddBoolean(kOptFirstLaunch, true);
}

TOptions::~TOptions()
{
    try {
        TOption& first = Find(kOptFirstLaunch);
        if (first.GetBoolean()) {
            first.SetBoolean(false);
            SaveOne(kOptFirstLaunch);
        }
    } catch (...) {
        // A destructor cannot report; the flag simply stays as it was stored.
    }
}

TOption& TOptions::Register(std::unique_ptr<TOption> option)
{
    option->OnChange = [this](TOption& sender) { OptionChanged(sender); };
    options_.push_back(std::move(option));
    return *options_.back();
}

TOption& TOptions::AddInteger(const std::string& name, std::int32_t value)
{
    auto option = std::make_unique<TOption>(name, TOption::kInteger);
    option->integer_ = value;
    option->integerDefault_ = value;
    return Register(std::move(option));
}

TOption& TOptions::AddBoolean(const std::string& name, bool value)
{
    return AddInteger(name, value ? 1 : 0);
}

TOption& TOptions::AddString(const std::string& name, const std::string& text)
{
    auto option = std::make_unique<TOption>(name, TOption::kString);
    option->string_ = text;
    option->stringDefault_ = text;
    return Register(std::move(option));
}

TOption& TOptions::AddBinary(const std::string& name)
{
    return Register(std::make_unique<TOption>(name, TOption::kBinary));
}

TOption& TOptions::Find(std::string_view name) const
{
    for (const auto& option : options_)
        if (platform::SameRegName(option->Name(), name))
            return *option;
    throw EOptionError("Option \"" + std::string(name) + "\" is not found.");
}

void TOptions::OptionChanged(TOption& sender)
{
    lastChanged_ = sender.Name();
    // A copy: an observer may unregister itself while it is told.
    const std::vector<IOptionsObserver*> observers = observers_;
    for (IOptionsObserver* observer : observers)
        observer->OptionsChanged(*this);
}

void TOptions::AddObserver(IOptionsObserver* observer)
{
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void TOptions::RemoveObserver(IOptionsObserver* observer)
{
    std::erase(observers_, observer);
}

void TOptions::Load()
{
    const auto key = platform::OpenRegistryKey(root_, keyPath_, platform::RegOpen::Create);
    if (!key)
        return;
    for (const auto& option : options_) {
        const std::optional<platform::RegValue> value = key->Read(option->Name());
        if (!value)
            continue;
        switch (value->type) {
        case platform::RegType::Sz:
            option->SetString(value->text);
            break;
        case platform::RegType::Dword:
            option->SetInteger(static_cast<std::int32_t>(value->number));
            break;
        case platform::RegType::Binary:
            option->SetBinary(value->bytes);
            break;
        default:
            break;  // expandable strings and the rest are not ours
        }
    }
}

namespace {

platform::RegValue ToRegValue(const TOption& option)
{
    switch (option.Kind()) {
    case TOption::kInteger:
        return platform::RegValue::Dword(static_cast<std::uint32_t>(option.GetInteger()));
    case TOption::kString:
        return platform::RegValue::String(option.GetString());
    default: {
        const auto bytes = option.GetBinary();
        return platform::RegValue::Binary({bytes.begin(), bytes.end()});
    }
    }
}

} // namespace

void TOptions::SaveAll()
{
    const auto key = platform::OpenRegistryKey(root_, keyPath_, platform::RegOpen::Create);
    if (!key)
        return;
    std::vector<platform::NamedRegValue> values;
    values.reserve(options_.size());
    for (const auto& option : options_)
        values.emplace_back(option->Name(), ToRegValue(*option));
    // One change of the hive for the whole set.
    key->WriteAll(values);
}

void TOptions::SaveOne(std::string_view name)
{
    const TOption& option = Find(name);
    const auto key = platform::OpenRegistryKey(root_, keyPath_, platform::RegOpen::Create);
    if (!key)
        return;
    key->Write(option.Name(), ToRegValue(option));
}

// --- The program's own options ---------------------------------------------

std::string OptionsKeyPath()
{
    return std::string(kRegistryKeyBase) + kOptionsKeyName;
}

std::string DefaultRecoverPath()
{
#if defined(_WIN32)
    return "C:\\Recovered Files";
#else
    const std::string home = platform::HomeFolder();
    return (home == "/" ? std::string() : home) + "/Recovered Files";
#endif
}

void RegisterProgramOptions(TOptions& options)
{
    options.AddBoolean(kOptShowStatusBar, true);
    options.AddBoolean(kOptShowToolBar, true);
    options.AddBoolean(kOptCheckDeterminate, true);
    options.AddBoolean(kOptCheckMountPoint, true);
    options.AddBoolean(kOptCheckRestoreStructure, false);
    options.AddBoolean(kOptCheckRecoverAll, true);
    options.AddString(kOptPathRecover, DefaultRecoverPath());
    options.AddInteger(kOptFatClusterRule, static_cast<std::int32_t>(TFatClusterRule::FreeGaps));
}

TFatClusterRule FatClusterRuleOption(const TOptions& options)
{
    const std::int32_t value = options.Find(kOptFatClusterRule).GetInteger();
    return value == static_cast<std::int32_t>(TFatClusterRule::Consecutive) ? TFatClusterRule::Consecutive
                                                                           : TFatClusterRule::FreeGaps;
}

std::unique_ptr<TOptions> NewProgramOptions()
{
    auto options = std::make_unique<TOptions>(platform::RegRoot::CurrentUser, OptionsKeyPath());
    RegisterProgramOptions(*options);
    return options;
}

} // namespace salvage
