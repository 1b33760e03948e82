// One registry hive file (the regf files of %SystemRoot%\system32\config),
// read-only through libhivex.
//
// Names compare case-insensitively. Values come as the "A" calls see them:
// string types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) as UTF-8 with their
// terminators, every other type as raw bytes. Whatever the file holds, a
// call answers with a code and never reads outside the file:
//   ERROR_FILE_NOT_FOUND  no such key or value
//   ERROR_NO_MORE_ITEMS   past the last subkey
//   ERROR_BADDB           the file, or the part of it asked for, is no hive
//   ERROR_CANTOPEN        the file cannot be opened
// Not safe for concurrent use: the owner serialises calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/base/win32.h"

struct hive_h;

namespace platform::hive {

class HiveFile {
 public:
  using Node = size_t;

  static LONG Open(const std::string& hostPath, std::unique_ptr<HiveFile>& out);
  ~HiveFile();
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;

  Node Root() const { return root_; }
  // Follows names separated by backslashes; empty names are skipped.
  LONG Find(Node from, std::string_view path, Node& found);
  LONG ChildName(Node parent, size_t index, std::string& name);
  // `name` "" is the default value.
  LONG Value(Node node, std::string_view name, DWORD& type, std::vector<uint8_t>& data);

 private:
  struct Children {
    std::vector<std::string> names;
    std::vector<Node> nodes;
    std::unordered_map<std::string, size_t> byFoldedName;
  };
  explicit HiveFile(hive_h* handle);
  LONG ChildrenOf(Node node, const Children*& children);

  hive_h* handle_;
  Node root_ = 0;
  // Subkeys of the keys visited so far: a gather walks the same few keys for
  // every source, and libhivex decodes every sibling's name on each lookup.
  std::unordered_map<Node, Children> children_;
};

}  // namespace platform::hive
