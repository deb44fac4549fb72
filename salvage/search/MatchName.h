#pragma once
// Name matching for finding files among the results by name: a part of a
// name, or a wildcard mask that must match the whole name.

#include <string_view>

namespace salvage {

// True when `pattern` is empty; when it holds "*" or "?", whether the whole
// name matches it as a wildcard mask ("*" any run of characters, "?" any one
// character, "[abc]" or "[a-z]" one character of the set, "[!abc]" one
// character outside it); otherwise whether the pattern occurs anywhere in the
// name. Case is ignored throughout. Names and patterns are UTF-8; a
// character is a code point (a byte that is not valid UTF-8 stands for
// itself). A "[" that opens no complete set is an ordinary character.
// With `sets` false, "[" is an ordinary character in masks too (the
// recovery wizard's criteria know only "*" and "?").
[[nodiscard]] bool MatchName(std::string_view name, std::string_view pattern, bool sets = true);

// The mask match alone (what MatchName does when the pattern holds "*" or "?").
[[nodiscard]] bool MatchMask(std::string_view name, std::string_view mask, bool sets = true);

} // namespace salvage
