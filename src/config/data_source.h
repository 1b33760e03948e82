// The default data source: on the first interactive start, when the settings
// have never named one, the program makes the system data source "Ravelin"
// on the embedded SQLite database "Corvid.db" of the install folder, and
// records it in the settings.
//
// The driver entry named below is registered by corvid-install for the
// SQLite3 ODBC driver, with our setup library (libcorvidodbcsetup.so) as its
// "Setup", which is what lets SQLConfigDataSource make a data source on it.
#pragma once

#include <string>

#include "platform/base/win32.h"
#include "platform/threads/threads.h"

namespace corvid {

inline constexpr const char kDefaultDriver[] = "Corvid SQLite3";
inline constexpr const char kDefaultDataSource[] = "Ravelin";
// In the install folder; the installer creates it with the three tables.
inline constexpr const char kDefaultDatabase[] = "Corvid.db";

// What the interactive program shows while the data source is made. The
// dialog layer implements it; without one nothing is shown and nobody waits.
class PreparingNotice {
 public:
  virtual ~PreparingNotice() = default;
  // Shows the notice and paints it at once.
  virtual void Show() = 0;
  virtual void Close() = 0;
};

// The notice as a window: template 115, centred on the screen.
PreparingNotice& PreparingWindowNotice();

// Asks the ODBC installer for the system data source "Ravelin" on
// kDefaultDriver, its Database being Corvid.db of Settings.InstallPath as a
// host path (the SQLite driver opens host files). On success the settings
// name it (DSN, Description = the driver, Type 1) and are saved, the save's
// result ignored; on failure nothing changes. With a notice, it is shown for
// at least a second before the request.
bool CreateDefaultDataSource(PreparingNotice* notice = nullptr);

// The companion tool that picks a data source: "Dsnsmith.exe" of the
// install folder, started without arguments. Its choice reaches the
// program only through the settings values it writes.
inline constexpr const char kCompanionTool[] = "Dsnsmith.exe";

// "You need to specify Data Source." (caption "Warning"), then the tool.
void RequireDataSource(HWND owner);
// Starts the tool and keeps its process in CompanionProcess. A failure
// shows the system's text under "CreateProcess", then "Unable to load
// Dsnsmith".
bool LaunchDataSourceTool(HWND owner);
bool StartProcess(HWND owner, const std::string& path, PROCESS_INFORMATION& process);
void ShowSystemError(HWND owner, const char* caption, DWORD code);

}  // namespace corvid
