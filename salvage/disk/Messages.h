#pragma once
// The program's message box, reachable from the engine. Every message of the
// program is titled kMessageCaption. A front end installs a hook: the
// command-line tool prints to stderr, the windows show a message box.

#include <functional>
#include <string>

namespace salvage {

inline constexpr const char* kMessageCaption = "Razuzuda Rezer";

enum class MessageIcon { None, Error, Warning, Question, Information };

using MessageHook = std::function<void(const std::string& text, MessageIcon icon)>;

// Installs the hook and returns the previous one. Without a hook messages go
// to stderr. The hook may be called from a worker thread.
MessageHook SetMessageHook(MessageHook hook);

// Shows a notice through the hook (a plain message box with one OK button).
void ShowMessageBox(const std::string& text, MessageIcon icon = MessageIcon::None);

} // namespace salvage
