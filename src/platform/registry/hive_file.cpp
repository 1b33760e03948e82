#include "platform/registry/hive_file.h"

#include <hivex.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/base/text.h"

namespace platform::hive {
namespace {

struct Freed {
  void operator()(void* p) const { std::free(p); }
};

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

}  // namespace

LONG HiveFile::Open(const std::string& hostPath, std::unique_ptr<HiveFile>& out) {
  out.reset();
  errno = 0;
  hive_h* handle = hivex_open(hostPath.c_str(), 0);
  if (handle == nullptr) {
    if (errno == ENOENT || errno == ENOTDIR) return ERROR_FILE_NOT_FOUND;
    if (errno == EACCES || errno == EPERM || errno == EISDIR) return ERROR_CANTOPEN;
    return ERROR_BADDB;
  }
  out.reset(new HiveFile(handle));
  out->root_ = hivex_root(handle);
  if (out->root_ == 0) {
    out.reset();
    return ERROR_BADDB;
  }
  return ERROR_SUCCESS;
}

HiveFile::HiveFile(hive_h* handle) : handle_(handle) {}

HiveFile::~HiveFile() { hivex_close(handle_); }

LONG HiveFile::ChildrenOf(Node node, const Children*& children) {
  if (auto it = children_.find(node); it != children_.end()) {
    children = &it->second;
    return ERROR_SUCCESS;
  }
  errno = 0;
  std::unique_ptr<hive_node_h, Freed> list(hivex_node_children(handle_, node));
  if (list == nullptr) return ERROR_BADDB;
  Children found;
  for (const hive_node_h* child = list.get(); *child != 0; ++child) {
    std::unique_ptr<char, Freed> name(hivex_node_name(handle_, *child));
    if (name == nullptr) return ERROR_BADDB;
    std::string text(name.get());
    found.byFoldedName.emplace(FoldCase(text), found.names.size());  // the first of a name wins
    found.names.push_back(std::move(text));
    found.nodes.push_back(*child);
  }
  children = &children_.emplace(node, std::move(found)).first->second;
  return ERROR_SUCCESS;
}

LONG HiveFile::Find(Node from, std::string_view path, Node& found) {
  Node node = from;
  while (!path.empty()) {
    const size_t end = path.find('\\');
    const std::string_view name = path.substr(0, end);
    path = end == std::string_view::npos ? std::string_view() : path.substr(end + 1);
    if (name.empty()) continue;
    const Children* children = nullptr;
    if (const LONG status = ChildrenOf(node, children); status != ERROR_SUCCESS) return status;
    const auto it = children->byFoldedName.find(FoldCase(name));
    if (it == children->byFoldedName.end()) return ERROR_FILE_NOT_FOUND;
    node = children->nodes[it->second];
  }
  found = node;
  return ERROR_SUCCESS;
}

LONG HiveFile::ChildName(Node parent, size_t index, std::string& name) {
  const Children* children = nullptr;
  if (const LONG status = ChildrenOf(parent, children); status != ERROR_SUCCESS) return status;
  if (index >= children->names.size()) return ERROR_NO_MORE_ITEMS;
  name = children->names[index];
  return ERROR_SUCCESS;
}

LONG HiveFile::Value(Node node, std::string_view name, DWORD& type, std::vector<uint8_t>& data) {
  // libhivex takes a C string: a name with a NUL in it names no value.
  if (name.find('\0') != std::string_view::npos) return ERROR_FILE_NOT_FOUND;
  errno = 0;
  const hive_value_h value = hivex_node_get_value(handle_, node, std::string(name).c_str());
  if (value == 0) return errno == 0 ? ERROR_FILE_NOT_FOUND : ERROR_BADDB;
  hive_type stored = hive_t_REG_NONE;
  size_t length = 0;
  std::unique_ptr<char, Freed> bytes(hivex_value_value(handle_, value, &stored, &length));
  if (bytes == nullptr && length != 0) return ERROR_BADDB;
  if (bytes == nullptr && errno != 0) return ERROR_BADDB;
  // The SAM keeps numbers beyond the enumeration in the type (an account's
  // identifier): read the stored bits, not the enumeration.
  static_assert(sizeof stored == sizeof type);
  std::memcpy(&type, &stored, sizeof type);
  const auto* raw = reinterpret_cast<const uint8_t*>(bytes.get());
  if (IsStringType(type)) {
    const std::string text = Utf16leToUtf8(raw, length);
    data.assign(text.begin(), text.end());
  } else {
    data.assign(raw, raw + (raw != nullptr ? length : 0));
  }
  return ERROR_SUCCESS;
}

}  // namespace platform::hive
