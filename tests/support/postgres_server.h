// A throwaway PostgreSQL server: a new cluster in a temp folder, on a Unix
// socket there only (so servers run side by side), trust authentication for
// "corvid" and a database "corvid" with the tables of sql/postgresql.sql.
// initdb and postgres refuse root, which CI is, so then it runs as "nobody".
// It dies with the test (parent-death signal). SharedPostgres() starts one
// per test program on first use; a test skips when !ok().
#pragma once

#include <fcntl.h>
#include <glob.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
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
  static constexpr const char* kDatabase = "corvid";

  explicit PostgresServer(const std::string& schemaFile = std::string(CORVID_SOURCE_DIR) + "/sql/postgresql.sql") {
    why_ = Start(schemaFile);
  }
  ~PostgresServer() {
    Stop();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  bool ok() const { return why_.empty(); }
  const std::string& why() const { return why_; }
  const std::filesystem::path& socketFolder() const { return folder_; }

  // The attributes of a psqlODBC data source on the test database.
  std::vector<std::pair<std::string, std::string>> DataSourceAttributes() const {
    return {{"Servername", folder_.string()},
            {"Port", std::to_string(kPort)},
            {"Database", kDatabase},
            {"Username", kUser}};
  }

  // Runs SQL with psql, outside ODBC; the unaligned, tuples-only output goes
  // to `output`. False when psql fails.
  bool Psql(const std::string& sql, std::string* output = nullptr, const char* database = kDatabase) const {
    const std::string log = (folder_ / "psql.out").string();
    const int status = Run({bin_ + "/psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h",
                            folder_.string(), "-p", std::to_string(kPort), "-U", kUser, "-d", database, "-c", sql},
                           log, false, std::chrono::seconds(30));
    if (output != nullptr) *output = ReadAll(log);
    return status == 0;
  }

 private:
  std::string Start(const std::string& schemaFile) {
    bin_ = PostgresBinaries();
    if (bin_.empty()) return "no PostgreSQL server installed (/usr/lib/postgresql/*/bin)";
    const bool root = ::geteuid() == 0;
    if (root) {
      const passwd* nobody = ::getpwnam("nobody");
      if (nobody == nullptr) return "running as root and there is no user \"nobody\" to run PostgreSQL as";
      uid_ = nobody->pw_uid;
      gid_ = nobody->pw_gid;
    }
    // Under /tmp itself: the socket path must stay short, and "nobody" must
    // be able to reach the folder, which a private TMPDIR may not allow.
    std::string pattern = "/tmp/corvid-pg-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return "cannot make a folder under /tmp";
    folder_ = pattern;
    if (root && ::chown(folder_.c_str(), uid_, gid_) != 0) return "cannot hand the folder to nobody";
    ::chmod(folder_.c_str(), 0755);

    const std::string data = (folder_ / "data").string();
    const std::string initLog = (folder_ / "initdb.log").string();
    if (Run({bin_ + "/initdb", "-D", data, "-U", kUser, "-A", "trust", "-E", "UTF8", "--locale=C", "--no-sync"},
            initLog, root, std::chrono::seconds(60)) != 0) {
      return "initdb failed: " + ReadAll(initLog);
    }

    const std::string serverLog = (folder_ / "postgres.log").string();
    server_ = Spawn({bin_ + "/postgres", "-D", data, "-k", folder_.string(), "-p", std::to_string(kPort), "-c",
                     "listen_addresses=", "-c", "fsync=off", "-c", "synchronous_commit=off", "-c",
                     "full_page_writes=off", "-c", "max_connections=20", "-c", "shared_buffers=16MB"},
                    serverLog, root, true);
    if (server_ <= 0) return "cannot start postgres";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!Ready(data)) {
      int status = 0;
      if (::waitpid(server_, &status, WNOHANG) == server_) {
        server_ = -1;
        return "postgres ended at start: " + ReadAll(serverLog);
      }
      if (std::chrono::steady_clock::now() > deadline) return "postgres did not start in time: " + ReadAll(serverLog);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    std::string output;
    if (!Psql(std::string("CREATE DATABASE ") + kDatabase, &output, "postgres")) {
      return "cannot create the test database: " + output;
    }
    const std::string schemaLog = (folder_ / "schema.out").string();
    if (Run({bin_ + "/psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", folder_.string(), "-p",
             std::to_string(kPort), "-U", kUser, "-d", kDatabase, "-f", schemaFile},
            schemaLog, false, std::chrono::seconds(30)) != 0) {
      return "cannot create the tables: " + ReadAll(schemaLog);
    }
    return "";
  }

  void Stop() {
    if (server_ <= 0) return;
    ::kill(server_, SIGINT);  // fast shutdown: no waiting for clients
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (::waitpid(server_, &status, WNOHANG) != server_) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(server_, SIGKILL);
        ::waitpid(server_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    server_ = -1;
  }

  // postmaster.pid ends with the server's state; "ready" means it accepts
  // connections.
  static bool Ready(const std::string& data) {
    std::ifstream pid(data + "/postmaster.pid");
    std::string line;
    std::string last;
    while (std::getline(pid, line)) last = line;
    return last.rfind("ready", 0) == 0;
  }

  static std::string PostgresBinaries() {
    glob_t found{};
    std::string newest;
    if (::glob("/usr/lib/postgresql/*/bin/postgres", 0, nullptr, &found) == 0 && found.gl_pathc > 0) {
      newest = std::filesystem::path(found.gl_pathv[found.gl_pathc - 1]).parent_path().string();
    }
    ::globfree(&found);
    return newest;
  }

  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  pid_t Spawn(const std::vector<std::string>& argv, const std::string& log, bool dropRoot, bool dieWithUs) const {
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child != 0) return child;
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int none = ::open("/dev/null", O_RDONLY);
    ::dup2(none, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    if (::chdir(folder_.c_str()) != 0) ::_exit(126);
    if (dropRoot && (::setgroups(0, nullptr) != 0 || ::setgid(gid_) != 0 || ::setuid(uid_) != 0)) ::_exit(126);
    // Set after the change of user, which would clear it.
    if (dieWithUs && (::prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || ::getppid() != parent)) ::_exit(126);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }

  // The exit status, or -1 when it failed to end in time (then killed).
  int Run(const std::vector<std::string>& argv, const std::string& log, bool dropRoot,
          std::chrono::seconds limit) const {
    const pid_t child = Spawn(argv, log, dropRoot, true);
    if (child <= 0) return -1;
    return WaitOrKill(child, limit);
  }

  std::string bin_;
  std::filesystem::path folder_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  pid_t server_ = -1;
  std::string why_;
};

// The server of this test program, started when first asked for and stopped
// when the program ends.
inline PostgresServer& SharedPostgres() {
  static PostgresServer server;
  return server;
}

}  // namespace testing_support
