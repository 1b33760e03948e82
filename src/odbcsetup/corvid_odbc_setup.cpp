// libcorvidodbcsetup.so: the setup library of the SQLite3 driver entry that
// corvid-install registers. unixODBC's SQLConfigDataSource hands a request
// to the ConfigDSN of the entry's "Setup" library, and Debian's SQLite3
// driver has none, so without this one no program can make a data source on
// it. It never shows anything, whatever the parent window.
//
// Requests:
//   ODBC_ADD_DSN / ODBC_ADD_SYS_DSN        the section [DSN] with Driver=<driver>
//                                          and every other attribute, replacing
//                                          a section of that name
//   ODBC_CONFIG_DSN / ODBC_CONFIG_SYS_DSN  the attributes given, into an
//                                          existing section
//   ODBC_REMOVE_DSN / ODBC_REMOVE_SYS_DSN  the section removed
// A system request goes into the system odbc.ini (the one in ODBCSYSINI, by
// default /etc/odbc.ini) and nowhere else: when that file cannot be written
// the request fails, so that the caller asks the user for a data source
// instead of finding a private one that other accounts would not see. A
// plain request goes where the installer's config mode points.
//
// An ADD whose Database attribute names no existing file is refused: the
// SQLite driver would otherwise create an empty database on first connect,
// and every insert into it would fail for want of the tables.
#include <fcntl.h>
#include <odbcinst.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <strings.h>
#include <utility>
#include <vector>

// unixODBC's own answer for the folder of the system odbc.ini.
extern "C" char* odbcinst_system_file_path(char* buffer);

namespace {

constexpr BOOL kSucceeded = 1;
constexpr BOOL kFailed = 0;

using Attributes = std::vector<std::pair<std::string, std::string>>;

// "key=value\0key=value\0\0"; keys without "=" are kept with an empty value.
Attributes ParseAttributes(const char* list) {
  Attributes parsed;
  if (list == nullptr) return parsed;
  for (const char* item = list; *item != '\0'; item += std::strlen(item) + 1) {
    const char* equals = std::strchr(item, '=');
    if (equals == nullptr) {
      parsed.emplace_back(item, "");
    } else {
      parsed.emplace_back(std::string(item, equals), std::string(equals + 1));
    }
  }
  return parsed;
}

bool SameKey(const std::string& a, const char* b) { return ::strcasecmp(a.c_str(), b) == 0; }

const std::string* Find(const Attributes& attributes, const char* key) {
  for (const auto& [name, value] : attributes) {
    if (SameKey(name, key)) return &value;
  }
  return nullptr;
}

BOOL Fail(DWORD code, const std::string& message) {
  SQLPostInstallerError(code, message.c_str());
  return kFailed;
}

bool SectionExists(const std::string& dsn) {
  char driver[1024] = "";
  return SQLGetPrivateProfileString(dsn.c_str(), "Driver", "", driver, sizeof driver, "ODBC.INI") > 0 &&
         driver[0] != '\0';
}

bool WriteAttributes(const std::string& dsn, const Attributes& attributes) {
  for (const auto& [name, value] : attributes) {
    if (SameKey(name, "DSN") || SameKey(name, "Driver")) continue;
    if (!SQLWritePrivateProfileString(dsn.c_str(), name.c_str(), value.c_str(), "ODBC.INI")) return false;
  }
  return true;
}

// unixODBC writes a system data source only into an odbc.ini that exists,
// and a fresh ODBC folder has none yet. Made empty; the folder must be
// writable, as for the write itself.
void MakeSystemIni() {
  // It answers with a pointer that need not be its buffer.
  char buffer[4096] = "";
  const char* folder = odbcinst_system_file_path(buffer);
  if (folder == nullptr || *folder == '\0') return;
  const std::string path = std::string(folder) + "/odbc.ini";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}

BOOL Add(const char* driver, const std::string& dsn, const Attributes& attributes) {
  if (driver == nullptr || *driver == '\0') return Fail(ODBC_ERROR_INVALID_NAME, "No driver name given");
  if (const std::string* database = Find(attributes, "Database")) {
    struct stat info {};
    if (database->empty() || ::stat(database->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      return Fail(ODBC_ERROR_INVALID_KEYWORD_VALUE, "The database file " + *database + " does not exist");
    }
  }
  // The driver manager hands a system request on as a plain one, with its
  // config mode set to system.
  UWORD mode = ODBC_BOTH_DSN;
  if (SQLGetConfigMode(&mode) && mode == ODBC_SYSTEM_DSN) MakeSystemIni();
  if (!SQLWriteDSNToIni(dsn.c_str(), driver) || !WriteAttributes(dsn, attributes)) {
    return Fail(ODBC_ERROR_WRITING_SYSINFO_FAILED, "Cannot write data source " + dsn + " to odbc.ini");
  }
  return kSucceeded;
}

BOOL Configure(const std::string& dsn, const Attributes& attributes) {
  if (!SectionExists(dsn)) return Fail(ODBC_ERROR_INVALID_DSN, "No data source " + dsn);
  if (!WriteAttributes(dsn, attributes)) {
    return Fail(ODBC_ERROR_WRITING_SYSINFO_FAILED, "Cannot write data source " + dsn + " to odbc.ini");
  }
  return kSucceeded;
}

BOOL Remove(const std::string& dsn) {
  if (!SectionExists(dsn)) return Fail(ODBC_ERROR_INVALID_DSN, "No data source " + dsn);
  if (!SQLRemoveDSNFromIni(dsn.c_str())) {
    return Fail(ODBC_ERROR_REMOVE_DSN_FAILED, "Cannot remove data source " + dsn + " from odbc.ini");
  }
  return kSucceeded;
}

// Puts the installer's config mode back however the request ends.
class ModeScope {
 public:
  explicit ModeScope(bool system) {
    SQLGetConfigMode(&previous_);
    if (system) SQLSetConfigMode(ODBC_SYSTEM_DSN);
  }
  ~ModeScope() { SQLSetConfigMode(previous_); }
  ModeScope(const ModeScope&) = delete;
  ModeScope& operator=(const ModeScope&) = delete;

 private:
  UWORD previous_ = ODBC_BOTH_DSN;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) BOOL INSTAPI ConfigDSN(HWND, WORD request, LPCSTR driver,
                                                                          LPCSTR attributes) {
  const Attributes parsed = ParseAttributes(attributes);
  const std::string* dsn = Find(parsed, "DSN");
  if (dsn == nullptr || !SQLValidDSN(dsn->c_str())) {
    return Fail(ODBC_ERROR_INVALID_DSN, "The attributes name no valid data source");
  }
  const bool system =
      request == ODBC_ADD_SYS_DSN || request == ODBC_CONFIG_SYS_DSN || request == ODBC_REMOVE_SYS_DSN;
  ModeScope mode(system);
  switch (request) {
    case ODBC_ADD_DSN:
    case ODBC_ADD_SYS_DSN:
      return Add(driver, *dsn, parsed);
    case ODBC_CONFIG_DSN:
    case ODBC_CONFIG_SYS_DSN:
      return Configure(*dsn, parsed);
    case ODBC_REMOVE_DSN:
    case ODBC_REMOVE_SYS_DSN:
      return Remove(*dsn);
    default:
      return Fail(ODBC_ERROR_INVALID_REQUEST_TYPE, "Request " + std::to_string(request) + " is not handled");
  }
}
