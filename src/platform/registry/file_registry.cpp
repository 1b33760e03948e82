// The real registry service: registry files in the regedit text format, and
// the hive files of another computer's Windows installation.
//
// This computer's HKEY_LOCAL_MACHINE is <machine>/registry.reg; another
// computer's is <network>/NAME/registry.reg or, without one, the hives of
// the installation on its shares (hive_registry.h); neither is ever written.
// A file is parsed once and parsed again only when it changes on disk (another program,
// such as the data source companion, may write it while we run). A write
// re-reads the file under a lock on the machine folder, applies the one
// change, and replaces the file atomically: temp file, fsync, rename, so a
// crash leaves the old registry or the new one, never half of either.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "platform/base/text.h"
#include "platform/files/atomic_file.h"
#include "platform/files/paths.h"
#include "platform/registry/hive_registry.h"
#include "platform/smb/smb_network.h"
#include "platform/registry/live_registry.h"
#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"

namespace platform {
namespace {

constexpr const char kRootName[] = "HKEY_LOCAL_MACHINE";

std::mutex errorMutex;
std::string lastFileError;

void RecordFileError(const std::string& text) {
  std::lock_guard<std::mutex> lock(errorMutex);
  lastFileError = text;
}

struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};

  bool operator==(const FileStamp& o) const {
    return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modified = st.st_mtim;
  }
  return stamp;
}

// Holds an exclusive lock on a folder for the scope, so that two processes
// writing the same registry file apply their changes one after the other.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};

// One registry file. The owning service's mutex guards every member.
class Hive {
 public:
  Hive(std::string path, bool writable) : path_(std::move(path)), writable_(writable) {}

  bool writable() const { return writable_; }
  const std::string& path() const { return path_; }

  // Brings the parsed tree up to date with the file. ERROR_SUCCESS with no
  // document means the file does not exist: an empty registry.
  LONG Refresh() {
    const FileStamp stamp = StampOf(path_);
    if (loaded_ && stamp == stamp_) return status_;
    loaded_ = true;
    stamp_ = stamp;
    doc_.reset();
    status_ = ERROR_SUCCESS;
    if (!stamp.exists) return status_;
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
      status_ = ERROR_CANTOPEN;
      return status_;
    }
    std::stringstream bytes;
    bytes << in.rdbuf();
    auto doc = std::make_unique<reg::Document>();
    reg::ParseError error;
    if (!reg::ParseRegFile(bytes.str(), *doc, error)) {
      RecordFileError(path_ + ": line " + std::to_string(error.line) + ": " + error.message);
      status_ = ERROR_BADDB;
      return status_;
    }
    doc_ = std::move(doc);
    return status_;
  }

  reg::Document* document() { return doc_.get(); }

  // A new, empty document for a file that does not exist yet (installer).
  reg::Document& EnsureDocument() {
    if (!doc_) doc_ = std::make_unique<reg::Document>();
    return *doc_;
  }

  // Replaces the file with the current tree. On failure the tree is thrown
  // away, so the next call reads the untouched file again.
  LONG Save() {
    // Secret: the settings may hold the database password.
    if (!ReplaceFileAtomically(path_, reg::WriteRegFile(*doc_), true)) {
      loaded_ = false;
      return ERROR_CANTWRITE;
    }
    stamp_ = StampOf(path_);
    return ERROR_SUCCESS;
  }

 private:
  std::string path_;
  bool writable_;
  bool loaded_ = false;
  FileStamp stamp_;
  LONG status_ = ERROR_SUCCESS;
  std::unique_ptr<reg::Document> doc_;
};

// A key of a registry file, or of an installation's hives.
struct KeyHandle {
  std::shared_ptr<Hive> hive;
  std::string path;  // from the document's root, e.g. HKEY_LOCAL_MACHINE\SOFTWARE
  REGSAM access;
  std::shared_ptr<hive::Installation> installation;  // then `path` is below HKEY_LOCAL_MACHINE
};

std::string JoinKeyPath(const std::string& base, const char* sub) {
  if (sub == nullptr || *sub == '\0') return base;
  return base + "\\" + sub;
}

bool IsLocalName(const char* machineName) {
  if (machineName == nullptr) return true;
  std::string_view name(machineName);
  while (!name.empty() && name.front() == '\\') name.remove_prefix(1);
  return name.empty();
}

class FileRegistry final : public RegistryService {
 public:
  LONG ConnectRegistry(const char* machineName, HKEY root, PHKEY result) override {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    if (root != HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Hive> hive;
    if (IsLocalName(machineName)) {
      hive = HiveAt(MachineFolder() + "/registry.reg", true);
    } else {
      std::string_view name(machineName);
      while (!name.empty() && name.front() == '\\') name.remove_prefix(1);
      // A computer is reachable exactly when its folder exists; one whose
      // registry file is missing answers as a machine without the remote
      // registry service does.
      const std::string folder = MapPath("\\\\" + std::string(name));
      struct stat st;
      if (name.find_first_of("\\/") != std::string_view::npos || name == "." || name == ".." ||
          ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return ERROR_BAD_NETPATH;
      }
      const std::string file = MapPath("\\\\" + std::string(name) + "\\registry.reg");
      if (::stat(file.c_str(), &st) != 0) {
        auto installation = InstallationAt(folder);
        if (installation == nullptr) return ERROR_BAD_NETPATH;
        *result = NewHandle(nullptr, "", KEY_ALL_ACCESS, std::move(installation));
        return ERROR_SUCCESS;
      }
      hive = HiveAt(file, false);
    }
    *result = NewHandle(std::move(hive), kRootName, KEY_ALL_ACCESS);
    return ERROR_SUCCESS;
  }

  LONG OpenKeyEx(HKEY key, const char* subKey, DWORD, REGSAM access, PHKEY result) override {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    const KeyHandle* base = Lookup(key);
    if (base == nullptr) return ERROR_INVALID_HANDLE;
    if ((base->hive == nullptr || !base->hive->writable()) &&
        (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0) {
      return ERROR_ACCESS_DENIED;
    }
    if (base->installation != nullptr) {
      const std::string path =
          base->path.empty() ? std::string(subKey != nullptr ? subKey : "") : JoinKeyPath(base->path, subKey);
      if (const LONG status = base->installation->OpenKey(path); status != ERROR_SUCCESS) return status;
      *result = NewHandle(nullptr, path, access, base->installation);
      return ERROR_SUCCESS;
    }
    const std::string path = JoinKeyPath(base->path, subKey);
    reg::Key* found = nullptr;
    if (const LONG status = Resolve(*base->hive, path, found); status != ERROR_SUCCESS) {
      return status;
    }
    *result = NewHandle(base->hive, path, access);
    return ERROR_SUCCESS;
  }

  LONG CreateKeyEx(HKEY key, const char* subKey, DWORD, char*, DWORD, REGSAM access, void*,
                   PHKEY result, LPDWORD disposition) override {
    if (result == nullptr || subKey == nullptr) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    const KeyHandle* base = Lookup(key);
    if (base == nullptr) return ERROR_INVALID_HANDLE;
    if (base->hive == nullptr || !base->hive->writable()) return ERROR_ACCESS_DENIED;
    Hive& hive = *base->hive;
    const std::string path = JoinKeyPath(base->path, subKey);
    FolderLock folderLock(MachineFolder());
    if (const LONG status = hive.Refresh(); status != ERROR_SUCCESS) return status;
    reg::Document& doc = hive.EnsureDocument();
    const reg::Key* existing = doc.root.Find(path);
    if (existing == nullptr || !existing->section) {
      doc.root.Create(path);
      if (const LONG status = hive.Save(); status != ERROR_SUCCESS) return status;
    }
    if (disposition != nullptr) {
      *disposition = existing != nullptr ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    }
    *result = NewHandle(base->hive, path, access);
    return ERROR_SUCCESS;
  }

  LONG QueryValueEx(HKEY key, const char* valueName, LPDWORD, LPDWORD type, BYTE* data,
                    LPDWORD dataSize) override {
    if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    const KeyHandle* handle = Lookup(key);
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    if ((handle->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    if (handle->installation != nullptr) {
      DWORD valueType = 0;
      std::vector<uint8_t> bytes;
      if (const LONG status = handle->installation->QueryValue(
              handle->path, valueName != nullptr ? valueName : "", valueType, bytes);
          status != ERROR_SUCCESS) {
        return status;
      }
      return Give(valueType, bytes, type, data, dataSize);
    }
    reg::Key* found = nullptr;
    if (const LONG status = Resolve(*handle->hive, handle->path, found); status != ERROR_SUCCESS) {
      return status == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DELETED : status;
    }
    const reg::Value* value = found->FindValue(valueName != nullptr ? valueName : "");
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    return Give(value->type, value->data, type, data, dataSize);
  }

  static LONG Give(DWORD valueType, const std::vector<uint8_t>& bytes, LPDWORD type, BYTE* data,
                   LPDWORD dataSize) {
    if (type != nullptr) *type = valueType;
    const auto size = static_cast<DWORD>(bytes.size());
    if (dataSize == nullptr) return ERROR_SUCCESS;
    if (data == nullptr) {
      *dataSize = size;
      return ERROR_SUCCESS;
    }
    if (*dataSize < size) {
      *dataSize = size;
      return ERROR_MORE_DATA;
    }
    if (size > 0) std::memcpy(data, bytes.data(), size);
    *dataSize = size;
    return ERROR_SUCCESS;
  }

  LONG SetValueEx(HKEY key, const char* valueName, DWORD, DWORD type, const BYTE* data,
                  DWORD dataSize) override {
    if (data == nullptr && dataSize != 0) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    const KeyHandle* handle = Lookup(key);
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    if ((handle->access & KEY_SET_VALUE) == 0 || handle->hive == nullptr || !handle->hive->writable()) {
      return ERROR_ACCESS_DENIED;
    }
    FolderLock folderLock(MachineFolder());
    reg::Key* found = nullptr;
    if (const LONG status = Resolve(*handle->hive, handle->path, found); status != ERROR_SUCCESS) {
      return status == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DELETED : status;
    }
    found->SetValue(valueName != nullptr ? valueName : "", type,
                    std::vector<uint8_t>(data, data + dataSize));
    return handle->hive->Save();
  }

  LONG EnumKeyEx(HKEY key, DWORD index, char* name, LPDWORD nameSize, LPDWORD, char* keyClass,
                 LPDWORD classSize, FILETIME* lastWriteTime) override {
    if (name == nullptr || nameSize == nullptr) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    const KeyHandle* handle = Lookup(key);
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    if ((handle->access & KEY_ENUMERATE_SUB_KEYS) == 0) return ERROR_ACCESS_DENIED;
    std::string child;
    if (handle->installation != nullptr) {
      if (const LONG status = handle->installation->EnumKey(handle->path, index, child);
          status != ERROR_SUCCESS) {
        return status;
      }
    } else {
      reg::Key* found = nullptr;
      if (const LONG status = Resolve(*handle->hive, handle->path, found); status != ERROR_SUCCESS) {
        return status == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DELETED : status;
      }
      if (index >= found->children().size()) return ERROR_NO_MORE_ITEMS;
      child = found->children()[index]->name();
    }
    return GiveKeyName(child, name, nameSize, keyClass, classSize, lastWriteTime);
  }

  LONG CloseKey(HKEY key) override {
    if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(mutex_);
    auto* handle = reinterpret_cast<KeyHandle*>(key);
    auto it = handles_.find(handle);
    if (it == handles_.end()) return ERROR_INVALID_HANDLE;
    handles_.erase(it);
    delete handle;
    return ERROR_SUCCESS;
  }

 private:
  std::shared_ptr<Hive> HiveAt(const std::string& path, bool writable) {
    auto& slot = hives_[path];
    if (!slot) slot = std::make_shared<Hive>(path, writable);
    return slot;
  }

  // A computer's installation is found once and its hives opened once, for
  // as long as it stays where it was: a big SOFTWARE hive takes a while.
  std::shared_ptr<hive::Installation> InstallationAt(const std::string& computerFolder) {
    if (auto it = installations_.find(computerFolder); it != installations_.end()) {
      if (it->second->StillThere()) return it->second;
      installations_.erase(it);
    }
    hive::InstallationPlace place;
    if (!hive::FindInstallation(computerFolder, place)) return nullptr;
    // Each one holds its hive files open; let go of those no key uses.
    if (installations_.size() >= kOpenInstallations) {
      std::erase_if(installations_, [](const auto& entry) { return entry.second.use_count() == 1; });
    }
    auto installation = std::make_shared<hive::Installation>(std::move(place));
    installations_[computerFolder] = installation;
    return installation;
  }

  HKEY NewHandle(std::shared_ptr<Hive> hive, std::string path, REGSAM access,
                 std::shared_ptr<hive::Installation> installation = nullptr) {
    auto* handle = new KeyHandle{std::move(hive), std::move(path), access, std::move(installation)};
    handles_.insert(handle);
    return reinterpret_cast<HKEY>(handle);
  }

  // The handle behind `key`; HKEY_LOCAL_MACHINE is this computer's root,
  // found anew each time so that a changed machine folder is honoured.
  const KeyHandle* Lookup(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) {
      localRoot_ = KeyHandle{HiveAt(MachineFolder() + "/registry.reg", true), kRootName,
                             KEY_ALL_ACCESS, nullptr};
      return &localRoot_;
    }
    auto* handle = reinterpret_cast<KeyHandle*>(key);
    return handles_.count(handle) != 0 ? handle : nullptr;
  }

  static LONG Resolve(Hive& hive, const std::string& path, reg::Key*& found) {
    if (const LONG status = hive.Refresh(); status != ERROR_SUCCESS) return status;
    reg::Document* doc = hive.document();
    found = doc != nullptr ? doc->root.Find(path) : nullptr;
    return found != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  }

  std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<Hive>> hives_;
  std::unordered_set<KeyHandle*> handles_;
  KeyHandle localRoot_;
  static constexpr size_t kOpenInstallations = 64;
  std::unordered_map<std::string, std::shared_ptr<hive::Installation>> installations_;
};

// The network setting picks where another computer's registry is: its
// folder's registry.reg, or the live computer over SMB. This computer's is
// its registry file either way.
class NetworkRegistry final : public RegistryService {
 public:
  LONG ConnectRegistry(const char* machineName, HKEY root, PHKEY result) override {
    if (!IsLocalName(machineName) && smb::LiveNetwork()) {
      return LiveRegistryService().ConnectRegistry(machineName, root, result);
    }
    return folder_.ConnectRegistry(machineName, root, result);
  }
  LONG OpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM access, PHKEY result) override {
    return For(key).OpenKeyEx(key, subKey, options, access, result);
  }
  LONG CreateKeyEx(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options, REGSAM access,
                   void* security, PHKEY result, LPDWORD disposition) override {
    return For(key).CreateKeyEx(key, subKey, reserved, keyClass, options, access, security, result, disposition);
  }
  LONG QueryValueEx(HKEY key, const char* valueName, LPDWORD reserved, LPDWORD type, BYTE* data,
                    LPDWORD dataSize) override {
    return For(key).QueryValueEx(key, valueName, reserved, type, data, dataSize);
  }
  LONG SetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                  DWORD dataSize) override {
    return For(key).SetValueEx(key, valueName, reserved, type, data, dataSize);
  }
  LONG EnumKeyEx(HKEY key, DWORD index, char* name, LPDWORD nameSize, LPDWORD reserved, char* keyClass,
                 LPDWORD classSize, FILETIME* lastWriteTime) override {
    return For(key).EnumKeyEx(key, index, name, nameSize, reserved, keyClass, classSize, lastWriteTime);
  }
  LONG CloseKey(HKEY key) override { return For(key).CloseKey(key); }

 private:
  RegistryService& For(HKEY key) {
    return IsLiveRegistryKey(key) ? LiveRegistryService() : static_cast<RegistryService&>(folder_);
  }

  FileRegistry folder_;
};

}  // namespace

RegistryService& RegistryService::Default() {
  static NetworkRegistry* registry = new NetworkRegistry();  // lives as long as the process
  return *registry;
}

LONG GiveKeyName(const std::string& child, char* name, LPDWORD nameSize, char* keyClass, LPDWORD classSize,
                 FILETIME* lastWriteTime) {
  if (*nameSize <= child.size()) return ERROR_MORE_DATA;
  std::memcpy(name, child.data(), child.size());
  name[child.size()] = '\0';
  *nameSize = static_cast<DWORD>(child.size());
  if (keyClass != nullptr && classSize != nullptr && *classSize > 0) {
    keyClass[0] = '\0';
    *classSize = 0;
  }
  if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

std::string RegistryFileOf(const std::string& computer, std::string_view topKey) {
  if (computer.empty()) return MachineFolder() + "/registry.reg";
  const std::string file = MapPath("\\\\" + computer + "\\registry.reg");
  struct stat st;
  hive::InstallationPlace place;
  if (::stat(file.c_str(), &st) == 0 || !hive::FindInstallation(MapPath("\\\\" + computer), place)) {
    return file;
  }
  // Without the hive, its folder: it changes when the hive arrives.
  std::string hive = hive::Installation(place).HivePath(topKey);
  while (::stat(hive.c_str(), &st) != 0 && hive.size() > place.hostFolder.size()) {
    hive.resize(hive.find_last_of('/'));
  }
  return hive;
}

std::string LastRegistryFileError() {
  std::lock_guard<std::mutex> lock(errorMutex);
  return lastFileError;
}

}  // namespace platform

using platform::RegistryService;
using platform::Slot;

LONG RegConnectRegistryA(const char* machineName, HKEY root, PHKEY result) {
  return Slot<RegistryService>::Current().ConnectRegistry(machineName, root, result);
}
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, PHKEY result) {
  return Slot<RegistryService>::Current().OpenKeyEx(key, subKey, options, access, result);
}
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                     REGSAM access, void* security, PHKEY result, LPDWORD disposition) {
  return Slot<RegistryService>::Current().CreateKeyEx(key, subKey, reserved, keyClass, options,
                                                      access, security, result, disposition);
}
LONG RegQueryValueExA(HKEY key, const char* valueName, LPDWORD reserved, LPDWORD type, BYTE* data,
                      LPDWORD dataSize) {
  return Slot<RegistryService>::Current().QueryValueEx(key, valueName, reserved, type, data,
                                                       dataSize);
}
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  return Slot<RegistryService>::Current().SetValueEx(key, valueName, reserved, type, data,
                                                     dataSize);
}
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, LPDWORD nameSize, LPDWORD reserved,
                   char* keyClass, LPDWORD classSize, FILETIME* lastWriteTime) {
  return Slot<RegistryService>::Current().EnumKeyEx(key, index, name, nameSize, reserved,
                                                    keyClass, classSize, lastWriteTime);
}
LONG RegCloseKey(HKEY key) { return Slot<RegistryService>::Current().CloseKey(key); }
