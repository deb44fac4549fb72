#include "platform/RegFile.h"

#include "platform/Utf16.h"

#include <algorithm>
#include <cstdio>

namespace platform::regfile {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
// Hex data lines are wrapped before this column, as the Windows editor does.
constexpr std::size_t kWrapColumn = 77;

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Folded(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        c = Lower(c);
    return out;
}

KeyPath FoldedPath(const KeyPath& path)
{
    KeyPath out;
    out.reserve(path.size());
    for (const std::string& name : path)
        out.push_back(Folded(name));
    return out;
}

bool IsPrefix(const KeyPath& prefix, const KeyPath& path)
{
    return prefix.size() <= path.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && SameRegName(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// 1 to 8 hex digits, nothing else.
bool ParseHex32(std::string_view s, std::uint32_t& out)
{
    if (s.empty() || s.size() > 8)
        return false;
    out = 0;
    for (const char c : s) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        out = (out << 4) | static_cast<std::uint32_t>(d);
    }
    return true;
}

std::vector<std::uint8_t> ToUtf16LeBytes(std::string_view text)
{
    const std::u16string units = Utf8ToUtf16(text);
    std::vector<std::uint8_t> out;
    out.reserve(units.size() * 2 + 2);
    for (const char16_t u : units) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    out.push_back(0);  // the registry stores strings with their terminator
    out.push_back(0);
    return out;
}

// Up to the first terminator; an odd trailing byte is ignored.
std::string FromUtf16LeBytes(std::span<const std::uint8_t> bytes)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto u = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (u == 0)
            break;
        units += u;
    }
    return Utf16ToUtf8(units);
}

// A quoted name or string starting at s[pos] == '"'. The file format escapes
// only "\" and the quote; a backslash before anything else is kept as it is,
// which is what a person typing a Windows path by hand means.
bool ParseQuoted(std::string_view s, std::size_t& pos, std::string& out)
{
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"'))
            ++pos;
        out += s[pos];
    }
    return false;
}

std::string Quote(std::string_view s)
{
    std::string out = "\"";
    for (const char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

bool HasControlChars(std::string_view s)
{
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// "01,ab, 2f" -> bytes. A trailing comma is allowed (it ends a wrapped line).
bool ParseHexBytes(std::string_view s, std::vector<std::uint8_t>& out)
{
    out.clear();
    s = Trim(s);
    if (s.empty())
        return true;
    if (s.back() == ',')
        s.remove_suffix(1);
    while (true) {
        const std::size_t comma = s.find(',');
        const std::string_view token = Trim(s.substr(0, comma));
        if (token.empty() || token.size() > 2)
            return false;
        int value = 0;
        for (const char c : token) {
            const int d = HexDigit(c);
            if (d < 0)
                return false;
            value = value * 16 + d;
        }
        out.push_back(static_cast<std::uint8_t>(value));
        if (comma == std::string_view::npos)
            return true;
        s.remove_prefix(comma + 1);
    }
}

void AppendHexBytes(std::string& out, std::size_t column, std::span<const std::uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t width = (i + 1 < bytes.size()) ? 3 : 2;
        if (column + width > kWrapColumn) {
            out += "\\\n  ";
            column = 2;
        }
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
        if (i + 1 < bytes.size())
            out += ',';
        column += width;
    }
}

std::string FormatValue(const NamedRegValue& named)
{
    const auto& [name, value] = named;
    std::string line = name.empty() ? std::string("@") : Quote(name);
    line += '=';
    char number[16];
    switch (value.type) {
    case RegType::Sz:
        if (!HasControlChars(value.text) && IsValidUtf8(value.text)) {
            line += Quote(value.text);
            return line;
        }
        // A line break inside a quoted string would end the line (and bytes
        // that are not UTF-8 would spoil the file), so such texts are written
        // the way the format writes any other string type.
        line += "hex(1):";
        AppendHexBytes(line, line.size(), ToUtf16LeBytes(value.text));
        return line;
    case RegType::ExpandSz:
        line += "hex(2):";
        AppendHexBytes(line, line.size(), ToUtf16LeBytes(value.text));
        return line;
    case RegType::Dword:
        std::snprintf(number, sizeof number, "%08x", static_cast<unsigned>(value.number));
        line += "dword:";
        line += number;
        return line;
    case RegType::Binary:
        line += "hex:";
        break;
    default:
        std::snprintf(number, sizeof number, "%x", static_cast<unsigned>(value.type));
        line += "hex(";
        line += number;
        line += "):";
        break;
    }
    AppendHexBytes(line, line.size(), value.bytes);
    return line;
}

// The data of a hex value, by its type number.
bool MakeHexValue(std::uint32_t type, std::vector<std::uint8_t> bytes, RegValue& out)
{
    switch (static_cast<RegType>(type)) {
    case RegType::Sz:
    case RegType::ExpandSz:
        out = RegValue{static_cast<RegType>(type), FromUtf16LeBytes(bytes), 0, {}};
        return true;
    case RegType::Dword:
        if (bytes.size() != 4)
            return false;
        out = RegValue::Dword(static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                              (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24));
        return true;
    default:
        out = RegValue::Raw(static_cast<RegType>(type), std::move(bytes));
        return true;
    }
}

class Parser {
public:
    Parser(std::vector<std::string_view> lines, std::string_view rootName) : lines_(std::move(lines)), root_(rootName) {}

    ParseResult Run()
    {
        bool sawHeader = false;
        for (index_ = 0; index_ < lines_.size(); ++index_) {
            const std::string_view line = Trim(lines_[index_]);
            if (line.empty())
                continue;
            if (!sawHeader) {
                if (line != kHeader) {
                    Fail("the first line is not \"" + std::string(kHeader) + "\"");
                    return std::move(result_);
                }
                sawHeader = true;
                continue;
            }
            if (line.front() == ';')
                continue;
            const bool ok = line.front() == '[' ? Section(line)
                          : (line.front() == '"' || line.front() == '@') ? Value(line)
                          : Fail("unexpected text");
            if (!ok)
                return std::move(result_);
        }
        result_.ok = true;
        return std::move(result_);
    }

private:
    bool Fail(std::string message)
    {
        result_.ok = false;
        result_.line = index_ + 1;
        result_.error = std::move(message);
        return false;
    }

    bool Section(std::string_view line)
    {
        if (line.size() < 2 || line.back() != ']')
            return Fail("a key line does not end with \"]\"");
        std::string_view inner = line.substr(1, line.size() - 2);
        const bool remove = !inner.empty() && inner.front() == '-';
        if (remove)
            inner.remove_prefix(1);
        if (!StartsWithNoCase(inner, root_) || (inner.size() > root_.size() && inner[root_.size()] != '\\'))
            return Fail("a key outside " + std::string(root_));
        const auto path = SplitKeyPath(inner.substr(root_.size()));
        if (!path)
            return Fail("a key path with an empty or invalid name");
        if (remove) {
            result_.hive.Remove(*path);
            current_ = nullptr;
        } else {
            current_ = &result_.hive.Make(*path);
        }
        return true;
    }

    bool Value(std::string_view line)
    {
        if (!current_)
            return Fail("a value outside a key");
        std::size_t pos = 0;
        std::string name;
        if (line.front() == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, pos, name)) {
            return Fail("a value name without its closing quote");
        }
        std::string_view rest = Trim(line.substr(pos));
        if (rest.empty() || rest.front() != '=')
            return Fail("a value without \"=\"");
        rest = Trim(rest.substr(1));

        if (rest == "-") {
            RemoveValue(*current_, name);
            return true;
        }
        RegValue value;
        if (!rest.empty() && rest.front() == '"') {
            std::size_t end = 0;
            std::string text;
            if (!ParseQuoted(rest, end, text) || !Trim(rest.substr(end)).empty())
                return Fail("a string value that is not one quoted text");
            value = RegValue::String(std::move(text));
        } else if (StartsWithNoCase(rest, "dword:")) {
            std::uint32_t n = 0;
            if (!ParseHex32(rest.substr(6), n))
                return Fail("a dword that is not 1 to 8 hex digits");
            value = RegValue::Dword(n);
        } else if (StartsWithNoCase(rest, "hex")) {
            if (!HexValue(rest.substr(3), value))
                return false;
        } else {
            return Fail("value data of an unknown form");
        }
        SetValue(*current_, name, std::move(value));
        return true;
    }

    // After "hex": ":" or "(type):", then bytes, possibly over several lines.
    bool HexValue(std::string_view rest, RegValue& value)
    {
        std::uint32_t type = static_cast<std::uint32_t>(RegType::Binary);
        if (!rest.empty() && rest.front() == '(') {
            const std::size_t close = rest.find(')');
            if (close == std::string_view::npos || !ParseHex32(rest.substr(1, close - 1), type))
                return Fail("a hex value type that is not a hex number");
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':')
            return Fail("hex data without \":\"");
        std::string data(Trim(rest.substr(1)));
        // A line that ends with "\" goes on in the next one; each line read
        // advances index_, so this ends with the file.
        while (!data.empty() && data.back() == '\\') {
            data.pop_back();
            if (index_ + 1 >= lines_.size())
                return Fail("hex data continued past the end of the file");
            ++index_;
            data += Trim(lines_[index_]);
        }
        std::vector<std::uint8_t> bytes;
        if (!ParseHexBytes(data, bytes))
            return Fail("hex data that is not comma-separated bytes");
        if (!MakeHexValue(type, std::move(bytes), value))
            return Fail("a hex(4) dword that is not 4 bytes");
        return true;
    }

    std::vector<std::string_view> lines_;
    std::string_view root_;
    std::size_t index_ = 0;
    HiveKey* current_ = nullptr;
    ParseResult result_;
};

} // namespace

const RegValue* FindValue(const HiveKey& key, std::string_view name)
{
    for (const auto& [n, v] : key.values)
        if (SameRegName(n, name))
            return &v;
    return nullptr;
}

void SetValue(HiveKey& key, std::string_view name, RegValue value)
{
    for (auto& [n, v] : key.values) {
        if (SameRegName(n, name)) {
            v = std::move(value);
            return;
        }
    }
    key.values.emplace_back(std::string(name), std::move(value));
}

void RemoveValue(HiveKey& key, std::string_view name)
{
    std::erase_if(key.values, [&](const NamedRegValue& v) { return SameRegName(v.first, name); });
}

const HiveKey* Hive::Find(const KeyPath& path) const
{
    const auto it = keys_.find(FoldedPath(path));
    return it == keys_.end() ? nullptr : &it->second;
}

HiveKey* Hive::Find(const KeyPath& path)
{
    const auto it = keys_.find(FoldedPath(path));
    return it == keys_.end() ? nullptr : &it->second;
}

HiveKey& Hive::Make(const KeyPath& path)
{
    auto [it, inserted] = keys_.try_emplace(FoldedPath(path));
    if (inserted)
        it->second.path = path;
    return it->second;
}

bool Hive::Exists(const KeyPath& path) const
{
    if (path.empty())
        return true;
    const KeyPath folded = FoldedPath(path);
    // Keys below `path` sort right after it.
    const auto it = keys_.lower_bound(folded);
    return it != keys_.end() && IsPrefix(folded, it->first);
}

void Hive::Remove(const KeyPath& path)
{
    const KeyPath folded = FoldedPath(path);
    auto it = keys_.lower_bound(folded);
    while (it != keys_.end() && IsPrefix(folded, it->first))
        it = keys_.erase(it);
}

std::vector<std::string> Hive::SubKeyNames(const KeyPath& path) const
{
    const KeyPath folded = FoldedPath(path);
    std::vector<std::string> names;
    std::string lastFolded;
    for (auto it = keys_.lower_bound(folded); it != keys_.end() && IsPrefix(folded, it->first); ++it) {
        if (it->first.size() == folded.size())
            continue;
        const std::string& child = it->first[folded.size()];
        if (!names.empty() && child == lastFolded)
            continue;
        lastFolded = child;
        names.push_back(it->second.path[folded.size()]);
    }
    return names;
}

std::vector<const HiveKey*> Hive::Keys() const
{
    std::vector<const HiveKey*> out;
    out.reserve(keys_.size());
    for (const auto& entry : keys_)
        out.push_back(&entry.second);
    return out;
}

ParseResult ParseRegFile(std::span<const std::uint8_t> bytes, std::string_view rootName)
{
    ParseResult result;
    if (bytes.size() > kMaxRegFileSize) {
        result.error = "the file is too large";
        return result;
    }
    std::string text;
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (bytes.size() % 2 != 0) {
            result.error = "UTF-16 text with an odd number of bytes";
            return result;
        }
        std::u16string units;
        units.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i < bytes.size(); i += 2)
            units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        text = Utf16ToUtf8(units);
    } else {
        std::size_t start = 0;
        if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
            start = 3;
        text.assign(reinterpret_cast<const char*>(bytes.data()) + start, bytes.size() - start);
        if (!IsValidUtf8(text)) {
            result.error = "the file is not UTF-8 text";
            return result;
        }
    }
    if (text.find('\0') != std::string::npos) {
        result.error = "the file holds NUL characters";
        return result;
    }

    std::vector<std::string_view> lines;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t nl = rest.find('\n');
        lines.push_back(rest.substr(0, nl));
        if (nl == std::string_view::npos)
            break;
        rest.remove_prefix(nl + 1);
    }
    // The parser's views point into `text`, which lives until it returns.
    return Parser(std::move(lines), rootName).Run();
}

std::string FormatRegFile(const Hive& hive, std::string_view rootName)
{
    std::string out(kHeader);
    out += "\n\n";
    for (const HiveKey* key : hive.Keys()) {
        out += '[';
        out += rootName;
        for (const std::string& name : key->path) {
            out += '\\';
            out += name;
        }
        out += "]\n";
        for (const NamedRegValue& value : key->values) {
            out += FormatValue(value);
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

} // namespace platform::regfile
