#include "sim_network.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/base/text.h"
#include "platform/files/atomic_file.h"

namespace ntsim {
namespace {

namespace fs = std::filesystem;
using platform::evt::EventRecordData;
using platform::reg::Document;
using platform::reg::Key;

constexpr const char kEventLogKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
const char* const kLogs[][2] = {
    {"Application", "AppEvent.Evt"}, {"Security", "SecEvent.Evt"}, {"System", "SysEvent.Evt"}};

std::vector<uint8_t> Text(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

std::vector<uint8_t> Dword(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

uint32_t Hash(const std::string& text, uint32_t salt) {
  uint32_t h = 2166136261u ^ salt;
  for (unsigned char c : platform::FoldCase(text)) h = (h ^ c) * 16777619u;
  return h;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// "C:\WINNT\x" on a computer as a host path under its C$ share.
std::string SharePath(const std::string& computerFolder, const std::string& path) {
  if (path.size() < 2 || path[1] != ':') return {};
  std::string rest = path.substr(2);
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  return computerFolder + "/" + static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))) + "$" + rest;
}

std::string Expand(const std::string& value, const std::string& systemRoot) {
  constexpr std::string_view kPlaceholder = "%SystemRoot%";
  if (value.size() >= kPlaceholder.size() &&
      platform::EqualsIgnoreCase(std::string_view(value).substr(0, kPlaceholder.size()), kPlaceholder)) {
    return systemRoot + value.substr(kPlaceholder.size());
  }
  return value;
}

std::string ValueText(const Key* key, const char* name) {
  if (key == nullptr) return {};
  const platform::reg::Value* value = key->FindValue(name);
  if (value == nullptr) return {};
  std::string text(value->data.begin(), value->data.end());
  return text.substr(0, text.find('\0'));
}

const char* ProductType(Role role) {
  switch (role) {
    case Role::kPrimary:
    case Role::kBackup: return "LanmanNT";
    case Role::kServer: return "ServerNT";
    default: return "WinNT";
  }
}

uint32_t BrowseType(Role role) {
  switch (role) {
    case Role::kPrimary: return 0x900B;
    case Role::kBackup: return 0x9013;
    case Role::kServer: return 0x9003;
    default: return 0x1003;
  }
}

}  // namespace

// The computer's folder, whatever the case it is named in.
std::string Network::ComputerFolder(const std::string& name) const {
  const std::string exact = root_ + "/" + name;
  if (fs::exists(exact)) return exact;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root_, ec)) {
    if (platform::EqualsIgnoreCase(entry.path().filename().string(), name)) return entry.path().string();
  }
  return exact;
}

bool Network::EditRegistry(const std::string& computer,
                           const std::function<void(Document&)>& edit, std::string& error) {
  const std::string path = ComputerFolder(computer) + "/registry.reg";
  Document doc;
  if (fs::exists(path)) {
    platform::reg::ParseError parseError;
    if (!platform::reg::ParseRegFile(ReadAll(path), doc, parseError)) {
      error = path + ": line " + std::to_string(parseError.line) + ": " + parseError.message;
      return false;
    }
  }
  edit(doc);
  if (!platform::ReplaceFileAtomically(path, platform::reg::WriteRegFile(doc))) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool Network::SetBrowseLine(const ComputerSpec& spec, std::string& error) {
  const std::string path = root_ + "/browse.lst";
  std::istringstream old(ReadAll(path));
  std::string result;
  std::string line;
  char entry[256];
  std::snprintf(entry, sizeof entry, "%-15s 0x%08X %s", spec.name.c_str(), BrowseType(spec.role),
                spec.version.c_str());
  std::string newLine = entry;
  if (!spec.comment.empty()) newLine += " " + spec.comment;
  bool replaced = false;
  while (std::getline(old, line)) {
    const std::string first = line.substr(0, line.find_first_of(" \t"));
    if (!replaced && platform::EqualsIgnoreCase(first, spec.name)) {
      result += newLine + "\n";
      replaced = true;
    } else {
      result += line + "\n";
    }
  }
  if (!replaced) {
    if (result.empty()) result = "# name          type       version comment\n";
    result += newLine + "\n";
  }
  if (!platform::ReplaceFileAtomically(path, result)) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

std::string Network::MachineSid(const std::string& computer) const {
  return "S-1-5-21-" + std::to_string(Hash(computer, 1)) + "-" + std::to_string(Hash(computer, 2)) +
         "-" + std::to_string(Hash(computer, 3));
}

bool Network::AddComputer(const ComputerSpec& spec, std::string& error) {
  if (spec.name.empty() || spec.name.find_first_of("\\/ \t") != std::string::npos) {
    error = "a computer name has no blanks or slashes";
    return false;
  }
  std::error_code ec;
  fs::create_directories(root_, ec);
  if (!SetBrowseLine(spec, error)) return false;
  if (!spec.switchedOn) return true;  // announced, but nobody answers
  fs::create_directories(ComputerFolder(spec.name), ec);
  const bool ok = EditRegistry(spec.name, [&](Document& doc) {
    Key& version = doc.root.Create("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    version.SetValue("SystemRoot", REG_SZ, Text(spec.systemRoot));
    version.SetValue("CurrentVersion", REG_SZ, Text(spec.version));
    Key& name = doc.root.Create("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName");
    name.SetValue("ComputerName", REG_SZ, Text(spec.name));
    Key& product = doc.root.Create("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions");
    product.SetValue("ProductType", REG_SZ, Text(ProductType(spec.role)));
    for (const auto& log : kLogs) {
      Key& key = doc.root.Create(std::string(kEventLogKey) + log[0]);
      key.SetValue("File", REG_EXPAND_SZ, Text(std::string("%SystemRoot%\\system32\\config\\") + log[1]));
      key.SetValue("MaxSize", REG_DWORD, Dword(spec.maxLogSize));
      key.SetValue("Retention", REG_DWORD, Dword(0));
    }
    // The SAM keeps the machine identifier at the end of this value.
    std::vector<uint8_t> v(4, 0);
    for (uint32_t salt = 1; salt <= 3; ++salt) {
      const std::vector<uint8_t> part = Dword(Hash(spec.name, salt));
      v.insert(v.end(), part.begin(), part.end());
    }
    doc.root.Create("HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains\\Account").SetValue("V", REG_BINARY, v);
  }, error);
  if (!ok) return false;
  for (const auto& log : kLogs) {
    const std::string path = SharePath(ComputerFolder(spec.name), spec.systemRoot + "\\system32\\config\\" + log[1]);
    fs::create_directories(fs::path(path).parent_path(), ec);
    if (const DWORD status = platform::evt::CreateLog(path, spec.maxLogSize); status != 0) {
      error = "cannot create " + path + " (error " + std::to_string(status) + ")";
      return false;
    }
  }
  return true;
}

bool Network::AddSource(const SourceSpec& spec, std::string& error) {
  if (!fs::is_directory(ComputerFolder(spec.computer))) {
    error = spec.computer + " is not switched on";
    return false;
  }
  return EditRegistry(spec.computer, [&](Document& doc) {
    Key& key = doc.root.Create(std::string(kEventLogKey) + spec.log + "\\" + spec.source);
    // Windows keeps these as expandable strings; an empty one is not written.
    if (!spec.eventMessageFile.empty()) key.SetValue("EventMessageFile", REG_EXPAND_SZ, Text(spec.eventMessageFile));
    if (!spec.categoryMessageFile.empty()) key.SetValue("CategoryMessageFile", REG_EXPAND_SZ, Text(spec.categoryMessageFile));
    if (!spec.parameterMessageFile.empty()) key.SetValue("ParameterMessageFile", REG_EXPAND_SZ, Text(spec.parameterMessageFile));
    if (spec.categoryCount > 0) key.SetValue("CategoryCount", REG_DWORD, Dword(spec.categoryCount));
    key.SetValue("TypesSupported", REG_DWORD, Dword(7));
  }, error);
}

bool Network::AddAccount(const std::string& computer, const std::string& user, uint32_t rid,
                         std::string& error) {
  if (!fs::is_directory(ComputerFolder(computer))) {
    error = computer + " is not switched on";
    return false;
  }
  return EditRegistry(computer, [&](Document& doc) {
    // The account's relative identifier is the type of this default value.
    doc.root.Create("HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains\\Account\\Users\\Names\\" + user).SetValue("", rid, {});
  }, error);
}

bool Network::PutFile(const std::string& computer, const std::string& hostFile,
                      const std::string& windowsPath, std::string& error) {
  const std::string target = SharePath(ComputerFolder(computer), windowsPath);
  if (target.empty() || !fs::is_directory(ComputerFolder(computer))) {
    error = "need a switched-on computer and a path such as C:\\WINNT\\system32\\x.dll";
    return false;
  }
  std::error_code ec;
  fs::create_directories(fs::path(target).parent_path(), ec);
  fs::copy_file(hostFile, target, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    error = "cannot copy " + hostFile + ": " + ec.message();
    return false;
  }
  return true;
}

bool Network::LogPath(const std::string& computer, const std::string& log, std::string& path,
                      std::string& error) const {
  Document doc;
  platform::reg::ParseError parseError;
  const std::string file = ComputerFolder(computer) + "/registry.reg";
  if (!fs::exists(file)) {
    error = computer + " is not switched on";
    return false;
  }
  if (!platform::reg::ParseRegFile(ReadAll(file), doc, parseError)) {
    error = file + ": line " + std::to_string(parseError.line) + ": " + parseError.message;
    return false;
  }
  const std::string systemRoot =
      ValueText(doc.root.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"), "SystemRoot");
  const std::string value = ValueText(doc.root.Find(std::string(kEventLogKey) + log), "File");
  path = SharePath(ComputerFolder(computer), Expand(value, systemRoot));
  if (path.empty()) {
    error = computer + " has no " + log + " log";
    return false;
  }
  return true;
}

bool Network::Report(const std::string& computer, const std::string& log, EventRecordData record,
                     std::string& error) {
  std::string path;
  if (!LogPath(computer, log, path, error)) return false;
  if (record.computer.empty()) record.computer = computer;
  if (const DWORD status = platform::evt::AppendRecord(path, record); status != 0) {
    error = "cannot write " + path + " (error " + std::to_string(status) + ")";
    return false;
  }
  return true;
}

bool Network::Generate(const std::string& computer, const std::string& log, const GenerateSpec& spec,
                       std::string& error) {
  std::string path;
  if (!LogPath(computer, log, path, error)) return false;
  std::vector<std::string> sources = spec.sources;
  if (sources.empty()) {
    Document doc;
    platform::reg::ParseError parseError;
    platform::reg::ParseRegFile(ReadAll(ComputerFolder(computer) + "/registry.reg"), doc, parseError);
    if (const Key* key = doc.root.Find(std::string(kEventLogKey) + log)) {
      for (const auto& child : key->children()) sources.push_back(child->name());
    }
    if (sources.empty()) sources.push_back("Sample");
  }
  const std::vector<uint32_t> ids =
      spec.eventIds.empty() ? std::vector<uint32_t>{1, 2, 100, 6005, 6006, 7000, 7035, 7036} : spec.eventIds;
  // "Name:7000/7001" entries carry identifiers of their own.
  std::vector<std::vector<uint32_t>> ownIds(sources.size());
  for (size_t i = 0; i < sources.size(); ++i) {
    const size_t colon = sources[i].rfind(':');
    if (colon == std::string::npos) continue;
    std::string list = sources[i].substr(colon + 1);
    sources[i].resize(colon);
    for (size_t start = 0; start <= list.size();) {
      const size_t slash = list.find('/', start);
      const std::string id = list.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
      if (!id.empty()) ownIds[i].push_back(static_cast<uint32_t>(std::strtoul(id.c_str(), nullptr, 0)));
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
  }
  const std::vector<std::string> words =
      spec.words.empty() ? std::vector<std::string>{"Alerter", "Browser", "Spooler", "Netlogon", "\\Device\\Serial0",
                                                    "C:\\WINNT\\system32\\drivers\\atapi.sys", "3", "0x0000007b",
                                                    "Schedule", "Workstation", "EventLog", "Messenger"}
                         : spec.words;
  const std::string machine = MachineSid(computer);
  const std::vector<std::string> sids = {"S-1-5-18", "S-1-5-19", "S-1-5-20", "S-1-5-32-544", machine + "-500",
                                         machine + "-1000"};
  static constexpr uint16_t kTypes[] = {4, 4, 4, 4, 2, 2, 1, 8, 16, 0};

  std::mt19937 random(spec.seed);
  std::vector<EventRecordData> records;
  records.reserve(spec.count);
  uint32_t time = spec.start;
  for (uint32_t i = 0; i < spec.count; ++i) {
    // About one record in eight shares its second with the one before, as
    // bursts of events do; the horizon of a re-gather must cope with them.
    if (i > 0 && random() % 8 != 0) time += 1 + random() % (2 * spec.step);
    EventRecordData record;
    record.timeGenerated = time - random() % 3;
    record.timeWritten = time;
    const size_t which = random() % sources.size();
    record.source = sources[which];
    record.computer = computer;
    const std::vector<uint32_t>& choices = ownIds[which].empty() ? ids : ownIds[which];
    record.eventId = choices[random() % choices.size()];
    record.eventType = kTypes[random() % std::size(kTypes)];
    record.eventCategory = spec.categories > 0 ? static_cast<uint16_t>(random() % (spec.categories + 1)) : 0;
    const uint32_t strings = random() % 5;
    for (uint32_t s = 0; s < strings; ++s) {
      if (!spec.parameterMarkers.empty() && random() % 6 == 0) {
        record.strings.push_back(spec.parameterMarkers[random() % spec.parameterMarkers.size()]);
      } else {
        record.strings.push_back(words[random() % words.size()]);
      }
    }
    if (random() % 2 == 0) ParseSid(sids[random() % sids.size()], record.sid);
    if (random() % 5 == 0) {
      record.data.resize(1 + random() % 64);
      for (uint8_t& b : record.data) b = static_cast<uint8_t>(random());
    }
    records.push_back(std::move(record));
  }
  if (const DWORD status = platform::evt::AppendRecords(path, records); status != 0) {
    error = "cannot write " + path + " (error " + std::to_string(status) + ")";
    return false;
  }
  return true;
}

bool Network::SetMaxSize(const std::string& computer, const std::string& log, uint32_t size,
                         std::string& error) {
  std::string path;
  if (!LogPath(computer, log, path, error)) return false;
  bool empty = true;
  {
    std::ifstream probe(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(probe)), std::istreambuf_iterator<char>());
    platform::evt::MemorySource source(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    platform::evt::LogLayout layout;
    if (platform::evt::LocateRecords(source, layout) == 0) empty = layout.Empty();
  }
  if (!empty) {
    error = "the " + log + " log of " + computer + " is not empty; clear it first";
    return false;
  }
  if (const DWORD status = platform::evt::CreateLog(path, size); status != 0) {
    error = "cannot write " + path + " (error " + std::to_string(status) + ")";
    return false;
  }
  return EditRegistry(computer, [&](Document& doc) {
    doc.root.Create(std::string(kEventLogKey) + log).SetValue("MaxSize", REG_DWORD, Dword(size));
  }, error);
}

bool Network::Clear(const std::string& computer, const std::string& log, std::string& error) {
  std::string path;
  if (!LogPath(computer, log, path, error)) return false;
  if (const DWORD status = platform::evt::ClearLog(path); status != 0) {
    error = "cannot clear " + path + " (error " + std::to_string(status) + ")";
    return false;
  }
  return true;
}

bool ParseSid(const std::string& text, std::vector<uint8_t>& out) {
  if (text.rfind("S-1-", 0) != 0) return false;
  std::vector<uint64_t> parts;
  size_t pos = 4;
  while (pos <= text.size()) {
    const size_t end = text.find('-', pos);
    const std::string part = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (part.empty() || part.size() > 12 || part.find_first_not_of("0123456789") != std::string::npos) return false;
    parts.push_back(std::stoull(part));
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  if (parts.empty() || parts.size() > 16 || parts[0] > 0xFFFFFFFFFFFFull) return false;
  out = {1, static_cast<uint8_t>(parts.size() - 1)};
  for (int shift = 40; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(parts[0] >> shift));
  for (size_t i = 1; i < parts.size(); ++i) {
    if (parts[i] > 0xFFFFFFFFull) return false;
    const std::vector<uint8_t> bytes = Dword(static_cast<uint32_t>(parts[i]));
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return true;
}

bool ParseTime(const std::string& text, uint32_t& out) {
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos && text.size() <= 10) {
    const uint64_t value = std::stoull(text);
    if (value > 0xFFFFFFFFull) return false;
    out = static_cast<uint32_t>(value);
    return true;
  }
  int y, mo, d, h, mi, s;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 7 || tail != 'Z') {
    return false;
  }
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  const int64_t seconds = timegm(&tm);
  if (seconds < 0 || seconds > 0xFFFFFFFFll) return false;
  out = static_cast<uint32_t>(seconds);
  return true;
}

}  // namespace ntsim
