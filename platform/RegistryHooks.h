#pragma once
// Seams of the registry layer that its implementations share and tests use.
// Program code uses Registry.h only.

#include <functional>
#include <string>

namespace platform {

// Hands a message to the function set with SetRegistryReport (or stderr).
void ReportRegistryProblem(const std::string& message);

// Called by the file-backed store after a hive's new text is in its
// temporary file and synced, just before that file replaces the hive;
// returning false abandons the write. Tests use it to stop a write at its
// most delicate moment. An empty function removes the hook.
using HiveReplaceHook = std::function<bool(const std::string& tempPath)>;
void SetHiveReplaceHook(HiveReplaceHook hook);

} // namespace platform
