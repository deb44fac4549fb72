#include "salvage/cli/Json.h"

namespace salvage::cli {

void AppendJsonEscaped(std::string& out, std::string_view text)
{
    // Runs of characters that need no escape are copied whole.
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(text, start, i - start);
        start = i + 1;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        }
    }
    out.append(text, start, std::string_view::npos);
}

std::string JsonQuote(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    AppendJsonEscaped(out, text);
    out += '"';
    return out;
}

void JsonObject::Key(std::string_view key)
{
    if (!body_.empty())
        body_ += ',';
    body_ += JsonQuote(key);
    body_ += ':';
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value)
{
    Key(key);
    body_ += JsonQuote(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::uint64_t value)
{
    Key(key);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::int64_t value)
{
    Key(key);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value)
{
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::AddNull(std::string_view key)
{
    Key(key);
    body_ += "null";
    return *this;
}

JsonObject& JsonObject::AddRaw(std::string_view key, std::string_view json)
{
    Key(key);
    body_ += json;
    return *this;
}

} // namespace salvage::cli
