// corvid-install: installs the program into this computer's machine folder.
//
//   corvid-install --install-path DIR [--with-data-source] [--sqlite-driver FILE]
//
// Copies the program's files into DIR (a Windows-style path such as
// "C:\Program Files\Corvid", or a host path) and creates the settings key
// with "InstallPath" = DIR. Every other setting keeps the default the
// program gives it until the first save. Creating the key is the
// installer's job alone; the program never creates it.
//
// The embedded database: DIR\Corvid.db with the three event tables (from
// sql/sqlite.sql, also installed) in WAL mode. An existing Corvid.db is
// kept with its rows; only what is missing is added. The ODBC driver entry
// "Corvid SQLite3" is registered in the ODBC installer's odbcinst.ini
// (/etc/odbcinst.ini, or the one in ODBCSYSINI): the SQLite3 ODBC driver
// (found in the usual library folders, or FILE) with our setup library as
// its "Setup". Without a driver or a writable odbcinst.ini the program is
// installed all the same, with a warning: it then asks for a data source.
//
// --with-data-source also makes the default data source "Ravelin" now, as
// the program would at its first interactive start, and saves the settings,
// so that a silent run works right away. A data source already named in the
// settings is kept.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <glob.h>
#include <odbcinst.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>

#include "config/data_source.h"
#include "config/settings_store.h"
#include "platform/files/paths.h"
#include "platform/registry/registry.h"

namespace {

namespace fs = std::filesystem;

// The programs that make up an installation: the program, its data-source
// companion under the name the program starts it by, and the setup library.
const std::vector<std::string> kProgramFiles = {"corvid", corvid::kCompanionTool, "libcorvidodbcsetup.so"};
// The schema files, installed into sql/ of the install folder.
const std::vector<std::string> kSchemaFiles = {"sqlite.sql", "postgresql.sql", "migrate-nocase-sqlite.sql",
                                               "migrate-nocase-postgresql.sql"};

#ifndef CORVID_PKGLIB_FROM_BIN
#define CORVID_PKGLIB_FROM_BIN "../lib/corvid"
#endif
#ifndef CORVID_DATA_FROM_BIN
#define CORVID_DATA_FROM_BIN "../share/corvid"
#endif

// Where a file to install is: beside this program in a build, else in the
// installed tree's private library or data folder.
fs::path Source(const fs::path& self, const fs::path& name, const char* installed) {
  std::error_code error;
  if (fs::exists(self / name, error)) return self / name;
  return (self / installed / name).lexically_normal();
}

const char kUsage[] =
    "usage: corvid-install --install-path DIR [--with-data-source | --data-source DSN] [--sqlite-driver FILE]\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int Help() {
  std::fputs(kUsage, stdout);
  std::fputs(
      "Installs Corvid into DIR (a Windows path such as 'C:\\Program Files\\Corvid', or a host path)\n"
      "of the machine folder $CORVID_HOME, makes DIR/Corvid.db and registers the ODBC driver\n"
      "\"Corvid SQLite3\".\n"
      "  --with-data-source    also make the data source \"Ravelin\" now, for silent runs\n"
      "  --data-source DSN     gather into the existing ODBC data source DSN instead\n"
      "  --sqlite-driver FILE  the SQLite3 ODBC driver, when not in the usual folders\n"
      "  --help, --version\n"
      "See corvid-install(8).\n",
      stdout);
  return 0;
}

bool IsWindowsRooted(const std::string& path) {
  const bool drive = path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
  const bool unc = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
                   (path[1] == '\\' || path[1] == '/');
  return drive || unc;
}

// Copies one file through a temp name, so a running program never sees it
// half written.
bool CopyProgram(const fs::path& from, const fs::path& to) {
  std::error_code error;
  const fs::path temp = to.string() + ".tmp-install";
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, error);
  if (!error) fs::permissions(temp, fs::perms(0755), error);
  if (!error) fs::rename(temp, to, error);
  if (error) {
    std::fprintf(stderr, "corvid-install: cannot install %s: %s\n", to.c_str(),
                 error.message().c_str());
    fs::remove(temp, error);
    return false;
  }
  return true;
}

bool CopyFile(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::create_directories(to.parent_path(), error);
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
  if (error) {
    std::fprintf(stderr, "corvid-install: cannot install %s: %s\n", to.c_str(), error.message().c_str());
    return false;
  }
  return true;
}

// Debian keeps ODBC drivers in /usr/lib/<triplet>/odbc; other systems in a
// library folder itself.
std::string FindSqliteDriver() {
  const char* patterns[] = {"/usr/lib/*/odbc/libsqlite3odbc.so", "/usr/lib/odbc/libsqlite3odbc.so",
                            "/usr/lib64/libsqlite3odbc.so",      "/usr/lib/*/libsqlite3odbc.so",
                            "/usr/local/lib/libsqlite3odbc.so",  "/usr/lib/libsqlite3odbc.so"};
  for (const char* pattern : patterns) {
    glob_t found{};
    std::string first;
    if (::glob(pattern, 0, nullptr, &found) == 0 && found.gl_pathc > 0) first = found.gl_pathv[0];
    ::globfree(&found);
    if (!first.empty()) return first;
  }
  return "";
}

// Creates the database or completes an existing one: the script only adds
// what is missing, and switches the file to WAL, which the file keeps.
bool PrepareDatabase(const fs::path& database, const fs::path& script) {
  std::ifstream in(script, std::ios::binary);
  if (!in.is_open()) {
    std::fprintf(stderr, "corvid-install: cannot read %s\n", script.c_str());
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  sqlite3* db = nullptr;
  int status = sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  char* error = nullptr;
  if (status == SQLITE_OK) status = sqlite3_exec(db, text.str().c_str(), nullptr, nullptr, &error);
  if (status != SQLITE_OK) {
    std::fprintf(stderr, "corvid-install: cannot prepare %s: %s\n", database.c_str(),
                 error != nullptr ? error : sqlite3_errmsg(db));
  }
  sqlite3_free(error);
  sqlite3_close(db);
  return status == SQLITE_OK;
}

// The driver entry in the installer's odbcinst.ini; unixODBC creates the
// file when it is missing.
bool RegisterDriver(const std::string& driver, const fs::path& setup) {
  const char* ini = "ODBCINST.INI";
  return SQLWritePrivateProfileString(corvid::kDefaultDriver, "Description",
                                      "SQLite3 ODBC driver with Corvid's setup library", ini) &&
         SQLWritePrivateProfileString(corvid::kDefaultDriver, "Driver", driver.c_str(), ini) &&
         SQLWritePrivateProfileString(corvid::kDefaultDriver, "Setup", setup.c_str(), ini);
}

}  // namespace

int main(int argc, char** argv) {
  std::string installPath;
  std::string sqliteDriver;
  bool withDataSource = false;
  std::string dataSource;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") return Help();
    if (argument == "--version") {
      std::printf("corvid-install (Corvid) %s\n", CORVID_VERSION);
      return 0;
    }
    if (argument == "--install-path" && i + 1 < argc) {
      installPath = argv[++i];
    } else if (argument == "--sqlite-driver" && i + 1 < argc) {
      sqliteDriver = argv[++i];
    } else if (argument == "--with-data-source") {
      withDataSource = true;
    } else if (argument == "--data-source" && i + 1 < argc) {
      dataSource = argv[++i];
    } else {
      return Usage();
    }
  }
  if (installPath.empty() || (withDataSource && !dataSource.empty())) return Usage();
  // The settings hold a name of at most 32 characters.
  char driver[260] = "";
  if (!dataSource.empty() &&
      (dataSource.size() > 32 ||
       SQLGetPrivateProfileString(dataSource.c_str(), "Driver", "", driver, sizeof driver, "ODBC.INI") <= 0 ||
       driver[0] == '\0')) {
    std::fprintf(stderr, "corvid-install: no ODBC data source \"%s\" (odbcinst -q -s lists them)\n",
                 dataSource.c_str());
    return 1;
  }
  // A relative host path would mean another folder from every working
  // folder the program is started in.
  if (!IsWindowsRooted(installPath) && installPath.front() != '/') {
    installPath = fs::absolute(installPath).lexically_normal().string();
  }

  std::error_code error;
  const std::string machine = platform::MachineFolder();
  fs::create_directories(machine, error);
  // Absolute, because the driver entry names the setup library by it.
  const fs::path target = fs::absolute(platform::MapPath(installPath)).lexically_normal();
  fs::create_directories(target, error);
  if (error || !fs::is_directory(target)) {
    std::fprintf(stderr, "corvid-install: cannot create %s\n", target.c_str());
    return 1;
  }

  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) {
    std::fprintf(stderr, "corvid-install: cannot find the programs to install\n");
    return 1;
  }
  self[n] = '\0';
  const fs::path source = fs::path(self).parent_path();
  for (const std::string& program : kProgramFiles) {
    if (!CopyProgram(Source(source, program, CORVID_PKGLIB_FROM_BIN), target / program)) return 1;
  }
  for (const std::string& schema : kSchemaFiles) {
    if (!CopyFile(Source(source, fs::path("sql") / schema, CORVID_DATA_FROM_BIN), target / "sql" / schema)) return 1;
  }
  // The help file the Help buttons open, at its context numbers.
  if (!CopyFile(Source(source, "Corvid.hlp", CORVID_DATA_FROM_BIN), target / "Corvid.hlp")) return 1;
  const fs::path database = target / corvid::kDefaultDatabase;
  if (!PrepareDatabase(database, target / "sql" / "sqlite.sql")) return 1;

  sqliteDriver = sqliteDriver.empty() ? FindSqliteDriver() : fs::absolute(sqliteDriver).string();
  bool driverRegistered = false;
  if (sqliteDriver.empty()) {
    std::fprintf(stderr,
                 "corvid-install: warning: the SQLite3 ODBC driver (libsqlite3odbc.so) was not found; install "
                 "libsqliteodbc or name it with --sqlite-driver, then install again\n");
  } else if (!RegisterDriver(sqliteDriver, target / "libcorvidodbcsetup.so")) {
    std::fprintf(stderr,
                 "corvid-install: warning: cannot register the ODBC driver \"%s\" (is odbcinst.ini writable? "
                 "set ODBCSYSINI to a folder of your own)\n",
                 corvid::kDefaultDriver);
  } else {
    driverRegistered = true;
  }

  HKEY key = nullptr;
  DWORD disposition = 0;
  LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, corvid::kSettingsKey, 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                                &disposition);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExA(key, "InstallPath", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(installPath.c_str()),
                            static_cast<DWORD>(installPath.size() + 1));
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) {
    const std::string why = platform::LastRegistryFileError();
    std::fprintf(stderr, "corvid-install: cannot write the settings key (error %d)%s%s\n",
                 static_cast<int>(status), why.empty() ? "" : ": ", why.c_str());
    return 1;
  }
  std::printf("Installed into %s (%s)\nMachine folder: %s\n", installPath.c_str(), target.c_str(),
              machine.c_str());
  if (driverRegistered) std::printf("ODBC driver \"%s\": %s\n", corvid::kDefaultDriver, sqliteDriver.c_str());

  if (!dataSource.empty()) {
    // User and Password stay as they were: empty, the driver takes the data
    // source's own (and PostgreSQL's ~/.pgpass).
    if (!corvid::LoadSettings()) {
      std::fprintf(stderr, "corvid-install: cannot read the settings back\n");
      return 1;
    }
    corvid::Settings.DataSource.DSN = dataSource.c_str();
    corvid::Settings.DataSource.Description = driver;
    corvid::Settings.DataSource.Type = 1;
    if (!corvid::SaveSettings()) {
      std::fprintf(stderr, "corvid-install: cannot save the data source in the settings\n");
      return 1;
    }
    std::printf("Data source \"%s\" (%s)\n", dataSource.c_str(), driver);
  }
  if (withDataSource) {
    if (!corvid::LoadSettings()) {
      std::fprintf(stderr, "corvid-install: cannot read the settings back\n");
      return 1;
    }
    if (!corvid::Settings.DataSource.dataSourceMissing) {
      std::printf("Data source kept: \"%s\"\n", corvid::Settings.DataSource.DSN.c_str());
    } else if (corvid::CreateDefaultDataSource()) {
      std::printf("Data source \"%s\" on %s\n", corvid::kDefaultDataSource, database.c_str());
    } else {
      std::fprintf(stderr, "corvid-install: cannot create the data source \"%s\"\n", corvid::kDefaultDataSource);
      return 1;
    }
  }
  return 0;
}
