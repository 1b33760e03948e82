// A throwaway PostgreSQL server: a new cluster in a temp folder, on a Unix
// socket there only, trust authentication for "corvid" and the tables of
// sql/postgresql.sql. As root (CI) it runs as "nobody", which initdb and
// postgres require. It dies with the test. SharedPostgres() starts one per
// test program on first use; a test skips when !ok().
#pragma once

#include <glob.h>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>
#include "support/subprocess.h"

#ifndef CORVID_SOURCE_DIR
#error "postgres_server.h needs CORVID_SOURCE_DIR, the source tree, for sql/postgresql.sql"
#endif

namespace testing_support {

class PostgresServer {
 public:
  static constexpr int kPort = 5432;  // alone in its socket folder, so never taken
  static constexpr const char* kUser = "corvid";
  static constexpr const char* kDatabase = "postgres";  // made by initdb

  PostgresServer() { why_ = Start(); }
  ~PostgresServer() {
    if (server_ > 0 && ::kill(server_, SIGINT) == 0) WaitOrKill(server_, std::chrono::seconds(10));  // fast shutdown
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }

  bool ok() const { return why_.empty(); }
  const std::string& why() const { return why_; }

  // The attributes of a psqlODBC data source on the test database.
  std::vector<std::pair<std::string, std::string>> DataSourceAttributes() const {
    return {{"Servername", folder_.string()}, {"Port", std::to_string(kPort)}, {"Database", kDatabase},
            {"Username", kUser}};
  }

  // Runs SQL with psql, outside ODBC; its unaligned, tuples-only output goes
  // to `output`.
  bool Psql(const std::string& sql, std::string* output = nullptr) const {
    const std::string log = (folder_ / "psql.out").string();
    const int status = Run({bin_ + "/psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", folder_.string(),
                            "-p", std::to_string(kPort), "-U", kUser, "-d", kDatabase, "-c", sql},
                           "/dev/null", log, std::chrono::seconds(30), InFolder(false));
    if (output != nullptr) *output = ReadFile(log);
    return status == 0;
  }

 private:
  std::string Start() {
    glob_t found{};
    if (::glob("/usr/lib/postgresql/*/bin/postgres", 0, nullptr, &found) == 0) {
      bin_ = std::filesystem::path(found.gl_pathv[found.gl_pathc - 1]).parent_path();  // the newest
    }
    ::globfree(&found);
    if (bin_.empty()) return "no PostgreSQL server installed (/usr/lib/postgresql/*/bin)";
    const bool root = ::geteuid() == 0;
    const passwd* nobody = root ? ::getpwnam("nobody") : nullptr;
    if (root && nobody == nullptr) return "running as root and there is no user \"nobody\" to run PostgreSQL as";
    if (root) std::tie(uid_, gid_) = std::pair(nobody->pw_uid, nobody->pw_gid);
    // Under /tmp itself: the socket path must stay short, and "nobody" must
    // be able to reach the folder, which a private TMPDIR may not allow.
    std::string pattern = "/tmp/corvid-pg-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return "cannot make a folder under /tmp";
    folder_ = pattern;
    if (root && ::chown(folder_.c_str(), uid_, gid_) != 0) return "cannot hand the folder to nobody";
    ::chmod(folder_.c_str(), 0755);

    const std::string data = (folder_ / "data").string();
    const std::string log = (folder_ / "postgres.log").string();
    if (Run({bin_ + "/initdb", "-D", data, "-U", kUser, "-A", "trust", "-E", "UTF8", "--locale=C", "--no-sync"},
            "/dev/null", log, std::chrono::seconds(60), InFolder(root)) != 0) {
      return "initdb failed: " + ReadFile(log);
    }
    server_ = Spawn({bin_ + "/postgres", "-D", data, "-k", folder_.string(), "-p", std::to_string(kPort), "-c",
                     "listen_addresses=", "-c", "fsync=off", "-c", "synchronous_commit=off", "-c",
                     "full_page_writes=off", "-c", "max_connections=20", "-c", "shared_buffers=16MB"},
                    "/dev/null", log, log, InFolder(root));
    // postmaster.pid ends with the server's state: "ready" once it takes connections.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ReadFile(data + "/postmaster.pid").find("\nready") == std::string::npos) {
      if (server_ < 0 || WaitFor(server_, std::chrono::milliseconds(20)) >= 0) {
        server_ = -1;
        return "postgres ended at start: " + ReadFile(log);
      }
      if (std::chrono::steady_clock::now() > deadline) return "postgres did not start in time: " + ReadFile(log);
    }
    std::string output;
    const bool tables = Psql(ReadFile(CORVID_SOURCE_DIR "/sql/postgresql.sql"), &output);
    return tables ? "" : "cannot create the tables: " + output;
  }

  // Spawn's `prepare`: in the folder, as "nobody" for root, dying with the test.
  std::function<bool()> InFolder(bool dropRoot) const {
    return [this, dropRoot, parent = ::getpid()] {
      return ::chdir(folder_.c_str()) == 0 &&
             (!dropRoot || (::setgroups(0, nullptr) == 0 && ::setgid(gid_) == 0 && ::setuid(uid_) == 0)) &&
             // (Set after the change of user, which would clear it.)
             ::prctl(PR_SET_PDEATHSIG, SIGQUIT) == 0 && ::getppid() == parent;
    };
  }

  std::string bin_;
  std::filesystem::path folder_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  pid_t server_ = -1;
  std::string why_;
};

inline PostgresServer& SharedPostgres() {
  static PostgresServer server;
  return server;
}

}  // namespace testing_support
