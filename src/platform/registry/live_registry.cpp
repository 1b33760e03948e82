#include "platform/registry/live_registry.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/base/text.h"
#include "platform/registry/rrp_rpc.h"
#include "platform/smb/smb_network.h"

namespace platform {
namespace {

// Read access as the server knows it: the program only reads others'
// registries.
constexpr uint32_t kReadAccess = KEY_READ;

// One RPC connection to a computer's registry, shared by its keys.
class Link {
 public:
  explicit Link(std::unique_ptr<rpc::Connection> connection) : connection_(std::move(connection)) {}
  DWORD Call(uint16_t opnum, const std::vector<uint8_t>& stub, std::vector<uint8_t>& answer) {
    std::lock_guard<std::mutex> guard(mutex_);
    return connection_->Call(opnum, stub, answer);
  }

 private:
  std::mutex mutex_;
  std::unique_ptr<rpc::Connection> connection_;
};

struct LiveKey {
  std::shared_ptr<Link> link;
  rpc::ContextHandle handle;
};

// Texts come as UTF-16 and go out as the single-byte calls give them.
std::vector<uint8_t> AsSingleByte(uint32_t type, const std::vector<uint8_t>& data) {
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return data;
  const std::string text = Utf16leToUtf8(data.data(), data.size());
  return std::vector<uint8_t>(text.begin(), text.end());
}

class LiveRegistry final : public RegistryService {
 public:
  LONG ConnectRegistry(const char* machineName, HKEY root, PHKEY result) override {
    if (result == nullptr || machineName == nullptr) return ERROR_INVALID_PARAMETER;
    if (root != HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
    std::string_view name(machineName);
    while (!name.empty() && name.front() == '\\') name.remove_prefix(1);
    std::unique_ptr<rpc::Transport> pipe;
    if (const DWORD status = smb::OpenPipe(std::string(name), "winreg", pipe); status != ERROR_SUCCESS) {
      return static_cast<LONG>(status);
    }
    auto connection = std::make_unique<rpc::Connection>(std::move(pipe));
    if (const DWORD status = connection->Bind(rrp::Interface()); status != ERROR_SUCCESS) {
      return static_cast<LONG>(status);
    }
    auto key = std::make_unique<LiveKey>();
    key->link = std::make_shared<Link>(std::move(connection));
    std::vector<uint8_t> answer;
    DWORD status = key->link->Call(rrp::kOpenLocalMachine, rrp::OpenLocalMachineRequest(kReadAccess), answer);
    if (status == ERROR_SUCCESS) status = rrp::ParseKeyAnswer(answer, key->handle);
    if (status != ERROR_SUCCESS) return static_cast<LONG>(status);
    *result = Keep(std::move(key));
    return ERROR_SUCCESS;
  }

  LONG OpenKeyEx(HKEY key, const char* subKey, DWORD, REGSAM access, PHKEY result) override {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    LiveKey* base = Lookup(key);
    if (base == nullptr) return ERROR_INVALID_HANDLE;
    if ((access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0) return ERROR_ACCESS_DENIED;
    auto opened = std::make_unique<LiveKey>();
    opened->link = base->link;
    std::vector<uint8_t> answer;
    DWORD status = base->link->Call(
        rrp::kOpenKey, rrp::OpenKeyRequest(base->handle, subKey != nullptr ? subKey : "", kReadAccess), answer);
    if (status == ERROR_SUCCESS) status = rrp::ParseKeyAnswer(answer, opened->handle);
    if (status != ERROR_SUCCESS) return static_cast<LONG>(status);
    *result = Keep(std::move(opened));
    return ERROR_SUCCESS;
  }

  LONG CreateKeyEx(HKEY, const char*, DWORD, char*, DWORD, REGSAM, void*, PHKEY, LPDWORD) override {
    return ERROR_ACCESS_DENIED;
  }
  LONG SetValueEx(HKEY, const char*, DWORD, DWORD, const BYTE*, DWORD) override { return ERROR_ACCESS_DENIED; }

  LONG QueryValueEx(HKEY key, const char* valueName, LPDWORD, LPDWORD type, BYTE* data,
                    LPDWORD dataSize) override {
    if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    LiveKey* handle = Lookup(key);
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    uint32_t room = 1024;
    uint32_t valueType = REG_NONE;
    std::vector<uint8_t> value;
    for (int attempt = 0;; ++attempt) {
      std::vector<uint8_t> answer;
      uint32_t needed = 0;
      DWORD status = handle->link->Call(
          rrp::kQueryValue, rrp::QueryValueRequest(handle->handle, valueName != nullptr ? valueName : "", room),
          answer);
      if (status == ERROR_SUCCESS) status = rrp::ParseQueryValueAnswer(answer, valueType, value, needed);
      if (status == ERROR_MORE_DATA && attempt == 0 && needed > room && needed <= rrp::kMaxValue) {
        room = needed;
        continue;
      }
      if (status != ERROR_SUCCESS) return static_cast<LONG>(status);
      break;
    }
    const std::vector<uint8_t> single = AsSingleByte(valueType, value);
    const auto size = static_cast<DWORD>(single.size());
    if (type != nullptr) *type = valueType;
    if (dataSize == nullptr) return ERROR_SUCCESS;
    if (data == nullptr) {
      *dataSize = size;
      return ERROR_SUCCESS;
    }
    if (*dataSize < size) {
      *dataSize = size;
      return ERROR_MORE_DATA;
    }
    if (size > 0) std::memcpy(data, single.data(), size);
    *dataSize = size;
    return ERROR_SUCCESS;
  }

  LONG EnumKeyEx(HKEY key, DWORD index, char* name, LPDWORD nameSize, LPDWORD, char* keyClass,
                 LPDWORD classSize, FILETIME* lastWriteTime) override {
    if (name == nullptr || nameSize == nullptr) return ERROR_INVALID_PARAMETER;
    LiveKey* handle = Lookup(key);
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    std::vector<uint8_t> answer;
    std::string child;
    DWORD status = handle->link->Call(rrp::kEnumKey, rrp::EnumKeyRequest(handle->handle, index), answer);
    if (status == ERROR_SUCCESS) status = rrp::ParseEnumKeyAnswer(answer, child);
    if (status != ERROR_SUCCESS) return static_cast<LONG>(status);
    return GiveKeyName(child, name, nameSize, keyClass, classSize, lastWriteTime);
  }

  LONG CloseKey(HKEY key) override {
    std::unique_ptr<LiveKey> handle;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      auto* raw = reinterpret_cast<LiveKey*>(key);
      if (keys_.erase(raw) == 0) return ERROR_INVALID_HANDLE;
      handle.reset(raw);
    }
    std::vector<uint8_t> answer;
    handle->link->Call(rrp::kCloseKey, rrp::CloseKeyRequest(handle->handle), answer);
    return ERROR_SUCCESS;
  }

  bool Owns(HKEY key) {
    std::lock_guard<std::mutex> guard(mutex_);
    return keys_.count(reinterpret_cast<LiveKey*>(key)) != 0;
  }

 private:
  HKEY Keep(std::unique_ptr<LiveKey> key) {
    std::lock_guard<std::mutex> guard(mutex_);
    LiveKey* raw = key.release();
    keys_.insert(raw);
    return reinterpret_cast<HKEY>(raw);
  }

  LiveKey* Lookup(HKEY key) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto* raw = reinterpret_cast<LiveKey*>(key);
    return keys_.count(raw) != 0 ? raw : nullptr;
  }

  std::mutex mutex_;
  std::unordered_set<LiveKey*> keys_;
};

LiveRegistry& Instance() {
  static LiveRegistry* service = new LiveRegistry();  // lives as long as the process
  return *service;
}

}  // namespace

RegistryService& LiveRegistryService() { return Instance(); }
bool IsLiveRegistryKey(HKEY key) { return Instance().Owns(key); }

}  // namespace platform
