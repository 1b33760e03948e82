// Dsnsmith's logic, without any window: the data sources of this computer,
// the choice the program reads back from its settings, and a new SQLite
// data source with the event tables.
//
// The choice reaches Corvid only through the values of the settings key,
// which the installer created; Dsnsmith writes values into it and never
// creates it. Corvid takes them over with ReloadDataSourceSettings, which
// needs every one of DSN, Description, User, Password and RegAccess.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/win32.h"

namespace dsnsmith {

// The "Type" value: how the driver keeps its data.
inline constexpr DWORD kFileDatabase = 1;    // a file on this computer (SQLite)
inline constexpr DWORD kServerDatabase = 2;  // a database server (PostgreSQL)

// The longest name the settings can hold: Corvid reads "DSN" into 33 bytes.
inline constexpr size_t kMaxNameLength = 32;

struct DataSource {
  std::string name;
  std::string driver;  // the driver's description, as the driver manager gives it
  bool system = true;  // false for a data source of this user's own
};

// System data sources, then the user's, as unixODBC finds them (ODBCSYSINI,
// ODBCINI and its defaults). Empty with `error` set when the driver
// manager cannot be asked.
std::vector<DataSource> ListDataSources(std::string* error = nullptr);

// kFileDatabase when the driver entry's description or library names a
// file database we know, kServerDatabase otherwise.
DWORD DriverType(const std::string& driver);

struct Choice {
  std::string dsn;
  std::string description;
  DWORD type = kFileDatabase;
  std::string user;
  std::string password;
};

// What the settings name now; empty fields for values that cannot be read.
Choice CurrentChoice();

// Writes DSN, Type, Description, User, Password and RegAccess (kept as
// stored, 0 when there is none) into the settings key. The name goes last,
// so whoever reads the new name also reads its details. On failure
// `error` says which value was not written.
bool WriteChoice(const Choice& choice, std::string* error = nullptr);

// A name the driver manager accepts and the settings can hold.
bool IsValidName(const std::string& name, std::string* why = nullptr);

// The host file a database path names: Windows-style paths through the
// machine folder, absolute because the driver opens it from whatever
// folder a program runs in.
std::filesystem::path DatabaseFile(const std::string& path);

// Makes (or completes) the database `path` with the event tables of
// `schema`, then the system data source `name` on it with the "Corvid
// SQLite3" driver entry. A name already in use is refused; a database that
// did not exist before is removed again when the data source cannot be
// made.
bool CreateSqliteDataSource(const std::string& name, const std::string& path, const std::filesystem::path& schema,
                            std::string* error = nullptr);

// sql/sqlite.sql beside the running program, where corvid-install puts it.
std::filesystem::path SchemaBesideProgram();

}  // namespace dsnsmith
