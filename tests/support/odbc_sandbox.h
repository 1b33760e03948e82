// An ODBC configuration of a test's own (odbcinst.ini, odbc.ini, user.odbc.ini). unixODBC reads
// ODBCSYSINI once per process, so the sandboxes of a process share one folder, each starting and
// ending its files empty; it caches a source's values for 20 s: reuse a name only via UniqueName().
// Driver entries: "Corvid SQLite3" (with our setup library) and "Corvid PostgreSQL".
#pragma once

#include <glob.h>
#include <sqlite3.h>
#include <strings.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_machine.h"

namespace testing_support {

inline constexpr const char kSqliteDriverEntry[] = "Corvid SQLite3";
inline constexpr const char kPostgresDriverEntry[] = "Corvid PostgreSQL";

// Debian puts ODBC drivers in /usr/lib/<triplet>/odbc; other systems in the
// library folders themselves. "" when there is none.
inline std::string FindOdbcDriverLibrary(const std::string& file) {
  for (const char* folder : {"/usr/lib/*/odbc/", "/usr/lib/odbc/", "/usr/lib64/", "/usr/lib/*/", "/usr/local/lib/",
                             "/usr/lib/"}) {
    glob_t found{};
    const bool matched = ::glob((folder + file).c_str(), 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    std::string first = matched ? found.gl_pathv[0] : "";
    ::globfree(&found);
    if (!first.empty()) return first;
  }
  return "";
}

inline std::string SqliteOdbcDriver() { return FindOdbcDriverLibrary("libsqlite3odbc.so"); }
inline std::string PostgresOdbcDriver() { return FindOdbcDriverLibrary("psqlodbca.so"); }

// Our setup library, as the build leaves it beside the programs.
inline std::string CorvidSetupLibrary() {
#ifdef CORVID_BIN_DIR
  const std::string path = std::string(CORVID_BIN_DIR) + "/libcorvidodbcsetup.so";
  if (std::filesystem::exists(path)) return path;
#endif
  return "";
}

// The one ODBC folder of this process, removed at its end.
inline const std::filesystem::path& ProcessOdbcFolder() {
  static const struct Folder {
    std::filesystem::path path = MakeTempFolder();
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } folder;
  return folder.path;
}

class OdbcSandbox {
 public:
  OdbcSandbox() {
    std::string drivers;
    if (!SqliteOdbcDriver().empty()) {
      drivers = std::string("[") + kSqliteDriverEntry + "]\nDescription=SQLite3 ODBC driver\nDriver=" +
                SqliteOdbcDriver() + "\n" + (CorvidSetupLibrary().empty() ? "" : "Setup=" + CorvidSetupLibrary()) +
                "\n\n";
    }
    if (!PostgresOdbcDriver().empty()) {
      drivers += std::string("[") + kPostgresDriverEntry + "]\nDescription=PostgreSQL ODBC driver (ANSI)\nDriver=" +
                 PostgresOdbcDriver() + "\n\n";
    }
    Reset(drivers);
  }
  ~OdbcSandbox() {
    Reset("");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  OdbcSandbox(const OdbcSandbox&) = delete;
  OdbcSandbox& operator=(const OdbcSandbox&) = delete;

  // `base` with a number never used before in this process.
  static std::string UniqueName(const std::string& base) {
    static int serial = 0;
    return base + std::to_string(++serial);
  }

  // A folder for this sandbox's databases.
  const std::filesystem::path& root() const { return root_; }
  const std::filesystem::path& iniFolder() const { return ini_; }
  std::filesystem::path systemIni() const { return ini_ / "odbc.ini"; }
  std::filesystem::path driverIni() const { return ini_ / "odbcinst.ini"; }

  // Appends a system data source; the attributes go in as given.
  void AddDataSource(const std::string& name, const std::string& driver,
                     const std::vector<std::pair<std::string, std::string>>& attributes) const {
    std::string section = "[" + name + "]\nDriver=" + driver + "\n";
    for (const auto& [key, value] : attributes) section += key + "=" + value + "\n";
    WriteFile("odbc.ini", Read("odbc.ini") + section + "\n");
  }

  // A system data source on a SQLite database file (made on first connect).
  void AddSqliteDataSource(const std::string& name, const std::filesystem::path& database) const {
    AddDataSource(name, kSqliteDriverEntry, {{"Database", database.string()}});
  }

#ifdef CORVID_SOURCE_DIR
  // A new database `file` in root() with the event tables of sql/sqlite.sql,
  // made with SQLite itself, and a system data source `name` on it; returns
  // the database's path, or "" (with the reason in `why`) when it cannot be
  // made. The test program links SQLite::SQLite3.
  std::filesystem::path AddSqliteEventsDataSource(const std::string& name, std::string* why = nullptr,
                                                  const std::string& file = "Corvid.db") const {
    const std::filesystem::path database = root_ / file;
    const std::string schema = ReadFile(CORVID_SOURCE_DIR "/sql/sqlite.sql");
    sqlite3* db = nullptr;
    char* error = nullptr;
    int status = sqlite3_open(database.c_str(), &db);
    if (status == SQLITE_OK) status = sqlite3_exec(db, schema.c_str(), nullptr, nullptr, &error);
    if (status != SQLITE_OK && why != nullptr) *why = error != nullptr ? error : sqlite3_errmsg(db);
    sqlite3_free(error);
    sqlite3_close(db);
    if (status != SQLITE_OK || schema.empty()) return {};
    AddSqliteDataSource(name, database);
    return database;
  }
#endif

  // A file of the ODBC folder: "odbc.ini", "odbcinst.ini", "user.odbc.ini".
  std::string Read(const std::filesystem::path& relative) const { return ReadFile(ini_ / relative); }
  void WriteFile(const std::filesystem::path& relative, const std::string& bytes) const {
    std::ofstream(ini_ / relative, std::ios::binary | std::ios::trunc) << bytes;
  }

 private:
  // A test may have turned a file into a folder to make it unwritable.
  void Reset(const std::string& drivers) const {
    for (const char* file : {"odbcinst.ini", "odbc.ini", "user.odbc.ini"}) {
      std::error_code ignored;
      if (std::filesystem::is_directory(ini_ / file)) std::filesystem::remove_all(ini_ / file, ignored);
      WriteFile(file, file == std::string("odbcinst.ini") ? drivers : "");
    }
  }

  const std::filesystem::path ini_ = ProcessOdbcFolder(), root_ = MakeTempFolder();
  ScopedEnv sysIni_{"ODBCSYSINI", ini_.string()}, instIni_{"ODBCINSTINI", std::string("odbcinst.ini")},
      userIni_{"ODBCINI", (ini_ / "user.odbc.ini").string()};
};

// The value of `key` in section [section] of an ini text, or "" when there
// is none; keys match without regard to case, as unixODBC reads them.
inline std::string IniValue(const std::string& ini, const std::string& section, const std::string& key) {
  auto trim = [](const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
  };
  std::istringstream lines(ini);
  bool inSection = false;
  for (std::string line; std::getline(lines, line);) {
    line = trim(line);
    const auto equals = line.find('=');
    if (line.starts_with('[')) {
      inSection = line == "[" + section + "]";
    } else if (inSection && equals != std::string::npos &&
               ::strcasecmp(trim(line.substr(0, equals)).c_str(), key.c_str()) == 0) {
      return trim(line.substr(equals + 1));
    }
  }
  return "";
}

inline bool IniHasSection(const std::string& ini, const std::string& section) {
  return ini.find("[" + section + "]") != std::string::npos;
}

}  // namespace testing_support
