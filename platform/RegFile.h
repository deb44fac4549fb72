#pragma once
// One registry hive held in memory, and its text form: the .reg export format
// ("Windows Registry Editor Version 5.00", "[ROOT\Key\Sub]" sections,
// "Name"="text", "Name"=dword:0000002a, "Name"=hex:01,02, "Name"=hex(2):...
// for expandable strings, @ for the default value), so that a person can read
// and edit the file.
//
// Only keys that were made themselves get a section; their parents exist
// implicitly. Comments in a file that is read are not kept when it is written
// back.

#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::regfile {

using KeyPath = std::vector<std::string>;

struct HiveKey {
    KeyPath path;                       // names as they were made
    std::vector<NamedRegValue> values;  // in the order they were made
};

[[nodiscard]] const RegValue* FindValue(const HiveKey& key, std::string_view name);
void SetValue(HiveKey& key, std::string_view name, RegValue value);
void RemoveValue(HiveKey& key, std::string_view name);

class Hive {
public:
    [[nodiscard]] const HiveKey* Find(const KeyPath& path) const;
    [[nodiscard]] HiveKey* Find(const KeyPath& path);
    // The key of that path, made when missing.
    HiveKey& Make(const KeyPath& path);
    // The key, or one below it, exists. The root always exists.
    [[nodiscard]] bool Exists(const KeyPath& path) const;
    // Removes the key and everything below it.
    void Remove(const KeyPath& path);
    [[nodiscard]] std::vector<std::string> SubKeyNames(const KeyPath& path) const;

    // Keys in file order: by path, name by name, ignoring case (so every key
    // comes right after its parent).
    [[nodiscard]] std::vector<const HiveKey*> Keys() const;

private:
    std::map<KeyPath, HiveKey> keys_;  // by the lower-cased path
};

struct ParseResult {
    bool ok = false;
    std::size_t line = 0;  // 1-based line of the error; 0 for the file as a whole
    std::string error;
    Hive hive;
};

// Reads a hive file's bytes: UTF-8 (with or without a byte-order mark) or
// UTF-16LE with its byte-order mark, as the Windows editor writes it. Every
// section must lie below rootName. An empty file is an empty hive.
[[nodiscard]] ParseResult ParseRegFile(std::span<const std::uint8_t> bytes, std::string_view rootName);

// The hive as .reg text (UTF-8, "\n" line ends).
[[nodiscard]] std::string FormatRegFile(const Hive& hive, std::string_view rootName);

// Files larger than this are not read as hives.
inline constexpr std::size_t kMaxRegFileSize = 64u << 20;

} // namespace platform::regfile
