#pragma once
// Just enough JSON for one object per line.

#include <cstdint>
#include <string>
#include <string_view>

namespace salvage::cli {

[[nodiscard]] std::string JsonQuote(std::string_view text);
// `text` escaped as JsonQuote does, without its quotes, appended to `out`.
void AppendJsonEscaped(std::string& out, std::string_view text);

class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view value);
    JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
    JsonObject& Add(std::string_view key, std::uint64_t value);
    JsonObject& Add(std::string_view key, std::int64_t value);
    JsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<std::int64_t>(value)); }
    JsonObject& Add(std::string_view key, unsigned value) { return Add(key, static_cast<std::uint64_t>(value)); }
    JsonObject& Add(std::string_view key, bool value);
    JsonObject& AddNull(std::string_view key);
    JsonObject& AddRaw(std::string_view key, std::string_view json);
    [[nodiscard]] std::string Str() const { return "{" + body_ + "}"; }

private:
    void Key(std::string_view key);
    std::string body_;
};

} // namespace salvage::cli
