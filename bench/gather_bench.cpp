// How fast a gather stores a big System log, against how fast the database
// takes the same rows through the same ODBC calls with nothing else to do,
// and how much memory a gather needs as the log grows. Prints figures; never
// run by CTest.
//
// For SQLite (a fresh Corvid.db from sql/sqlite.sql, in WAL mode as
// corvid-install leaves it, through the SQLite3 ODBC driver) and for a
// throwaway PostgreSQL server (through psqlODBC, with its default data
// source and with the one docs/database.md recommends):
//   first gather     GatherLog of a generated log into empty tables
//   re-gather        the same log again: every record is behind the horizon
//   bare ODBC        the rows built beforehand with BuildEventRow, inserted
//                    with the gather's calls (SQLPrepare once, eleven
//                    SQLBindParameter and an SQLExecute a row, SQLTransact
//                    every 101 rows) into empty tables
//   round trip       (PostgreSQL) a prepared SELECT 1 executed once a row:
//                    what one round trip to the server costs with no row to
//                    store, the ceiling of any one-execute-a-row insert
// with, once, the reading and row building alone (no database), which is what
// a gather adds to the bare inserts; and the peak resident memory of the first gathers, for the log and for one
// ten times its size (SQLite only).
//
// Usage: gather_bench [--records N] [--no-big] [--no-postgres] [--cpus same|apart] [--repeat N]
//   --records N     records of the log (default 100000); the big one has 10 N
//   --repeat N      N more first gathers and bare loops (default 5) into fresh
//                   databases, taking turns, and the median of their ratios:
//                   on a shared machine one pair swings by several points
//   --no-big        skip the big log
//   --no-postgres   SQLite only (for a profiler run, say)
//   --cpus same     the gather and the PostgreSQL server on one CPU, so that a
//                   round trip never waits for another CPU to wake up
//   --cpus apart    the gather on one CPU, the server on another: every round
//                   trip wakes the other CPU twice
// Without --cpus the system places them, and the PostgreSQL figures swing
// between the two cases with whatever else the machine runs.
#include <malloc.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_memory.h"
#include "log_reading.h"
#include "config/settings_store.h"
#include "db/event_row.h"
#include "db/event_table.h"
#include "describe/event_sources.h"
#include "gather/gather_run.h"
#include "gather/log_reader.h"
#include "gather/row_builder.h"
#include "platform/base/last_error.h"
#include "platform/eventlog/eventlog.h"
#include "platform/odbc/odbc.h"
#include "platform/windows/qt/qt_windows.h"
#include "resources/dialogs.h"
#include "resources/strings.h"
#include "common/computer_list.h"
#include "sim_network.h"
#include "support/odbc_connection.h"
#include "support/odbc_sandbox.h"
#include "support/postgres_server.h"

namespace {

using bench::ResetPeak;
using bench::StatusKib;
using Clock = std::chrono::steady_clock;

constexpr const char* kComputer = "BENCH";
constexpr const char* kBigComputer = "BIGBENCH";
constexpr uint32_t kChunk = 100000;  // records a Generate call, to keep the generator small

// --- The simulated network ----------------------------------------------------

bool HaveMessageFiles() { return std::filesystem::exists(std::string(CORVID_SAMPLE_DLLS) + "/corvsvc.dll"); }

// A computer whose System log holds `count` generated records, with the
// sample's System sources and (when built) their message files, accounts
// for its SIDs, and one source without a registration.
bool BuildComputer(ntsim::Network& network, const char* name, uint32_t count, std::string& error) {
  ntsim::ComputerSpec computer;
  computer.name = name;
  computer.role = ntsim::Role::kServer;
  computer.maxLogSize = 0x7FFF0000;  // never wraps
  if (!network.AddComputer(computer, error)) return false;
  for (uint32_t rid : {500u, 1000u}) {
    if (!network.AddAccount(name, rid == 500 ? "Administrator" : "jdoe", rid, error)) return false;
  }
  const std::string folder = "%SystemRoot%\\system32\\";
  ntsim::SourceSpec scm{name, "System", "Service Control Manager", folder + "corvsvc.dll", "", folder + "corvparm.dll",
                        0};
  ntsim::SourceSpec eventLog{name, "System", "EventLog", folder + "corvsys.dll", "", "", 0};
  ntsim::SourceSpec disk{name, "System", "Disk", folder + "corvdrv.dll", folder + "corvdrv.dll", "", 2};
  for (const auto& source : {scm, eventLog, disk}) {
    if (!network.AddSource(source, error)) return false;
  }
  if (HaveMessageFiles()) {
    for (const char* file : {"corvsvc.dll", "corvparm.dll", "corvsys.dll", "corvdrv.dll"}) {
      if (!network.PutFile(name, std::string(CORVID_SAMPLE_DLLS) + "/" + file,
                           std::string("C:\\WINNT\\system32\\") + file, error)) {
        return false;
      }
    }
  }
  ntsim::GenerateSpec spec;
  spec.sources = {"Service Control Manager:7000/7001/7026/7035/7036/0xC0001B58", "EventLog:6005/6006/6008/6009",
                  "Disk:7/11/15", "Ghost:1/2/3"};
  spec.categories = 2;
  spec.parameterMarkers = {"%%1058", "%%1537", "%%1541"};
  spec.step = 30;
  for (uint32_t done = 0, round = 0; done < count; done += spec.count, ++round) {
    spec.count = std::min(kChunk, count - done);
    spec.seed = 1000 + round;
    // Each chunk starts after the latest time the one before can reach.
    spec.start = 1767225600u + round * kChunk * 2 * spec.step;  // from 2026-01-01
    if (!network.Generate(name, "System", spec, error)) return false;
  }
  return true;
}

// Builds the network in a child process, so that the generator's memory
// never counts in this process's figures.
bool BuildNetwork(const std::string& root, uint32_t records, bool big) {
  const pid_t child = ::fork();
  if (child == 0) {
    ntsim::Network network(root);
    std::string error;
    bool ok = BuildComputer(network, kComputer, records, error);
    if (ok && big) ok = BuildComputer(network, kBigComputer, records * 10, error);
    if (!ok) std::fprintf(stderr, "gather_bench: %s\n", error.c_str());
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// --- ODBC of the benchmark's own ---------------------------------------------

class Connection : public testing_support::OdbcConnection {
 public:
  Connection(const std::string& dsn, bool autocommit) : OdbcConnection(dsn, autocommit) {}

  // Rows of `table` for the computer, or -1.
  long Count(const char* table, const char* computer) {
    const std::string sql = std::string("SELECT Count(*) FROM ") + table + " WHERE Computer='" + computer + "'";
    SQLINTEGER count = 0;
    if (!Check(odbc::SQLExecDirect(statement_, Text(sql.c_str()), SQL_NTS)) || !Check(odbc::SQLFetch(statement_)) ||
        !Check(odbc::SQLGetData(statement_, 1, SQL_C_LONG, &count, sizeof count, nullptr)) ||
        !Check(odbc::SQLCloseCursor(statement_))) {
      return -1;
    }
    return count;
  }

};

// --- Phases -----------------------------------------------------------------

// CPU seconds of this process so far, in user mode and in the kernel.
struct Cpu {
  double user = 0;
  double system = 0;
  static Cpu Now() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return {usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6, usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6};
  }
};

struct Figure {
  bool ok = false;
  uint32_t records = 0;
  double seconds = 0;
  Cpu cpu;  // spent during the phase
  long startKib = 0;  // resident at the start
  long peakKib = 0;   // the most resident during the phase
  double Rate() const { return seconds > 0 ? records / seconds : 0; }
};

// Time, processor and peak memory of `work`, which fills in whether it
// succeeded and how many records it did.
template <class Work>
Figure Measure(Work work) {
  Figure f;
  f.startKib = ResetPeak();
  const Cpu before = Cpu::Now();
  const auto start = Clock::now();
  work(f);
  f.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const Cpu after = Cpu::Now();
  f.cpu = {after.user - before.user, after.system - before.system};
  f.peakKib = StatusKib("VmHWM");
  return f;
}

// One GatherLog of the computer's System log into the data source, the
// reader showing its progress in `progress` (none for a silent run).
void GatherInto(Figure& f, const char* computer, corvid::GatherProgress* progress) {
  corvid::LogReader reader("System", progress);
  f.ok = corvid::GatherLog(reader, computer);
  f.records = reader.recordsProcessed;
  if (!f.ok) std::fprintf(stderr, "gather_bench: gather failed, status %d, %s\n", reader.status, reader.errorText.c_str());
}

Figure Gather(const std::string& dsn, const char* computer) {
  corvid::Settings.DataSource.DSN = dsn;
  return Measure([&](Figure& f) { GatherInto(f, computer, nullptr); });
}

// The progress dialog's part of an interactive gather: a real "Gathering in
// progress" dialog on this (the interface) thread, updated by the worker
// with sent messages as the program's own dialog is.
class DialogProgress final : public corvid::GatherProgress {
 public:
  explicit DialogProgress(HWND dialog) : dialog_(dialog) {}
  HWND Window() override { return dialog_; }
  void SetText(const char* text) override { SetDlgItemTextA(dialog_, 1025, text); }
  void SetRange(WORD maximum) override { SendDlgItemMessageA(dialog_, 1024, PBM_SETRANGE, 0, MAKELPARAM(0, maximum)); }
  void SetStep(DWORD step) override { SendDlgItemMessageA(dialog_, 1024, PBM_SETSTEP, step, 0); }
  void SetPosition(DWORD position) override { SendDlgItemMessageA(dialog_, 1024, PBM_SETPOS, position, 0); }
  void Finished() override {}

 private:
  HWND dialog_;
};

INT_PTR QuietDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// GatherLog on a worker thread behind the progress dialog, the interface
// thread running its events meanwhile.
Figure GatherWithProgress(const std::string& dsn, const char* computer) {
  static char name[] = "gather_bench";
  static char* arguments[] = {name, nullptr};
  static int count = 1;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (!platform::qt::InstallQtWindowSystem(count, arguments)) return Figure{};
  HWND dialog = CreateDialogParamA(resources::ProgramInstance(), MakeIntResource(resources::IDD_GATHER_PROGRESS),
                                   nullptr, QuietDialog, 0);
  DialogProgress progress(dialog);
  corvid::Settings.DataSource.DSN = dsn;
  const Figure figure = Measure([&](Figure& f) {
    // Waits as the modal dialog's loop waits: asleep until a message comes.
    QEventLoop loop;
    std::thread worker([&] {
      GatherInto(f, computer, &progress);
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
  });
  DestroyWindow(dialog);
  return figure;
}

// The rows of every record of the log, built as the gather builds them.
bool BuildRows(const char* computer, std::vector<corvid::EventRow>& rows) {
  corvid::EventSourceTable table;
  if (!corvid::BuildEventSourceTable(computer, "System", table)) return false;
  HANDLE handle = OpenEventLogA(computer, "System");
  if (handle == nullptr) return false;
  DWORD count = 0;
  GetNumberOfEventLogRecords(handle, &count);
  CloseEventLog(handle);
  rows.reserve(count);
  bench::ReadWholeLog(computer, "System", [&](const EVENTLOGRECORD& record) {
    rows.push_back(corvid::BuildEventRow(computer, table, record, record.Length));
  });
  return rows.size() == count;
}

// Reading and row building alone, no database: what the gather adds to the
// bare inserts.
Figure Build(const char* computer, std::vector<corvid::EventRow>& rows) {
  return Measure([&](Figure& f) {
    f.ok = BuildRows(computer, rows);
    f.records = static_cast<uint32_t>(rows.size());
  });
}

Figure Bare(const std::string& dsn, std::vector<corvid::EventRow>& rows) {
  return Measure([&](Figure& f) {
    f.records = static_cast<uint32_t>(rows.size());
    // The writer's own calls (the same prepare, binds, executes and commits
    // every 101 rows), without the reading and the row making.
    corvid::OdbcSession session;
    corvid::DataSourceInfo source;
    source.DSN = dsn;
    f.ok = corvid::OpenSession(session) && corvid::ConnectSession(session, nullptr, source) &&
           corvid::PrepareInsert(session, nullptr, "System");
    size_t pending = 0;
    for (size_t i = 0; f.ok && i < rows.size(); ++i) {
      f.ok = corvid::InsertEventRow(session, nullptr, rows[i]);
      if (f.ok && ++pending == 101) {
        f.ok = corvid::CommitSession(session, nullptr);
        pending = 0;
      }
    }
    f.ok = f.ok && corvid::CommitSession(session, nullptr) && corvid::EndSession(session, nullptr);
    if (!f.ok) std::fprintf(stderr, "gather_bench: bare insert failed: %s %s\n", session.sqlState, session.messageText);
    corvid::CloseSession(session);
  });
}

// `count` executes of a prepared SELECT 1, committing every 101 as the
// inserts do: the round trips alone, with no row to bind or store.
Figure RoundTrips(const std::string& dsn, uint32_t count) {
  return Measure([&](Figure& f) {
    f.records = count;
    corvid::OdbcSession session;
    corvid::DataSourceInfo source;
    source.DSN = dsn;
    static char select[] = "SELECT 1";
    f.ok = corvid::OpenSession(session) && corvid::ConnectSession(session, nullptr, source) &&
           corvid::Succeeded(odbc::SQLPrepare(session.statement, reinterpret_cast<SQLCHAR*>(select), SQL_NTS));
    for (uint32_t i = 0; f.ok && i < count; ++i) {
      f.ok = corvid::Succeeded(odbc::SQLExecute(session.statement)) &&
             corvid::Succeeded(odbc::SQLFreeStmt(session.statement, SQL_CLOSE)) &&
             ((i + 1) % 101 != 0 || corvid::CommitSession(session, nullptr));
    }
    f.ok = f.ok && corvid::CommitSession(session, nullptr) && corvid::EndSession(session, nullptr);
    if (!f.ok) std::fprintf(stderr, "gather_bench: round trips failed\n");
    corvid::CloseSession(session);
  });
}

// Puts the calling thread, and the threads and processes it starts from now
// on, on the `index`th CPU this process may use.
bool Pin(int index) {
  cpu_set_t allowed;
  if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0) return false;
  static cpu_set_t first = allowed;  // before any pinning
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &first) && index-- == 0) {
      cpu_set_t one;
      CPU_ZERO(&one);
      CPU_SET(cpu, &one);
      return ::sched_setaffinity(0, sizeof one, &one) == 0;
    }
  }
  return false;
}

void Print(const char* database, const char* phase, const Figure& f) {
  if (!f.ok) {
    std::printf("%-10s  %-22s  FAILED\n", database, phase);
    return;
  }
  std::printf("%-10s  %-22s  %8u  %7.2f s  %9.0f rec/s  %6.2f s  %6.2f s  %7.1f MiB (+%.1f)\n", database,
              phase, f.records, f.seconds, f.Rate(), f.cpu.user, f.cpu.system, f.peakKib / 1024.0,
              (f.peakKib - f.startKib) / 1024.0);
  std::fflush(stdout);
}

void CheckStored(const std::string& dsn, const char* computer, uint32_t expected) {
  Connection c(dsn, true);
  const long stored = c.Count("System", computer);
  if (stored != static_cast<long>(expected)) {
    std::printf("  !! %s holds %ld rows of %s, not %u\n", dsn.c_str(), stored, computer, expected);
  }
}

// With the database inside the process (SQLite), the processor time is all
// the work, and other load on the machine moves it far less than the clock.
void Ratio(const char* database, const char* what, const Figure& gather, const Figure& bare, bool inProcess = false) {
  if (!gather.ok || !bare.ok) return;
  std::printf("%-10s  first gather / bare ODBC%s%s = %.0f%%", database, *what != '\0' ? ", " : "", what,
              100.0 * gather.Rate() / bare.Rate());
  const double gatherCpu = gather.cpu.user + gather.cpu.system;
  if (inProcess && gatherCpu > 0) {
    std::printf(" (by processor time %.0f%%)", 100.0 * (bare.cpu.user + bare.cpu.system) / gatherCpu);
  }
  std::printf("\n");
}

// The median ratio of `times` first gathers and bare loops, each into a
// database of its own, one after the other.
bool Repeated(const testing_support::OdbcSandbox& sandbox, std::vector<corvid::EventRow>& rows, int times) {
  std::vector<double> byClock, byProcessor;
  for (int i = 0; i < times; ++i) {
    std::string why;
    const std::string gatherDsn = testing_support::OdbcSandbox::UniqueName("BenchGatherAgain");
    const std::string bareDsn = testing_support::OdbcSandbox::UniqueName("BenchBareAgain");
    const std::filesystem::path gatherDb = sandbox.AddSqliteEventsDataSource(gatherDsn, &why, "gather-again.db");
    const std::filesystem::path bareDb = sandbox.AddSqliteEventsDataSource(bareDsn, &why, "bare-again.db");
    if (gatherDb.empty() || bareDb.empty()) {
      std::fprintf(stderr, "gather_bench: %s\n", why.c_str());
      return false;
    }
    const Figure gather = Gather(gatherDsn, kComputer);
    const Figure bare = Bare(bareDsn, rows);
    if (!gather.ok || !bare.ok) return false;
    byClock.push_back(gather.Rate() / bare.Rate());
    byProcessor.push_back((bare.cpu.user + bare.cpu.system) / (gather.cpu.user + gather.cpu.system));
    for (const auto& db : {gatherDb, bareDb}) {
      for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(db.string() + suffix);
    }
  }
  std::sort(byClock.begin(), byClock.end());
  std::sort(byProcessor.begin(), byProcessor.end());
  std::printf("SQLite      first gather / bare ODBC, median of %d more = %.0f%% (%.0f to %.0f%%; by processor time %.0f%%)\n",
              times, 100 * byClock[byClock.size() / 2], 100 * byClock.front(), 100 * byClock.back(),
              100 * byProcessor[byProcessor.size() / 2]);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t records = 100000;
  bool big = true;
  bool postgres = true;
  bool pinned = false, apart = false;
  int repeat = 5;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-big") == 0) {
      big = false;
    } else if (std::strcmp(argv[i], "--no-postgres") == 0) {
      postgres = false;
    } else if (std::strcmp(argv[i], "--cpus") == 0 && i + 1 < argc &&
               (std::strcmp(argv[i + 1], "same") == 0 || std::strcmp(argv[i + 1], "apart") == 0)) {
      apart = std::strcmp(argv[++i], "apart") == 0;
      if (!Pin(apart ? 1 : 0) || !Pin(0)) {
        std::fprintf(stderr, "gather_bench: cannot take the CPUs for --cpus\n");
        return 1;
      }
      pinned = true;
    } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
      records = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else {
      std::fprintf(stderr,
                   "usage: gather_bench [--records N] [--no-big] [--no-postgres] [--cpus same|apart] [--repeat N]\n");
      return 2;
    }
  }
  if (testing_support::SqliteOdbcDriver().empty()) {
    std::fprintf(stderr, "gather_bench: the SQLite3 ODBC driver is not installed\n");
    return 1;
  }
  const std::filesystem::path home = testing_support::MakeTempFolder();
  setenv("CORVID_HOME", home.c_str(), 1);
  unsetenv("CORVID_NETWORK");
  setenv("TZ", "UTC", 1);
  tzset();

  std::printf("building %u records%s...\n", records,
              big ? (" and " + std::to_string(records * 10) + " records").c_str() : "");
  std::fflush(stdout);
  if (!BuildNetwork((home / "network").string(), records, big)) {
    std::fprintf(stderr, "gather_bench: could not build the network\n");
    return 1;
  }
  std::printf("System log of %u records; descriptions %s\n\n", records,
              HaveMessageFiles() ? "from the sample message files" : "without message files (not built)");
  std::printf("%-10s  %-22s  %8s  %9s  %15s  %8s  %8s  %s\n", "database", "phase", "records", "time", "rate",
              "user", "kernel", "peak RSS (+ over start)");

  corvid::Settings = corvid::AppSettings{};
  int failures = 0;
  {
    testing_support::OdbcSandbox sandbox;
    std::string why;
    const std::string gatherDsn = testing_support::OdbcSandbox::UniqueName("BenchGather");
    const std::string bareDsn = testing_support::OdbcSandbox::UniqueName("BenchBare");
    if (sandbox.AddSqliteEventsDataSource(gatherDsn, &why, "gather.db").empty() ||
        sandbox.AddSqliteEventsDataSource(bareDsn, &why, "bare.db").empty()) {
      std::fprintf(stderr, "gather_bench: %s\n", why.c_str());
      return 1;
    }
    const Figure first = Gather(gatherDsn, kComputer);
    Print("SQLite", "first gather", first);
    CheckStored(gatherDsn, kComputer, records);
    Print("SQLite", "unchanged re-gather", Gather(gatherDsn, kComputer));
    CheckStored(gatherDsn, kComputer, records);
    const std::string dialogDsn = testing_support::OdbcSandbox::UniqueName("BenchDialog");
    if (sandbox.AddSqliteEventsDataSource(dialogDsn, &why, "dialog.db").empty()) return 1;
    Print("SQLite", "first, with dialog", GatherWithProgress(dialogDsn, kComputer));
    CheckStored(dialogDsn, kComputer, records);
    if (big) {
      const std::string bigDsn = testing_support::OdbcSandbox::UniqueName("BenchBig");
      if (sandbox.AddSqliteEventsDataSource(bigDsn, &why, "big.db").empty()) return 1;
      Print("SQLite", "first gather, 10x", Gather(bigDsn, kBigComputer));
      CheckStored(bigDsn, kBigComputer, records * 10);
    }
    Figure bare;
    {
      std::vector<corvid::EventRow> rows;
      const Figure build = Build(kComputer, rows);
      if (!build.ok) return 1;
      Print("-", "read + build rows", build);
      bare = Bare(bareDsn, rows);
      Print("SQLite", "bare ODBC insert", bare);
      CheckStored(bareDsn, kComputer, records);
      Ratio("SQLite", "", first, bare, true);
      if (repeat > 0 && !Repeated(sandbox, rows, repeat)) return 1;
    }
    failures += !first.ok + !bare.ok;
  }
  std::printf("\n");
  if (postgres) {
    // The server, and the backends it forks, keep the CPU they start on.
    if (pinned) Pin(apart ? 1 : 0);
    testing_support::PostgresServer server;
    if (pinned) Pin(0);
    if (testing_support::PostgresOdbcDriver().empty()) {
      std::printf("PostgreSQL: skipped, psqlODBC is not installed\n");
    } else if (!server.ok()) {
      std::printf("PostgreSQL: skipped, %s\n", server.why().c_str());
    } else {
      testing_support::OdbcSandbox sandbox;
      const std::string dsn = testing_support::OdbcSandbox::UniqueName("BenchPostgres");
      sandbox.AddDataSource(dsn, testing_support::kPostgresDriverEntry, server.DataSourceAttributes());
      // The data source as docs/database.md recommends it: no savepoint
      // around every statement, no communication log.
      auto attributes = server.DataSourceAttributes();
      attributes.push_back({"Protocol", "7.4-1"});
      attributes.push_back({"CommLog", "0"});
      const std::string documentedDsn = testing_support::OdbcSandbox::UniqueName("BenchPostgresDoc");
      sandbox.AddDataSource(documentedDsn, testing_support::kPostgresDriverEntry, attributes);
      const auto truncate = [&server] {
        std::string output;
        if (!server.Psql("TRUNCATE system", &output)) std::fprintf(stderr, "gather_bench: %s\n", output.c_str());
      };

      const Figure first = Gather(dsn, kComputer);
      Print("PostgreSQL", "first gather", first);
      CheckStored(dsn, kComputer, records);
      Print("PostgreSQL", "unchanged re-gather", Gather(dsn, kComputer));
      CheckStored(dsn, kComputer, records);
      // The defaults again on a warm server, then the documented data source.
      truncate();
      const Figure defaults = Gather(dsn, kComputer);
      Print("PostgreSQL", "first, default DSN", defaults);
      CheckStored(dsn, kComputer, records);
      truncate();
      const Figure documented = Gather(documentedDsn, kComputer);
      Print("PostgreSQL", "first, documented DSN", documented);
      CheckStored(documentedDsn, kComputer, records);
      Figure bare, bareDocumented;
      {
        std::vector<corvid::EventRow> rows;
        if (!BuildRows(kComputer, rows)) return 1;
        truncate();
        bare = Bare(dsn, rows);
        Print("PostgreSQL", "bare, default DSN", bare);
        CheckStored(dsn, kComputer, records);
        truncate();
        bareDocumented = Bare(documentedDsn, rows);
        Print("PostgreSQL", "bare, documented DSN", bareDocumented);
        CheckStored(documentedDsn, kComputer, records);
      }
      const Figure trips = RoundTrips(documentedDsn, records);
      Print("PostgreSQL", "round trip alone", trips);
      Ratio("PostgreSQL", "default DSN", defaults, bare);
      Ratio("PostgreSQL", "documented DSN", documented, bareDocumented);
      if (defaults.ok && documented.ok) {
        std::printf("PostgreSQL  documented DSN / defaults = %.0f%% (%.0f against %.0f rec/s)\n",
                    100.0 * documented.Rate() / defaults.Rate(), documented.Rate(), defaults.Rate());
      }
      failures += !first.ok + !defaults.ok + !documented.ok + !bare.ok + !bareDocumented.ok + !trips.ok;
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return failures == 0 ? 0 : 1;
}
