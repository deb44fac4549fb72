#pragma once
// The verbs of salvage-cli and their shared argument handling.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace salvage::cli {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the volume could not be read or recovered
inline constexpr int kExitUsage = 2;    // bad options

struct Arguments {
    std::vector<std::string> positional;
    std::set<std::string> flags;                              // "--json"
    std::map<std::string, std::vector<std::string>> values;  // "--path" -> every value given

    [[nodiscard]] bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
    [[nodiscard]] std::optional<std::string> Value(const std::string& name) const;
};

// Splits argv after the verb. Options not in the two lists, a missing value
// and a repeated single-value option give an error text.
[[nodiscard]] std::optional<std::string> ParseArguments(const std::vector<std::string>& args,
                                                        const std::set<std::string>& flagNames,
                                                        const std::set<std::string>& valueNames,
                                                        const std::set<std::string>& repeatableNames,
                                                        Arguments& out);

int RunInfo(const std::vector<std::string>& args);
int RunList(const std::vector<std::string>& args);
int RunRecover(const std::vector<std::string>& args);

} // namespace salvage::cli
