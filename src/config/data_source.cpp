#include "config/data_source.h"

#include <filesystem>
#include <string>

#include "config/settings_store.h"
#include "platform/files/paths.h"
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

}  // namespace corvid
