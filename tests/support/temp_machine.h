// A throwaway machine folder for one test: CORVID_HOME points at a new empty
// folder (CORVID_NETWORK unset, so the network root is inside it), and both
// are put back and the folder removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace testing_support {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) ::setenv(name_, value->c_str(), 1);
    else ::unsetenv(name_);
  }
  const char* name_;
  std::optional<std::string> previous_;
};

inline std::filesystem::path MakeTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvid-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

inline const std::string kSettingsKey =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid\\CurrentVersion]\n";

class TempMachine {
 public:
  TempMachine() : root_(MakeTempFolder()), home_("CORVID_HOME", root_.string()), network_("CORVID_NETWORK", {}) {}
  ~TempMachine() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path registry() const { return root_ / "registry.reg"; }

  void Write(const std::filesystem::path& relative, const std::string& bytes) const {
    const auto path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  // The program's settings key with `values` ("Name"=... lines) in it.
  void WriteSettings(const std::string& values) const { Write("registry.reg", kSettingsKey + values + "\n"); }
  std::string Read(const std::filesystem::path& relative) const { return ReadFile(root_ / relative); }

 private:
  std::filesystem::path root_;
  ScopedEnv home_;
  ScopedEnv network_;
};

}  // namespace testing_support
