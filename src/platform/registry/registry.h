// Registry service: this computer's HKEY_LOCAL_MACHINE and, read-only, the
// HKEY_LOCAL_MACHINE of other computers of the network.
//
// Contract, as the Win32 calls keep it:
// - every call returns ERROR_SUCCESS (0) or a Windows error code;
// - a missing key or value is ERROR_FILE_NOT_FOUND (2);
// - a short buffer is ERROR_MORE_DATA (234) with the size needed filled in;
// - enumeration past the last subkey is ERROR_NO_MORE_ITEMS (259);
// - a computer that cannot be reached is ERROR_BAD_NETPATH (53);
// - a registry file that cannot be read as one is ERROR_BADDB (1009), and
//   nothing is written over it.
// Implementations are safe to call from several threads at once.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/service.h"
#include "platform/base/win32.h"

namespace platform {

class RegistryService {
 public:
  virtual ~RegistryService() = default;

  virtual LONG ConnectRegistry(const char* machineName, HKEY root, PHKEY result) = 0;
  virtual LONG OpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM access,
                         PHKEY result) = 0;
  // Only the installer creates keys; the program itself never does.
  virtual LONG CreateKeyEx(HKEY key, const char* subKey, DWORD reserved, char* keyClass,
                           DWORD options, REGSAM access, void* security, PHKEY result,
                           LPDWORD disposition) = 0;
  virtual LONG QueryValueEx(HKEY key, const char* valueName, LPDWORD reserved, LPDWORD type,
                            BYTE* data, LPDWORD dataSize) = 0;
  virtual LONG SetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                          const BYTE* data, DWORD dataSize) = 0;
  virtual LONG EnumKeyEx(HKEY key, DWORD index, char* name, LPDWORD nameSize, LPDWORD reserved,
                         char* keyClass, LPDWORD classSize, FILETIME* lastWriteTime) = 0;
  virtual LONG CloseKey(HKEY key) = 0;

  // The registry files of the machine folder and the network root.
  static RegistryService& Default();
};

// Forwards every call to a target; a fake derives from it and overrides only
// the calls it wants to change.
class RegistryWrapper : public RegistryService {
 public:
  explicit RegistryWrapper(RegistryService& target) : target_(target) {}
  LONG ConnectRegistry(const char* machineName, HKEY root, PHKEY result) override {
    return target_.ConnectRegistry(machineName, root, result);
  }
  LONG OpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM access,
                 PHKEY result) override {
    return target_.OpenKeyEx(key, subKey, options, access, result);
  }
  LONG CreateKeyEx(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                   REGSAM access, void* security, PHKEY result, LPDWORD disposition) override {
    return target_.CreateKeyEx(key, subKey, reserved, keyClass, options, access, security, result,
                               disposition);
  }
  LONG QueryValueEx(HKEY key, const char* valueName, LPDWORD reserved, LPDWORD type, BYTE* data,
                    LPDWORD dataSize) override {
    return target_.QueryValueEx(key, valueName, reserved, type, data, dataSize);
  }
  LONG SetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                  DWORD dataSize) override {
    return target_.SetValueEx(key, valueName, reserved, type, data, dataSize);
  }
  LONG EnumKeyEx(HKEY key, DWORD index, char* name, LPDWORD nameSize, LPDWORD reserved,
                 char* keyClass, LPDWORD classSize, FILETIME* lastWriteTime) override {
    return target_.EnumKeyEx(key, index, name, nameSize, reserved, keyClass, classSize,
                             lastWriteTime);
  }
  LONG CloseKey(HKEY key) override { return target_.CloseKey(key); }

 protected:
  RegistryService& target() { return target_; }

 private:
  RegistryService& target_;
};

// Why the last registry file that failed to load was rejected ("<file>:
// line N: ..."), for the installer and tools that can show it; empty when
// every file loaded.
std::string LastRegistryFileError();

// The file that holds the key `topKey` ("SAM", "SYSTEM", ...) of the
// HKEY_LOCAL_MACHINE of `computer` ("" for this one): its registry.reg or,
// without one, the hive of its installation (or the nearest folder of the
// installation on its way, when the hive is missing). A path that does not
// exist when there is neither.
std::string RegistryFileOf(const std::string& computer, std::string_view topKey);

// RegEnumKeyExA's answer of a subkey's name, for every registry behind the
// seam: the size is in characters and must leave room for the terminator;
// on success it comes back without it. No class, no time.
LONG GiveKeyName(const std::string& child, char* name, LPDWORD nameSize, char* keyClass, LPDWORD classSize,
                 FILETIME* lastWriteTime);

}  // namespace platform

// The Win32-named calls, dispatching to the installed RegistryService.
LONG RegConnectRegistryA(const char* machineName, HKEY root, PHKEY result);
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                     REGSAM access, void* security, PHKEY result, LPDWORD disposition);
LONG RegQueryValueExA(HKEY key, const char* valueName, LPDWORD reserved, LPDWORD type, BYTE* data,
                      LPDWORD dataSize);
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, LPDWORD nameSize, LPDWORD reserved,
                   char* keyClass, LPDWORD classSize, FILETIME* lastWriteTime);
LONG RegCloseKey(HKEY key);
