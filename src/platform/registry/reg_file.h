// The registry as regedit exports it: a tree of keys with named values, read
// from and written to the ".reg" text format.
//
// Accepted input: the "Windows Registry Editor Version 5.00" and "REGEDIT4"
// headers; UTF-16LE with a byte-order mark (as regedit writes) or UTF-8 with
// or without one; CR LF or LF line ends; [key] and [-key] sections; values
// "name"=..., @=..., "name"=- ; "text" with \" and \\ escapes; dword:; hex:,
// hex(N): (N in hex) with continuation lines; ';' comments; blank lines.
// hivexregedit --export output loads as well.
//
// In memory every value keeps its registry type and its data as the "A"
// calls see it: string types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) as UTF-8
// bytes, terminators included as stored; every other type as raw bytes. In a
// 5.00 file the bytes of hex(1), hex(2) and hex(7) are UTF-16LE and are
// converted; in a REGEDIT4 file they are single-byte and taken as they are.
//
// Key and value names compare case-insensitively and keep their spelling.
// A key named by two sections is one key (regedit's import merges them), and
// children keep the order in which they first appeared.
//
// Writing produces what regedit would export for the same tree, in the
// dialect, encoding and line end the document was read with, so that an
// unchanged regedit export is written back byte for byte.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::reg {

struct Value {
  std::string name;  // "" is the key's default value, written as @
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

class Key {
 public:
  explicit Key(std::string name = {}) : name_(std::move(name)) {}
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  const std::string& name() const { return name_; }

  // Direct children, in order of first appearance.
  const std::vector<std::unique_ptr<Key>>& children() const { return children_; }
  Key* FindChild(std::string_view name);
  const Key* FindChild(std::string_view name) const;
  // Finds the child or appends a new one (not marked as a section).
  Key& Child(std::string_view name);
  bool RemoveChild(std::string_view name);

  // Follows a path of names separated by backslashes; empty components are
  // skipped, so "A\\B\\" and "A\B" name the same key. Null when absent.
  Key* Find(std::string_view path);
  const Key* Find(std::string_view path) const;
  // Follows or creates every key of the path; each one becomes a section.
  Key& Create(std::string_view path);

  const std::vector<Value>& values() const { return values_; }
  const Value* FindValue(std::string_view name) const;
  // Replaces the value of that name in place, or appends it.
  void SetValue(std::string_view name, uint32_t type, std::vector<uint8_t> data);
  bool RemoveValue(std::string_view name);

  // True when the key had a section of its own in the file, or was created
  // as one; implicit parents of a deeper section are not written back alone.
  bool section = false;

 private:
  std::string name_;
  std::vector<std::unique_ptr<Key>> children_;
  std::unordered_map<std::string, size_t> childIndex_;  // folded name -> position
  std::vector<Value> values_;
  std::unordered_map<std::string, size_t> valueIndex_;  // folded name -> position
};

enum class Dialect { kVersion5, kRegedit4 };
enum class Encoding { kUtf8, kUtf8Bom, kUtf16le };

struct Document {
  // The unnamed root; its children are the root keys named in the file,
  // such as "HKEY_LOCAL_MACHINE".
  Key root;
  Dialect dialect = Dialect::kVersion5;
  Encoding encoding = Encoding::kUtf8;
  bool crlf = false;
};

struct ParseError {
  size_t line = 0;  // 1-based line of the text where reading stopped
  std::string message;
};

// Reads a whole file's bytes. On failure returns false, fills `error`, and
// leaves `out` in an unspecified but destructible state.
bool ParseRegFile(std::string_view bytes, Document& out, ParseError& error);

// The file's bytes for `doc`.
std::string WriteRegFile(const Document& doc);

}  // namespace platform::reg
