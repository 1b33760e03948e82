#include "dsnsmith_core.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#include "config/data_source.h"
#include "config/settings_store.h"
#include "platform/files/paths.h"
#include "platform/odbc/odbc.h"

namespace dsnsmith {
namespace {

namespace fs = std::filesystem;

// Corvid reads every text value but DSN into this many bytes, terminator
// included; a longer value would make its reload fail.
constexpr size_t kTextRead = 260;

void SetError(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// SQLDataSources from one of the two lists until it runs out.
void Collect(SQLHENV environment, SQLUSMALLINT first, bool system, std::vector<DataSource>& out) {
  SQLUSMALLINT direction = first;
  for (;;) {
    SQLCHAR name[256] = {};
    SQLCHAR driver[512] = {};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT driverLength = 0;
    const SQLRETURN r =
        ::SQLDataSources(environment, direction, name, sizeof name, &nameLength, driver, sizeof driver, &driverLength);
    if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) break;
    out.push_back({reinterpret_cast<char*>(name), reinterpret_cast<char*>(driver), system});
    direction = SQL_FETCH_NEXT;
  }
}

bool ReadText(const char* name, std::string& out) {
  char buffer[kTextRead];
  DWORD type = 0;
  DWORD size = sizeof buffer;
  if (corvid::ReadSettingValue(name, &type, buffer, &size) != ERROR_SUCCESS) return false;
  out.assign(buffer, strnlen(buffer, size));
  return true;
}

bool WriteText(const char* name, const std::string& text) {
  return corvid::WriteSettingValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

bool WriteNumber(const char* name, DWORD value) {
  return corvid::WriteSettingValue(name, REG_DWORD, &value, sizeof value);
}

// The last message of the ODBC installer, for a failed request.
std::string InstallerError() {
  DWORD code = 0;
  char message[SQL_MAX_MESSAGE_LENGTH] = {};
  WORD length = 0;
  if (::SQLInstallerError(1, &code, message, sizeof message, &length) == SQL_NO_DATA || message[0] == '\0') {
    return "the ODBC installer gave no reason";
  }
  return message;
}

// Runs the schema on a new or existing database, as corvid-install does
// for Corvid.db: the script only adds what is missing.
bool PrepareDatabase(const fs::path& database, const fs::path& schema, std::string* error) {
  std::ifstream in(schema, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in.is_open() || text.str().empty()) {
    SetError(error, "Cannot read the table definitions " + schema.string());
    return false;
  }
  sqlite3* db = nullptr;
  int status = sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  char* message = nullptr;
  if (status == SQLITE_OK) status = sqlite3_exec(db, text.str().c_str(), nullptr, nullptr, &message);
  if (status != SQLITE_OK) {
    SetError(error, "Cannot prepare " + database.string() + ": " + (message != nullptr ? message : sqlite3_errmsg(db)));
  }
  sqlite3_free(message);
  sqlite3_close(db);
  return status == SQLITE_OK;
}

void RemoveDatabase(const fs::path& database) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(database.string() + suffix, ignored);
}

}  // namespace

std::vector<DataSource> ListDataSources(std::string* error) {
  std::vector<DataSource> sources;
  SQLHENV environment = SQL_NULL_HENV;
  if (!SQL_SUCCEEDED(::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
    SetError(error, "The ODBC driver manager cannot be used");
    return sources;
  }
  ::SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  Collect(environment, SQL_FETCH_FIRST_SYSTEM, true, sources);
  Collect(environment, SQL_FETCH_FIRST_USER, false, sources);
  ::SQLFreeHandle(SQL_HANDLE_ENV, environment);
  return sources;
}

DWORD DriverType(const std::string& driver) {
  char library[1024] = {};
  ::SQLGetPrivateProfileString(driver.c_str(), "Driver", "", library, sizeof library, "ODBCINST.INI");
  const std::string names = Lower(driver) + "\n" + Lower(library);
  for (const char* file : {"sqlite", "access", "mdb", "dbase", "paradox", "foxpro", "excel", "csv"}) {
    if (names.find(file) != std::string::npos) return kFileDatabase;
  }
  return kServerDatabase;
}

Choice CurrentChoice() {
  Choice choice;
  ReadText("DSN", choice.dsn);
  ReadText("Description", choice.description);
  ReadText("User", choice.user);
  ReadText("Password", choice.password);
  DWORD type = 0;
  DWORD typeKind = 0;
  DWORD size = sizeof type;
  if (corvid::ReadSettingValue("Type", &typeKind, &type, &size) == ERROR_SUCCESS) choice.type = type;
  return choice;
}

bool WriteChoice(const Choice& choice, std::string* error) {
  if (choice.dsn.empty() || choice.dsn.size() > kMaxNameLength) {
    SetError(error, "A data source name of 1 to " + std::to_string(kMaxNameLength) + " characters is needed");
    return false;
  }
  for (const std::string* text : {&choice.description, &choice.user, &choice.password}) {
    if (text->size() >= kTextRead) {
      SetError(error, "The user, the password and the driver's description may have at most " +
                          std::to_string(kTextRead - 1) + " characters");
      return false;
    }
  }
  // Corvid gives RegAccess no meaning of ours to change, but its reload
  // needs the value to be there.
  DWORD regAccess = 0;
  DWORD kind = 0;
  DWORD size = sizeof regAccess;
  if (corvid::ReadSettingValue("RegAccess", &kind, &regAccess, &size) != ERROR_SUCCESS) regAccess = 0;

  const char* failed = nullptr;
  if (!WriteNumber("Type", choice.type)) {
    failed = "Type";
  } else if (!WriteText("Description", choice.description)) {
    failed = "Description";
  } else if (!WriteText("User", choice.user)) {
    failed = "User";
  } else if (!WriteText("Password", choice.password)) {
    failed = "Password";
  } else if (!WriteNumber("RegAccess", regAccess)) {
    failed = "RegAccess";
  } else if (!WriteText("DSN", choice.dsn)) {
    failed = "DSN";
  }
  if (failed != nullptr) {
    SetError(error, std::string("Cannot write the setting \"") + failed +
                        "\". Is Corvid installed on this computer (corvid-install)?");
    return false;
  }
  return true;
}

bool IsValidName(const std::string& name, std::string* why) {
  if (name.empty() || name.size() > kMaxNameLength) {
    SetError(why, "The name must have 1 to " + std::to_string(kMaxNameLength) + " characters.");
    return false;
  }
  if (!::SQLValidDSN(name.c_str())) {
    SetError(why, "The name may not hold any of [ ] { } ( ) , ; ? * = ! @ \\");
    return false;
  }
  return true;
}

fs::path DatabaseFile(const std::string& path) {
  std::error_code ignored;
  return fs::absolute(platform::MapPath(path), ignored).lexically_normal();
}

bool CreateSqliteDataSource(const std::string& name, const std::string& path, const fs::path& schema,
                            std::string* error) {
  if (!IsValidName(name, error)) return false;
  const std::vector<DataSource> existing = ListDataSources();
  if (std::any_of(existing.begin(), existing.end(), [&](const DataSource& s) { return s.name == name; })) {
    SetError(error, "A data source named \"" + name + "\" exists already.");
    return false;
  }
  if (path.empty()) {
    SetError(error, "Name the database file.");
    return false;
  }
  const fs::path database = DatabaseFile(path);
  std::error_code ec;
  const bool existed = fs::exists(database, ec);
  if (existed && !fs::is_regular_file(database, ec)) {
    SetError(error, database.string() + " is not a file.");
    return false;
  }
  fs::create_directories(database.parent_path(), ec);
  if (!PrepareDatabase(database, schema, error)) {
    if (!existed) RemoveDatabase(database);
    return false;
  }
  std::string attributes = "DSN=" + name;
  attributes += '\0';
  attributes += "Database=" + database.string();
  attributes += '\0';
  attributes += '\0';
  if (odbc::SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, corvid::kDefaultDriver, attributes.c_str()) == FALSE) {
    SetError(error, "Cannot make the system data source \"" + name + "\" on the driver \"" + corvid::kDefaultDriver +
                        "\": " + InstallerError());
    if (!existed) RemoveDatabase(database);
    return false;
  }
  return true;
}

fs::path SchemaBesideProgram() {
  std::error_code ignored;
  return fs::read_symlink("/proc/self/exe", ignored).parent_path() / "sql" / "sqlite.sql";
}

}  // namespace dsnsmith
