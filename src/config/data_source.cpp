#include "config/data_source.h"

#include <filesystem>
#include <string>

#include "config/settings_store.h"
#include "platform/base/last_error.h"
#include "platform/files/paths.h"
#include "platform/modules/modules.h"
#include "platform/windows/windows.h"
#include "resources/strings.h"
#include "common/start_state.h"
#include "platform/odbc/odbc.h"
#include "platform/threads/threads.h"

namespace corvid {

bool CreateDefaultDataSource(PreparingNotice* notice) {
  if (notice != nullptr) {
    notice->Show();
    // Long enough to be read, even when the installer answers at once.
    Sleep(1000);
  }
  // Absolute, as the driver opens it from whatever folder a program runs in.
  std::error_code ignored;
  const std::string database =
      std::filesystem::absolute(platform::MapPath(Settings.InstallPath + "\\" + kDefaultDatabase), ignored)
          .lexically_normal()
          .string();
  std::string attributes = std::string("DSN=") + kDefaultDataSource;
  attributes += '\0';
  attributes += "Database=" + database;
  attributes += '\0';
  attributes += '\0';  // ends the list
  const bool created =
      odbc::SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, kDefaultDriver, attributes.c_str()) != FALSE;
  if (created) {
    Settings.DataSource.DSN = kDefaultDataSource;
    Settings.DataSource.Description = kDefaultDriver;
    Settings.DataSource.Type = 1;
    SaveSettings();
  }
  if (notice != nullptr) notice->Close();
  return created;
}

void RequireDataSource(HWND owner) {
  char text[1000];
  LoadStringA(Instance, resources::IDS_SPECIFY_DATA_SOURCE, text, sizeof text);
  MessageBoxA(owner, text, "Warning", MB_OK | MB_ICONEXCLAMATION);
  LaunchDataSourceTool(owner);
}

bool LaunchDataSourceTool(HWND owner) {
  // Not cut to 260 characters: a long install path still names its tool.
  const std::string path = Settings.InstallPath + "\\" + kCompanionTool;
  PROCESS_INFORMATION process{};
  if (!StartProcess(owner, path, process)) {
    char text[260];
    LoadStringA(Instance, resources::IDS_UNABLE_TO_LOAD_DSNSMITH, text, sizeof text);
    MessageBoxA(owner, text, nullptr, MB_OK | MB_ICONHAND);  // the platform's own caption
    return false;
  }
  CloseHandle(process.hThread);
  CompanionProcess = process.hProcess;
  return true;
}

bool StartProcess(HWND owner, const std::string& path, PROCESS_INFORMATION& process) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                     &startup, &process)) {
    return true;
  }
  ShowSystemError(owner, "CreateProcess", GetLastError());
  return false;
}

void ShowSystemError(HWND owner, const char* caption, DWORD code) {
  char* text = nullptr;
  // Neutral language, the user's default sublanguage.
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code, 0x0400,
                 reinterpret_cast<char*>(&text), 0, nullptr);
  MessageBoxA(owner, text != nullptr ? text : "", caption, MB_OK | MB_ICONHAND);
  if (text != nullptr) LocalFree(text);
}

}  // namespace corvid
