// The settings store: every persistent setting lives as a named value under
// one key of this computer's registry, created by the installer and never by
// the program. Each value is read or written with the key opened and closed
// around it; no handle stays open.
//
// The process-wide records below are written by the interface thread (load
// at start, reload before a gather and a save, the settings dialogs) and only
// read by the gather worker, which runs while those dialogs cannot be used.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/fixed_text.h"
#include "platform/base/win32.h"

namespace corvid {

// Passed to the registry exactly so, trailing backslash included.
inline constexpr const char kSettingsKey[] = "SOFTWARE\\Qentro\\Corvid\\CurrentVersion\\";

struct DataSourceInfo {
  platform::FixedText<33> DSN;
  platform::FixedText<260> Description;
  uint32_t dataSourceMissing = 0;  // the "DSN" value did not exist at load
  DWORD Type = 1;
  platform::FixedText<260> User;
  platform::FixedText<260> Password;  // plain text, as stored
  DWORD RegAccess = 0;
};

struct AppSettings {
  std::string InstallPath;
  std::string HelpFile;  // never stored: InstallPath + "\Corvid.hlp"
  DataSourceInfo DataSource;
  DWORD EraseLogs = 0;
  DWORD TimeOut = 180;  // minutes; only the silent run waits on it
  DWORD LoadDescriptions = 1;
  DWORD TransactionPeriod = 100;
};

// The persistent half of the run log: its file, how much it says, and
// whether a report replaces the file (exactly 1) or is appended to it.
struct RunLogOptions {
  std::string path;
  DWORD detailLevel = 1;   // LogFullErrorNo: 0 full, 1 errors only, 2 none
  DWORD appendChoice = 1;  // LogAppendOverwrite
};

extern AppSettings Settings;
extern RunLogOptions RunLogSettings;

// One value of the settings key into `buffer`; returns the registry status
// unchanged (0 is success). The stored type is reported, never checked.
LONG ReadSettingValue(const char* name, DWORD* type, void* buffer, DWORD* size);
// One value into the settings key; true only when the key opened and the
// write succeeded.
bool WriteSettingValue(const char* name, DWORD type, const void* data, DWORD size);

// Everything, with defaults for whatever is unreadable; false only when the
// key or "InstallPath" cannot be read.
bool LoadSettings();
// Everything but InstallPath, stopping at the first failed write. The data
// source's name, type and description are written only when a name is set.
bool SaveSettings();
// The data-source values again, which the companion tool may have changed
// while we ran; false at the first unreadable one (Type excepted).
bool ReloadDataSourceSettings();

}  // namespace corvid
