// Another computer's HKEY_LOCAL_MACHINE read from the hive files of its
// Windows installation, for a computer folder that has no registry.reg: a
// mounted disk image, a backup, a copy of C$.
//
// The installation is the folder on the computer's drive shares that holds
// system32\config\SYSTEM (C$\WINDOWS and C$\WINNT first), or else C$\WINDOWS
// or C$\WINNT themselves. HKLM\SYSTEM, HKLM\SOFTWARE and HKLM\SAM are its
// SYSTEM, SOFTWARE and SAM hives, read-only. What Windows makes at boot is
// made the same way: SYSTEM\CurrentControlSet is the control set that
// SYSTEM\Select "Current" names, and "SystemRoot" of
// SOFTWARE\Microsoft\Windows NT\CurrentVersion, when the hive lacks it
// (setup-time copies do), is the installation's own folder. A hive file that is missing leaves
// its keys missing (ERROR_FILE_NOT_FOUND); one that is not a hive answers
// ERROR_BADDB.
//
// Paths are relative to HKEY_LOCAL_MACHINE. Not safe for concurrent use:
// the registry service serialises calls.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/win32.h"
#include "platform/registry/hive_file.h"

namespace platform::hive {

struct InstallationPlace {
  std::string hostFolder;   // .../network/NAME/C$/WINDOWS
  std::string windowsPath;  // C:\WINDOWS
};

// Looks on the drive shares of the computer folder `computerFolder`.
bool FindInstallation(const std::string& computerFolder, InstallationPlace& place);

class Installation {
 public:
  explicit Installation(InstallationPlace place);

  const InstallationPlace& place() const { return place_; }
  // Whether the installation is still where it was found. Hive files are
  // looked at again (and opened again if they changed) after this only.
  bool StillThere();
  // The host path of one of its hive files ("SAM", "SYSTEM", ...).
  std::string HivePath(std::string_view hive) const;

  LONG OpenKey(std::string_view path);
  LONG EnumKey(std::string_view path, size_t index, std::string& name);
  LONG QueryValue(std::string_view path, std::string_view name, DWORD& type,
                  std::vector<uint8_t>& data);

 private:
  struct Mount {
    const char* name;
    std::string hostPath;
    bool checked = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    LONG status = ERROR_FILE_NOT_FOUND;
    std::unique_ptr<HiveFile> file;
  };
  // The hive that `path` lies in and the path inside it, with
  // CurrentControlSet resolved; null for HKEY_LOCAL_MACHINE itself.
  LONG Locate(std::string_view path, Mount*& mount, std::string& inside);
  LONG Load(Mount& mount);
  LONG CurrentControlSet(Mount& system, std::string& name);

  InstallationPlace place_;
  std::vector<Mount> mounts_;
};

}  // namespace platform::hive
