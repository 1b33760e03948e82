// A simulated Windows NT network in a network root: computers with their
// registries, shares and event logs, the browse list, event sources and
// accounts. The tool ntsim drives it; tests use it to build networks.
//
// Event logs are written through the same format code the event log service
// reads them with.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/eventlog/evt_file.h"
#include "platform/registry/reg_file.h"

namespace ntsim {

enum class Role { kPrimary, kBackup, kServer, kWorkstation };

struct ComputerSpec {
  std::string name;
  Role role = Role::kWorkstation;
  std::string version = "4.0";
  std::string systemRoot = "C:\\WINNT";
  bool switchedOn = true;
  std::string comment;
  uint32_t maxLogSize = 0x80000;  // 512 KiB, the old default
};

struct SourceSpec {
  std::string computer;
  std::string log;
  std::string source;
  std::string eventMessageFile;
  std::string categoryMessageFile;
  std::string parameterMessageFile;
  uint32_t categoryCount = 0;
};

// What `generate` draws from; every choice comes from the seed.
struct GenerateSpec {
  uint32_t count = 100;
  uint32_t seed = 1;
  uint32_t start = 946684800;  // 2000-01-01 00:00:00 UTC
  uint32_t step = 60;          // seconds between records, on average
  // Default: the log's registered sources. "Name:7000/7001" gives a source
  // event identifiers of its own.
  std::vector<std::string> sources;
  std::vector<uint32_t> eventIds;        // for sources without their own; default a few common ones
  uint32_t categories = 0;               // categories drawn from 0..categories
  std::vector<std::string> words;        // insertion strings are drawn from these
  std::vector<std::string> parameterMarkers;  // e.g. "%%1311", mixed into some strings
};

class Network {
 public:
  explicit Network(std::string root) : root_(std::move(root)) {}
  const std::string& root() const { return root_; }

  // Each returns false with a reason in `error`.
  bool AddComputer(const ComputerSpec& spec, std::string& error);
  bool AddSource(const SourceSpec& spec, std::string& error);
  bool AddAccount(const std::string& computer, const std::string& user, uint32_t rid, std::string& error);
  bool PutFile(const std::string& computer, const std::string& hostFile, const std::string& windowsPath,
               std::string& error);
  bool Report(const std::string& computer, const std::string& log,
              platform::evt::EventRecordData record, std::string& error);
  bool Generate(const std::string& computer, const std::string& log, const GenerateSpec& spec,
                std::string& error);
  // Only for an empty log: the sizes of a log are set before it fills.
  bool SetMaxSize(const std::string& computer, const std::string& log, uint32_t size, std::string& error);
  bool Clear(const std::string& computer, const std::string& log, std::string& error);

  // The host path of a computer's log, as its registry names it.
  bool LogPath(const std::string& computer, const std::string& log, std::string& path,
               std::string& error) const;
  // The computer's machine identifier, "S-1-5-21-a-b-c".
  std::string MachineSid(const std::string& computer) const;

 private:
  std::string ComputerFolder(const std::string& name) const;
  bool EditRegistry(const std::string& computer,
                    const std::function<void(platform::reg::Document&)>& edit, std::string& error);
  bool SetBrowseLine(const ComputerSpec& spec, std::string& error);

  std::string root_;
};

// "S-1-5-18" to bytes; false when it does not read as one.
bool ParseSid(const std::string& text, std::vector<uint8_t>& out);
// Seconds since 1970 from "1700000000" or "2024-07-01T12:00:00Z".
bool ParseTime(const std::string& text, uint32_t& out);

}  // namespace ntsim
