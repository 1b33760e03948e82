// Where this computer lives on the host, and how a Windows-style path that
// the logic builds becomes a host path.
//
// The machine folder (CORVID_HOME, default ~/.corvid) holds:
//   registry.reg      this computer's HKEY_LOCAL_MACHINE
//   drives/<letter>/  its drive letters: C:\ is drives/c/
//   network/          the network root (CORVID_NETWORK overrides it): one
//                     folder per reachable computer, \\NAME\SHARE\x being
//                     network/NAME/SHARE/x
//
// Both variables are read at every call, so a test may point them elsewhere.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

std::string MachineFolder();
std::string NetworkRoot();

// The two folders and whether the network is the live one (CORVID_NETWORK
// "smb:"), as the environment says now. Per-record callers key their memos
// by `generation`, which changes whenever the folders do, rather than by the
// folders' names; the answer is this thread's and stays valid until its next
// call.
struct PathRoots {
  std::string machineFolder;
  std::string networkRoot;
  bool live = false;
  uint64_t generation = 0;
};
const PathRoots& CurrentRoots();

// Maps a path as Windows would read it onto the host:
//   X:\a\b          -> <machine>/drives/x/a/b
//   \\NAME\SHARE\a  -> <network>/NAME/SHARE/a
//   anything else   -> a host path, absolute or relative to the working folder
// "\" and "/" both separate. "." is dropped and ".." never climbs above the
// drive, the share or the host's root. Each component is matched against what
// exists, exactly first and then ignoring case, as Windows names match;
// components that match nothing stay as written, so new files can be named.
std::string MapPath(std::string_view path);

// The other way, for a host path that a user picked: under a drive of the
// machine folder it becomes "X:\a\b", under the network root "\\NAME\SHARE\a";
// any other path is returned as it is.
std::string WindowsPath(std::string_view hostPath);

// fopen of the mapped path: every file the program opens goes through here.
std::FILE* OpenMappedFile(std::string_view path, const char* mode);

}  // namespace platform
