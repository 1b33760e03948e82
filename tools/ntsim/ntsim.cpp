// ntsim: builds and changes a simulated Windows NT network in a network root
// (see docs/network-root.md), for demonstrations, tests and benchmarks.
//
//   ntsim [--network DIR] COMMAND ARGUMENTS...
//   ntsim [--network DIR] run SCRIPT      one command a line, '#' comments,
//                                         ${NAME} taken from the environment
//
// The network root is DIR, else $CORVID_NETWORK, else $CORVID_HOME/network.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/files/paths.h"
#include "common/command_line.h"
#include "sim_network.h"

namespace {

using Args = std::vector<std::string>;

const char kUsage[] =
    "usage: ntsim [--network DIR] COMMAND ...\n"
    "  add-computer NAME --role pdc|bdc|server|workstation [--version 4.0]\n"
    "               [--system-root C:\\WINNT] [--max-size BYTES] [--comment TEXT] [--off]\n"
    "  add-source NAME LOG SOURCE [--event-file V] [--category-file V]\n"
    "               [--parameter-file V] [--categories N]\n"
    "  add-account NAME USER RID\n"
    "  put-file NAME HOST-FILE WINDOWS-PATH\n"
    "  report NAME LOG --source S [--type error|warning|information|success|failure|N]\n"
    "               [--category N] [--id N] [--string TEXT]... [--sid S-1-...] [--data HEX]\n"
    "               [--data-size N] [--generated TIME] [--written TIME] [--computer C]\n"
    "  generate NAME LOG --count N [--seed N] [--start TIME] [--step SECONDS]\n"
    "               [--sources A,B] [--ids 1,2] [--categories N] [--parameters %%1,%%2]\n"
    "  set-max-size NAME LOG BYTES\n"
    "  clear NAME LOG\n"
    "  run SCRIPT\n"
    "  --help, --version\n"
    "TIME is seconds since 1970 or 2024-07-01T12:00:00Z; numbers may be 0x hex.\n";

// Options after the positional arguments: --name value, or a bare --flag.
struct Options {
  Args positional;
  std::multimap<std::string, std::string> named;

  bool Has(const std::string& name) const { return named.count(name) != 0; }
  std::string Get(const std::string& name, const std::string& fallback = "") const {
    auto it = named.find(name);
    return it == named.end() ? fallback : it->second;
  }
};

bool ParseOptions(const Args& args, size_t from, Options& options, std::string& error) {
  static const char* const kFlags[] = {"--off"};
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0) {
      options.positional.push_back(arg);
      continue;
    }
    bool flag = false;
    for (const char* f : kFlags) flag = flag || arg == f;
    if (flag) {
      options.named.emplace(arg, "");
    } else if (i + 1 < args.size()) {
      options.named.emplace(arg, args[++i]);
    } else {
      error = arg + " needs a value";
      return false;
    }
  }
  return true;
}

bool Number(const std::string& text, uint32_t& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || value > 0xFFFFFFFFull || text[0] == '-') return false;
  out = static_cast<uint32_t>(value);
  return true;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    const size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

bool Hex(const std::string& text, std::vector<uint8_t>& out) {
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    uint32_t byte = 0;
    if (!Number("0x" + text.substr(i, 2), byte)) return false;
    out.push_back(static_cast<uint8_t>(byte));
  }
  return true;
}

bool EventType(const std::string& text, uint16_t& out) {
  static const std::map<std::string, uint16_t> kNames = {
      {"error", 1}, {"warning", 2}, {"information", 4}, {"success", 8}, {"failure", 16}};
  if (auto it = kNames.find(text); it != kNames.end()) {
    out = it->second;
    return true;
  }
  uint32_t value = 0;
  if (!Number(text, value) || value > 0xFFFF) return false;
  out = static_cast<uint16_t>(value);
  return true;
}

bool Run(ntsim::Network& network, const Args& args, std::string& error, int depth);

// ${NAME} in a script line is the environment's NAME (empty when unset), so
// one script serves builds in different folders.
std::string ExpandVariables(const std::string& line) {
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    const size_t close = line.find('}', i);
    if (line.compare(i, 2, "${") == 0 && close != std::string::npos) {
      const char* value = std::getenv(line.substr(i + 2, close - i - 2).c_str());
      out += value != nullptr ? value : "";
      i = close;
    } else {
      out += line[i];
    }
  }
  return out;
}

bool RunScript(ntsim::Network& network, const std::string& file, std::string& error, int depth) {
  if (depth > 8) {
    error = "scripts run each other too deeply";
    return false;
  }
  std::ifstream in(file);
  if (!in) {
    error = "cannot read " + file;
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = ExpandVariables(line);
    corvid::CommandLineTokenizer tokenizer(line);
    Args args;
    std::string token;
    while (tokenizer.Next(token)) args.push_back(token);
    if (args.empty() || args[0][0] == '#') continue;
    if (!Run(network, args, error, depth + 1)) {
      error = file + ":" + std::to_string(number) + ": " + error;
      return false;
    }
  }
  return true;
}

bool Run(ntsim::Network& network, const Args& args, std::string& error, int depth) {
  Options o;
  if (args.empty()) {
    error = "no command";
    return false;
  }
  const std::string& command = args[0];
  if (!ParseOptions(args, 1, o, error)) return false;
  const Args& p = o.positional;
  auto need = [&](size_t count) {
    if (p.size() == count) return true;
    error = command + " takes " + std::to_string(count) + " arguments";
    return false;
  };

  if (command == "run") return need(1) && RunScript(network, p[0], error, depth);
  if (command == "add-computer") {
    if (!need(1)) return false;
    ntsim::ComputerSpec spec;
    spec.name = p[0];
    const std::string role = o.Get("--role", "workstation");
    if (role == "pdc") spec.role = ntsim::Role::kPrimary;
    else if (role == "bdc") spec.role = ntsim::Role::kBackup;
    else if (role == "server") spec.role = ntsim::Role::kServer;
    else if (role == "workstation") spec.role = ntsim::Role::kWorkstation;
    else return error = "unknown role " + role, false;
    spec.version = o.Get("--version", spec.version);
    spec.systemRoot = o.Get("--system-root", spec.systemRoot);
    spec.comment = o.Get("--comment");
    spec.switchedOn = !o.Has("--off");
    if (o.Has("--max-size") && !Number(o.Get("--max-size"), spec.maxLogSize)) return error = "bad --max-size", false;
    return network.AddComputer(spec, error);
  }
  if (command == "add-source") {
    if (!need(3)) return false;
    ntsim::SourceSpec spec{p[0], p[1], p[2], o.Get("--event-file"), o.Get("--category-file"),
                           o.Get("--parameter-file"), 0};
    if (o.Has("--categories") && !Number(o.Get("--categories"), spec.categoryCount)) return error = "bad --categories", false;
    return network.AddSource(spec, error);
  }
  if (command == "add-account") {
    uint32_t rid = 0;
    if (!need(3)) return false;
    if (!Number(p[2], rid)) return error = "bad RID", false;
    return network.AddAccount(p[0], p[1], rid, error);
  }
  if (command == "put-file") return need(3) && network.PutFile(p[0], p[1], p[2], error);
  if (command == "report") {
    if (!need(2)) return false;
    platform::evt::EventRecordData record;
    record.source = o.Get("--source");
    if (record.source.empty()) return error = "report needs --source", false;
    record.computer = o.Get("--computer");
    uint32_t number = 0;
    if (!EventType(o.Get("--type", "information"), record.eventType)) return error = "bad --type", false;
    if (!Number(o.Get("--category", "0"), number) || number > 0xFFFF) return error = "bad --category", false;
    record.eventCategory = static_cast<uint16_t>(number);
    if (!Number(o.Get("--id", "1"), record.eventId)) return error = "bad --id", false;
    auto range = o.named.equal_range("--string");
    for (auto it = range.first; it != range.second; ++it) record.strings.push_back(it->second);
    if (o.Has("--sid") && !ntsim::ParseSid(o.Get("--sid"), record.sid)) return error = "bad --sid", false;
    if (o.Has("--data") && !Hex(o.Get("--data"), record.data)) return error = "bad --data", false;
    if (o.Has("--data-size")) {
      if (!Number(o.Get("--data-size"), number) || number > (1u << 24)) return error = "bad --data-size", false;
      for (uint32_t i = 0; i < number; ++i) record.data.push_back(static_cast<uint8_t>(i * 7 + 3));
    }
    const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
    record.timeWritten = now;
    if (o.Has("--written") && !ntsim::ParseTime(o.Get("--written"), record.timeWritten)) return error = "bad --written", false;
    record.timeGenerated = record.timeWritten;
    if (o.Has("--generated") && !ntsim::ParseTime(o.Get("--generated"), record.timeGenerated)) return error = "bad --generated", false;
    return network.Report(p[0], p[1], record, error);
  }
  if (command == "generate") {
    if (!need(2)) return false;
    ntsim::GenerateSpec spec;
    if (!Number(o.Get("--count", "100"), spec.count) || !Number(o.Get("--seed", "1"), spec.seed) ||
        !Number(o.Get("--step", "60"), spec.step) || !Number(o.Get("--categories", "0"), spec.categories)) {
      return error = "bad number", false;
    }
    if (o.Has("--start") && !ntsim::ParseTime(o.Get("--start"), spec.start)) return error = "bad --start", false;
    if (o.Has("--sources")) spec.sources = Split(o.Get("--sources"));
    for (const std::string& id : Split(o.Get("--ids"))) {
      uint32_t value = 0;
      if (!Number(id, value)) return error = "bad --ids", false;
      spec.eventIds.push_back(value);
    }
    if (o.Has("--parameters")) spec.parameterMarkers = Split(o.Get("--parameters"));
    return network.Generate(p[0], p[1], spec, error);
  }
  if (command == "set-max-size") {
    uint32_t size = 0;
    if (!need(3)) return false;
    if (!Number(p[2], size)) return error = "bad size", false;
    return network.SetMaxSize(p[0], p[1], size, error);
  }
  if (command == "clear") return need(2) && network.Clear(p[0], p[1], error);
  error = "unknown command " + command;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  Args args(argv + 1, argv + argc);
  std::string root;
  if (args.size() >= 2 && args[0] == "--network") {
    root = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (!args.empty() && args[0] == "--version") {
    std::printf("ntsim (Corvid) %s\n", CORVID_VERSION);
    return 0;
  }
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  if (root.empty()) root = platform::NetworkRoot();
  ntsim::Network network(root);
  std::string error;
  if (!Run(network, args, error, 0)) {
    std::fprintf(stderr, "ntsim: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
