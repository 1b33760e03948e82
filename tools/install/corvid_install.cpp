// corvid-install: installs the program into this computer's machine folder.
//
//   corvid-install --install-path DIR
//
// Copies the program's files into DIR (a Windows-style path such as
// "C:\Program Files\Corvid", or a host path) and creates the settings key
// with "InstallPath" = DIR. Nothing else is written: every other setting
// keeps the default the program gives it until the first save. Creating the
// key is the installer's job alone; the program never creates it.
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

#include "config/settings_store.h"
#include "platform/files/paths.h"
#include "platform/registry/registry.h"

namespace {

namespace fs = std::filesystem;

// The programs that make up an installation, found beside this one.
const std::vector<std::string> kProgramFiles = {"corvid"};

int Usage() {
  std::fprintf(stderr, "usage: corvid-install --install-path DIR\n");
  return 2;
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

}  // namespace

int main(int argc, char** argv) {
  std::string installPath;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--install-path" && i + 1 < argc) {
      installPath = argv[++i];
    } else {
      return Usage();
    }
  }
  if (installPath.empty()) return Usage();
  // A relative host path would mean another folder from every working
  // folder the program is started in.
  if (!IsWindowsRooted(installPath) && installPath.front() != '/') {
    installPath = fs::absolute(installPath).lexically_normal().string();
  }

  std::error_code error;
  const std::string machine = platform::MachineFolder();
  fs::create_directories(machine, error);
  const fs::path target = platform::MapPath(installPath);
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
    if (!CopyProgram(source / program, target / program)) return 1;
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
  return 0;
}
