#include "kestrel/VersionRecord.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#if defined(_WIN32)
#include "platform/Utf16.h"
#include <vector>
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 10> kNames = {
    "FileVersion",  "ProductVersion", "FileDescription", "ProductName",  "CompanyName",
    "LegalCopyright", "InternalName", "OriginalFilename", "Comments",    "LegalTrademarks",
};

fs::path Native(const std::string& path)
{
    return fs::path(std::u8string(path.begin(), path.end()));
}

bool KnownName(std::string_view name)
{
    for (const std::string_view known : kNames)
        if (known == name)
            return true;
    return false;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool HasControlCharacter(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value)
{
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long long DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<long long>(era) * 146097 + doe - 719468;
}

} // namespace

std::string CVersionInfo::String(const std::string& name) const
{
    const auto it = strings.find(name);
    return it == strings.end() ? std::string() : it->second;
}

std::span<const std::string_view> StandardVersionNames()
{
    return kNames;
}

std::string VersionRecordPath(const std::string& programPath)
{
    return programPath + ".version";
}

std::optional<std::time_t> ParseUtcTimestamp(std::string_view text)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (text.size() != 20 || !Digits(text, 0, 4, year) || text[4] != '-' || !Digits(text, 5, 2, month) ||
        text[7] != '-' || !Digits(text, 8, 2, day) || text[10] != 'T' || !Digits(text, 11, 2, hour) ||
        text[13] != ':' || !Digits(text, 14, 2, minute) || text[16] != ':' || !Digits(text, 17, 2, second) ||
        text[19] != 'Z')
        return std::nullopt;
    static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] || hour > 23 || minute > 59 ||
        second > 60)
        return std::nullopt;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap)
        return std::nullopt;
    const long long seconds = DaysFromCivil(year, month, day) * 86400LL + hour * 3600LL + minute * 60LL + second;
    return static_cast<std::time_t>(seconds);
}

CVersionInfo ParseVersionRecord(std::string_view text)
{
    CVersionInfo info;
    if (text.size() > kMaxVersionRecordBytes)
        text = text.substr(0, kMaxVersionRecordBytes);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view name = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (HasControlCharacter(value))
            continue;
        if (name == "FileDate")
            info.fileDate = ParseUtcTimestamp(value);
        else if (KnownName(name))
            info.strings[std::string(name)] = std::string(value);
    }
    return info;
}

std::string FileSizeText(const std::string& path)
{
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(Native(path), ec);
    char text[48];
    std::snprintf(text, sizeof text, "%ld Bytes", ec ? 0L : static_cast<long>(size));
    return text;
}

std::string UpdateDateText(const std::optional<std::time_t>& date)
{
    // 1900-01-01T00:00:00Z: earlier dates are shown as time 0.
    constexpr long long k1900 = -2208988800LL;
    std::time_t when = date && static_cast<long long>(*date) >= k1900 ? *date : 0;
    std::tm local{};
#if defined(_WIN32)
    if (localtime_s(&local, &when) != 0) {
        when = std::time(nullptr);
        localtime_s(&local, &when);
    }
#else
    if (!localtime_r(&when, &local)) {
        when = std::time(nullptr);
        localtime_r(&when, &local);
    }
#endif
    char text[128];
    if (std::strftime(text, sizeof text, "%H:%M:%S, %A, %B %d, %Y", &local) == 0)
        return {};
    return text;
}

std::size_t ChooseTranslation(std::span<const std::uint32_t> entries, std::uint16_t userLanguage)
{
    const auto language = [&](std::size_t i) { return static_cast<std::uint16_t>(entries[i] & 0xFFFF); };
    const auto find = [&](std::uint16_t wanted) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (language(i) == wanted)
                return i;
        // The same primary language: the low byte of the id.
        for (std::size_t i = 0; i < entries.size(); ++i)
            if ((language(i) & 0xFF) == (wanted & 0xFF))
                return i;
        return std::nullopt;
    };
    if (const auto chosen = find(userLanguage))
        return *chosen;
    if (const auto neutral = find(0))
        return *neutral;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if ((language(i) & 0xFF) == 9)  // English
            return i;
    return 0;
}

#if defined(_WIN32)

CVersionInfo ReadVersionInfo(const std::string& programPath)
{
    CVersionInfo info;
    info.path = programPath;
    const std::u16string wide = platform::Utf8ToUtf16(programPath);
    const auto* name = reinterpret_cast<const wchar_t*>(wide.c_str());
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(name, &handle);
    if (size == 0)
        return info;
    std::vector<std::uint8_t> block(size);
    if (!GetFileVersionInfoW(name, 0, size, block.data()))
        return info;
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", &value, &length) && length == sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        const std::uint64_t fileTime = (static_cast<std::uint64_t>(fixed->dwFileDateMS) << 32) | fixed->dwFileDateLS;
        // FILETIME: 100 ns units since 1601; 0 means no date.
        if (fileTime != 0)
            info.fileDate = static_cast<std::time_t>(fileTime / 10000000ULL) - 11644473600LL;
    }
    std::vector<std::uint32_t> translations;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length))
        translations.assign(static_cast<const std::uint32_t*>(value),
                            static_cast<const std::uint32_t*>(value) + length / sizeof(std::uint32_t));
    if (translations.empty())
        return info;
    const std::uint32_t chosen = translations[ChooseTranslation(translations, GetUserDefaultLangID())];
    wchar_t prefix[64];
    swprintf(prefix, 64, L"\\StringFileInfo\\%04X%04X\\", chosen & 0xFFFF, chosen >> 16);
    for (const std::string_view key : kNames) {
        std::wstring query = prefix;
        query.append(key.begin(), key.end());
        if (VerQueryValueW(block.data(), query.c_str(), &value, &length) && length > 0) {
            const auto* text = static_cast<const char16_t*>(value);
            std::u16string units(text, text + length);
            while (!units.empty() && units.back() == 0)
                units.pop_back();
            info.strings[std::string(key)] = platform::Utf16ToUtf8(units);
        }
    }
    return info;
}

#else

CVersionInfo ReadVersionInfo(const std::string& programPath)
{
    std::ifstream in(Native(VersionRecordPath(programPath)), std::ios::binary);
    std::string text(kMaxVersionRecordBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    CVersionInfo info = ParseVersionRecord(text);
    info.path = programPath;
    return info;
}

#endif
