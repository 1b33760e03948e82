#include "platform/registry/hive_registry.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/base/text.h"

namespace platform::hive {
namespace {

constexpr const char* kHives[] = {"SAM", "SOFTWARE", "SYSTEM"};
constexpr std::string_view kVersionKey = "Microsoft\\Windows NT\\CurrentVersion";

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entry of `folder` named `name` without regard to case, exact first.
std::string Entry(const std::string& folder, std::string_view name) {
  const std::string exact = folder + "/" + std::string(name);
  struct stat st;
  if (::lstat(exact.c_str(), &st) == 0) return exact;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string found = entry.path().filename().string();
    if (EqualsIgnoreCase(found, name)) return folder + "/" + found;
  }
  return {};
}

std::string HiveIn(const std::string& systemRoot, std::string_view hive) {
  std::string path = Entry(systemRoot, "system32");
  if (!path.empty()) path = Entry(path, "config");
  if (!path.empty()) path = Entry(path, hive);
  return path;
}

std::vector<std::string_view> Split(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const size_t end = path.find('\\');
    if (end != 0) parts.push_back(path.substr(0, end));
    if (end == std::string_view::npos) break;
    path.remove_prefix(end + 1);
  }
  return parts;
}

}  // namespace

bool FindInstallation(const std::string& computerFolder, InstallationPlace& place) {
  // Drive shares, C$ first, then the others in order of their letter.
  std::vector<std::string> shares;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(computerFolder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() == 2 && name[1] == '$' && std::isalpha(static_cast<unsigned char>(name[0])) &&
        IsFolder(entry.path().string())) {
      shares.push_back(name);
    }
  }
  std::sort(shares.begin(), shares.end(), [](const std::string& a, const std::string& b) {
    const char x = FoldAscii(a[0]);
    const char y = FoldAscii(b[0]);
    if ((x == 'c') != (y == 'c')) return x == 'c';
    return x < y;
  });
  auto placeAt = [&](const std::string& share, const std::string& folder) {
    place.hostFolder = folder;
    place.windowsPath = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(share[0])))) +
                        ":\\" + folder.substr(folder.find_last_of('/') + 1);
    return true;
  };
  std::vector<std::pair<std::string, std::string>> usual;  // share, folder
  for (const std::string& share : shares) {
    const std::string root = computerFolder + "/" + share;
    for (const char* name : {"WINDOWS", "WINNT"}) {
      const std::string folder = Entry(root, name);
      if (!folder.empty() && IsFolder(folder)) usual.emplace_back(share, folder);
    }
  }
  for (const auto& [share, folder] : usual) {
    if (IsFile(HiveIn(folder, "SYSTEM"))) return placeAt(share, folder);
  }
  for (const std::string& share : shares) {
    const std::string root = computerFolder + "/" + share;
    for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
      const std::string folder = entry.path().string();
      if (IsFolder(folder) && IsFile(HiveIn(folder, "SYSTEM"))) return placeAt(share, folder);
    }
  }
  if (!usual.empty()) return placeAt(usual.front().first, usual.front().second);
  return false;
}

Installation::Installation(InstallationPlace place) : place_(std::move(place)) {
  for (const char* name : kHives) {
    Mount mount;
    mount.name = name;
    mounts_.push_back(std::move(mount));
  }
}

bool Installation::StillThere() {
  if (!IsFolder(place_.hostFolder)) return false;
  for (Mount& mount : mounts_) mount.checked = false;
  return true;
}

std::string Installation::HivePath(std::string_view hive) const {
  const std::string found = HiveIn(place_.hostFolder, hive);
  return found.empty() ? place_.hostFolder + "/system32/config/" + std::string(hive) : found;
}

LONG Installation::Load(Mount& mount) {
  if (mount.checked) return mount.status;
  mount.checked = true;
  const std::string path = HivePath(mount.name);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    mount.file.reset();
    mount.status = ERROR_FILE_NOT_FOUND;
    mount.hostPath.clear();
    return mount.status;
  }
  if (path == mount.hostPath && st.st_dev == mount.device && st.st_ino == mount.inode &&
      st.st_size == mount.size && st.st_mtim.tv_sec == mount.modified.tv_sec &&
      st.st_mtim.tv_nsec == mount.modified.tv_nsec) {
    return mount.status;
  }
  mount.hostPath = path;
  mount.device = st.st_dev;
  mount.inode = st.st_ino;
  mount.size = st.st_size;
  mount.modified = st.st_mtim;
  mount.status = S_ISREG(st.st_mode) ? HiveFile::Open(path, mount.file) : ERROR_CANTOPEN;
  if (mount.status != ERROR_SUCCESS) mount.file.reset();
  return mount.status;
}

LONG Installation::CurrentControlSet(Mount& system, std::string& name) {
  HiveFile::Node select = 0;
  if (const LONG status = system.file->Find(system.file->Root(), "Select", select); status != ERROR_SUCCESS) {
    return status;
  }
  DWORD type = 0;
  std::vector<uint8_t> data;
  if (const LONG status = system.file->Value(select, "Current", type, data); status != ERROR_SUCCESS) {
    return status;
  }
  if (type != REG_DWORD || data.size() != 4) return ERROR_FILE_NOT_FOUND;
  const uint32_t number = static_cast<uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16)) |
                          (static_cast<uint32_t>(data[3]) << 24);
  char text[24];
  std::snprintf(text, sizeof text, "ControlSet%03u", number);
  name = text;
  return ERROR_SUCCESS;
}

LONG Installation::Locate(std::string_view path, Mount*& mount, std::string& inside) {
  mount = nullptr;
  inside.clear();
  const std::vector<std::string_view> parts = Split(path);
  if (parts.empty()) return ERROR_SUCCESS;
  for (Mount& candidate : mounts_) {
    if (EqualsIgnoreCase(parts[0], candidate.name)) mount = &candidate;
  }
  if (mount == nullptr) return ERROR_FILE_NOT_FOUND;
  if (const LONG status = Load(*mount); status != ERROR_SUCCESS) return status;
  for (size_t i = 1; i < parts.size(); ++i) {
    std::string part(parts[i]);
    if (i == 1 && std::strcmp(mount->name, "SYSTEM") == 0 && EqualsIgnoreCase(part, "CurrentControlSet")) {
      HiveFile::Node ignored = 0;
      if (mount->file->Find(mount->file->Root(), part, ignored) == ERROR_FILE_NOT_FOUND) {
        if (const LONG status = CurrentControlSet(*mount, part); status != ERROR_SUCCESS) return status;
      }
    }
    if (!inside.empty()) inside += '\\';
    inside += part;
  }
  return ERROR_SUCCESS;
}

LONG Installation::OpenKey(std::string_view path) {
  Mount* mount = nullptr;
  std::string inside;
  if (const LONG status = Locate(path, mount, inside); status != ERROR_SUCCESS || mount == nullptr) {
    return status;
  }
  HiveFile::Node node = 0;
  return mount->file->Find(mount->file->Root(), inside, node);
}

LONG Installation::EnumKey(std::string_view path, size_t index, std::string& name) {
  Mount* mount = nullptr;
  std::string inside;
  if (const LONG status = Locate(path, mount, inside); status != ERROR_SUCCESS) return status;
  if (mount == nullptr) {
    // HKEY_LOCAL_MACHINE: the hives that are there.
    for (Mount& candidate : mounts_) {
      if (Load(candidate) == ERROR_FILE_NOT_FOUND) continue;
      if (index-- == 0) {
        name = candidate.name;
        return ERROR_SUCCESS;
      }
    }
    return ERROR_NO_MORE_ITEMS;
  }
  HiveFile& file = *mount->file;
  HiveFile::Node node = 0;
  if (const LONG status = file.Find(file.Root(), inside, node); status != ERROR_SUCCESS) return status;
  const LONG status = file.ChildName(node, index, name);
  // SYSTEM lists CurrentControlSet after its own keys, as a running Windows does.
  if (status == ERROR_NO_MORE_ITEMS && inside.empty() && std::strcmp(mount->name, "SYSTEM") == 0) {
    std::string last;
    HiveFile::Node existing = 0;
    const bool own = file.Find(file.Root(), "CurrentControlSet", existing) == ERROR_SUCCESS;
    if (!own && CurrentControlSet(*mount, last) == ERROR_SUCCESS &&
        file.Find(file.Root(), last, existing) == ERROR_SUCCESS) {
      size_t count = 0;
      for (std::string ignored; file.ChildName(node, count, ignored) == ERROR_SUCCESS;) ++count;
      if (index == count) {
        name = "CurrentControlSet";
        return ERROR_SUCCESS;
      }
    }
  }
  return status;
}

LONG Installation::QueryValue(std::string_view path, std::string_view name, DWORD& type,
                              std::vector<uint8_t>& data) {
  Mount* mount = nullptr;
  std::string inside;
  if (const LONG status = Locate(path, mount, inside); status != ERROR_SUCCESS) return status;
  if (mount == nullptr) return ERROR_FILE_NOT_FOUND;  // HKEY_LOCAL_MACHINE holds no values
  HiveFile& file = *mount->file;
  HiveFile::Node node = 0;
  if (const LONG status = file.Find(file.Root(), inside, node); status != ERROR_SUCCESS) return status;
  const LONG status = file.Value(node, name, type, data);
  if (status == ERROR_FILE_NOT_FOUND && std::strcmp(mount->name, "SOFTWARE") == 0 &&
      EqualsIgnoreCase(name, "SystemRoot") && EqualsIgnoreCase(inside, kVersionKey)) {
    type = REG_SZ;
    data.assign(place_.windowsPath.begin(), place_.windowsPath.end());
    data.push_back(0);
    return ERROR_SUCCESS;
  }
  return status;
}

}  // namespace platform::hive
