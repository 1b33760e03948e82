#include "config/settings_store.h"

#include <cstring>

#include "platform/registry/registry.h"

namespace corvid {

AppSettings Settings;
RunLogOptions RunLogSettings;

namespace {

constexpr DWORD kPathRead = 260;

// Reads a text value into a buffer of `capacity` bytes; on success `out`
// takes the text up to its terminator (or all the bytes read, if none).
template <class Text>
bool ReadText(const char* name, DWORD capacity, Text& out, LONG* status = nullptr) {
  char buffer[kPathRead];
  DWORD type = 0;
  DWORD size = capacity;
  const LONG result = ReadSettingValue(name, &type, buffer, &size);
  if (status != nullptr) *status = result;
  if (result != ERROR_SUCCESS) return false;
  out = std::string_view(buffer, strnlen(buffer, size));
  return true;
}

bool ReadNumber(const char* name, DWORD& out) {
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof value;
  if (ReadSettingValue(name, &type, &value, &size) != ERROR_SUCCESS) return false;
  out = value;
  return true;
}

void ReadNumberOr(const char* name, DWORD& out, DWORD fallback) {
  if (!ReadNumber(name, out)) out = fallback;
}

bool WriteText(const char* name, std::string_view text) {
  // The terminator is stored too: an empty text is a single zero byte.
  std::string stored(text);
  return WriteSettingValue(name, REG_SZ, stored.c_str(), static_cast<DWORD>(stored.size() + 1));
}

bool WriteNumber(const char* name, DWORD value) {
  return WriteSettingValue(name, REG_DWORD, &value, sizeof value);
}

}  // namespace

LONG ReadSettingValue(const char* name, DWORD* type, void* buffer, DWORD* size) {
  HKEY key = nullptr;
  const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &key);
  if (opened != ERROR_SUCCESS) return opened;
  const LONG status =
      RegQueryValueExA(key, name, nullptr, type, static_cast<BYTE*>(buffer), size);
  RegCloseKey(key);
  return status;
}

bool WriteSettingValue(const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  const LONG status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool LoadSettings() {
  std::string installPath;
  if (!ReadText("InstallPath", kPathRead, installPath)) return false;
  Settings.InstallPath = installPath;
  Settings.HelpFile = installPath + "\\Corvid.hlp";

  // An existing empty value stays empty; only an unreadable one defaults.
  if (!ReadText("LogFile", kPathRead, RunLogSettings.path)) {
    RunLogSettings.path = installPath + "\\Corvid.log";
  }
  ReadNumberOr("LogFullErrorNo", RunLogSettings.detailLevel, 0);
  ReadNumberOr("LogAppendOverwrite", RunLogSettings.appendChoice, 1);

  DataSourceInfo& source = Settings.DataSource;
  source.dataSourceMissing = 0;
  LONG status = ERROR_SUCCESS;
  if (!ReadText("DSN", source.DSN.capacity(), source.DSN, &status)) {
    source.DSN = "";
    // Only a value that does not exist asks for a new data source; one too
    // long to read is not missing.
    if (status == ERROR_FILE_NOT_FOUND) source.dataSourceMissing = 1;
  }
  ReadNumberOr("Type", source.Type, 1);
  if (!ReadText("Description", kPathRead, source.Description)) source.Description = "";
  if (!ReadText("User", kPathRead, source.User)) source.User = "";
  if (!ReadText("Password", kPathRead, source.Password)) source.Password = "";
  ReadNumberOr("RegAccess", source.RegAccess, 0);

  ReadNumberOr("TimeOut", Settings.TimeOut, 180);
  ReadNumberOr("EraseLogs", Settings.EraseLogs, 0);
  ReadNumberOr("TransactionPeriod", Settings.TransactionPeriod, 100);
  ReadNumberOr("LoadDescriptions", Settings.LoadDescriptions, 1);
  return true;
}

bool SaveSettings() {
  const DataSourceInfo& source = Settings.DataSource;
  if (!WriteText("LogFile", RunLogSettings.path)) return false;
  if (!WriteNumber("LogFullErrorNo", RunLogSettings.detailLevel)) return false;
  if (!WriteNumber("LogAppendOverwrite", RunLogSettings.appendChoice)) return false;
  // With no name in memory, whatever the registry holds for these stays.
  if (!source.DSN.empty()) {
    if (!WriteText("DSN", source.DSN.view())) return false;
    if (!WriteNumber("Type", source.Type)) return false;
    if (!WriteText("Description", source.Description.view())) return false;
  }
  if (!WriteText("User", source.User.view())) return false;
  if (!WriteText("Password", source.Password.view())) return false;
  if (!WriteNumber("RegAccess", source.RegAccess)) return false;
  if (!WriteNumber("TimeOut", Settings.TimeOut)) return false;
  if (!WriteNumber("EraseLogs", Settings.EraseLogs)) return false;
  if (!WriteNumber("TransactionPeriod", Settings.TransactionPeriod)) return false;
  if (!WriteNumber("LoadDescriptions", Settings.LoadDescriptions)) return false;
  return true;
}

bool ReloadDataSourceSettings() {
  DataSourceInfo& source = Settings.DataSource;
  if (!ReadText("DSN", source.DSN.capacity(), source.DSN)) return false;
  if (!ReadNumber("Type", source.Type)) source.Type = 1;
  if (!ReadText("Description", kPathRead, source.Description)) return false;
  if (!ReadText("User", kPathRead, source.User)) return false;
  if (!ReadText("Password", kPathRead, source.Password)) return false;
  return ReadNumber("RegAccess", source.RegAccess);
}

}  // namespace corvid
