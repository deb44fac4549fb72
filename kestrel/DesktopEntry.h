#pragma once
// Tools' menu shortcuts: desktop entries (.desktop files) on Linux, shell
// links (.LNK) on Windows.

#include <optional>
#include <string>

// The text of a desktop entry that starts target (no arguments) under name.
// nullopt when the target's path cannot be written on an Exec line (a
// control character in it).
[[nodiscard]] std::optional<std::string> DesktopEntryText(const std::string& name, const std::string& target);

// Quotes one argument for an Exec line (before the file's own escaping).
[[nodiscard]] std::string QuoteExecArgument(const std::string& argument);

// Escapes a value of type string (backslash, line breaks, tabs).
[[nodiscard]] std::string EscapeDesktopValue(const std::string& value);

// Creates the shortcut at shortcutPath (its folder is made when missing),
// replacing a file of that name; the shortcut starts target and carries no
// description. False when it could not be written.
bool CreateToolShortcut(const std::string& shortcutPath, const std::string& target, const std::string& name);
