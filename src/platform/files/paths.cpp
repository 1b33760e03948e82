#include "platform/files/paths.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/base/environment.h"
#include "platform/base/text.h"

namespace platform {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string Join(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  if (folder.back() == '/') return folder + std::string(name);
  return folder + "/" + std::string(name);
}

// The entry of `folder` that is `name` ignoring case; `name` itself when it
// exists or when nothing matches. Sorted scan, so the pick is stable when a
// case-sensitive host holds two spellings.
std::string MatchComponent(const std::string& folder, std::string_view name, bool* exists = nullptr) {
  bool found = true;
  bool& matched = exists != nullptr ? *exists : found;
  matched = true;
  const std::string exact = Join(folder, name);
  if (Exists(exact)) return std::string(name);
  matched = false;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return std::string(name);
  std::string best;
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view candidate(entry->d_name);
    if (EqualsIgnoreCase(candidate, name) && (best.empty() || candidate < best)) {
      best = std::string(candidate);
    }
  }
  ::closedir(dir);
  matched = !best.empty();
  return matched ? best : std::string(name);
}

std::vector<std::string_view> SplitComponents(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// Resolves `components` below `root`. Components below the root may not
// climb above it; `keepLeadingParents` lets a relative host path start with
// "..", as a Linux user writes it.
std::string Resolve(std::string root, const std::vector<std::string_view>& components,
                    bool keepLeadingParents) {
  std::vector<std::string_view> kept;
  for (std::string_view part : components) {
    if (part == ".") continue;
    if (part == "..") {
      if (!kept.empty() && kept.back() != "..") {
        kept.pop_back();
      } else if (keepLeadingParents) {
        kept.push_back(part);
      }
      continue;
    }
    kept.push_back(part);
  }
  std::string result = std::move(root);
  if (result.empty() && kept.empty()) return ".";
  bool matching = true;
  for (std::string_view part : kept) {
    if (part == "..") {
      result = Join(result, part);
      continue;
    }
    // Once a component matched nothing, nothing below it can exist either.
    bool exists = false;
    std::string name = matching ? MatchComponent(result, part, &exists) : std::string(part);
    if (!exists) matching = false;
    result = Join(result, name);
  }
  return result;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return ".";
}

}  // namespace

const PathRoots& CurrentRoots() {
  // Asked several times a record: the variables are read again only when the
  // environment has changed since this thread's last call, and the folders
  // built again only when a variable has another value. HOME counts only
  // while CORVID_HOME is unset.
  static std::atomic<uint64_t> generations{0};
  thread_local PathRoots roots;
  thread_local std::string seen[3];
  thread_local uint64_t stamp = 0;
  thread_local bool known = false;
  const uint64_t now = EnvironmentStamp();
  if (known && now == stamp) return roots;
  stamp = now;
  const char* values[3] = {std::getenv("CORVID_HOME"), std::getenv("CORVID_NETWORK"), nullptr};
  for (const char*& value : values) {
    if (value != nullptr && *value == '\0') value = nullptr;
  }
  if (values[0] == nullptr) values[2] = std::getenv("HOME");
  bool same = known;
  for (int i = 0; i < 3 && same; ++i) same = values[i] == nullptr ? seen[i].empty() : seen[i] == values[i];
  if (same) return roots;
  for (int i = 0; i < 3; ++i) seen[i] = values[i] != nullptr ? values[i] : "";
  roots.machineFolder = values[0] != nullptr ? seen[0] : HomeFolder() + "/.corvid";
  roots.networkRoot = values[1] != nullptr ? seen[1] : roots.machineFolder + "/network";
  roots.live = seen[1] == "smb:";
  roots.generation = ++generations;
  known = true;
  return roots;
}

std::string MachineFolder() { return CurrentRoots().machineFolder; }

std::string NetworkRoot() { return CurrentRoots().networkRoot; }

std::string MapPath(std::string_view path) {
  if (path.empty()) return std::string();
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // \\NAME\SHARE\rest: the computer and its share form the root.
    std::vector<std::string_view> parts = SplitComponents(path);
    std::string root = NetworkRoot();
    size_t used = 0;
    for (; used < parts.size() && used < 2; ++used) {
      if (parts[used] == "." || parts[used] == "..") break;
      root = Join(root, MatchComponent(root, parts[used]));
    }
    return Resolve(root, {parts.begin() + static_cast<ptrdiff_t>(used), parts.end()}, false);
  }
  const unsigned char first = static_cast<unsigned char>(path[0]);
  if (path.size() >= 2 && path[1] == ':' && ((first | 0x20) >= 'a' && (first | 0x20) <= 'z')) {
    const std::string drives = MachineFolder() + "/drives";
    const char letter[2] = {FoldAscii(path[0]), '\0'};
    const std::string root = Join(drives, MatchComponent(drives, letter));
    return Resolve(root, SplitComponents(path.substr(2)), false);
  }
  if (IsSeparator(path[0])) return Resolve("/", SplitComponents(path), false);
  return Resolve("", SplitComponents(path), true);
}

std::string WindowsPath(std::string_view hostPath) {
  namespace fs = std::filesystem;
  if (hostPath.empty()) return std::string();
  std::error_code error;
  const fs::path path = fs::absolute(fs::path(hostPath), error).lexically_normal();
  if (error) return std::string(hostPath);
  // The components of `path` below `root`, when it lies there.
  auto below = [&path](const std::string& root, std::vector<std::string>& parts) {
    std::error_code ignored;
    const fs::path base = fs::absolute(fs::path(root), ignored).lexically_normal();
    auto p = path.begin();
    for (auto b = base.begin(); b != base.end(); ++b, ++p) {
      if (b->empty()) continue;  // the trailing "/" of a folder
      if (p == path.end() || *p != *b) return false;
    }
    for (; p != path.end(); ++p)
      if (!p->empty()) parts.push_back(p->string());
    return true;
  };
  auto join = [](std::string head, const std::vector<std::string>& parts, size_t from) {
    for (size_t i = from; i < parts.size(); ++i) head += "\\" + parts[i];
    return head;
  };
  std::vector<std::string> parts;
  if (below(MachineFolder() + "/drives", parts) && !parts.empty() && parts[0].size() == 1 &&
      std::isalpha(static_cast<unsigned char>(parts[0][0]))) {
    std::string drive = {static_cast<char>(std::toupper(static_cast<unsigned char>(parts[0][0]))), ':'};
    return parts.size() == 1 ? drive + "\\" : join(drive, parts, 1);
  }
  parts.clear();
  if (below(NetworkRoot(), parts) && parts.size() >= 2) return join("\\\\" + parts[0], parts, 1);
  return std::string(hostPath);
}

std::FILE* OpenMappedFile(std::string_view path, const char* mode) {
  const std::string host = MapPath(path);
  if (host.empty()) return nullptr;
  std::FILE* file = std::fopen(host.c_str(), mode);
  // Linux opens a folder for reading; Windows, whose behaviour callers
  // expect, does not.
  struct stat st;
  if (file != nullptr && (::fstat(::fileno(file), &st) != 0 || S_ISDIR(st.st_mode))) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

}  // namespace platform
