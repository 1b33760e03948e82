// The start-up load of the computer list file named on the command line.
#pragma once

namespace corvid {

// Replaces the computer list with the names of ListFilePath. False only when
// the file cannot be opened (no file named, missing, a folder), and then the
// list is untouched. In the silent run the names are all it takes: no
// window, no type queries; every entry stays "Unknown".
bool LoadComputerListFile();

}  // namespace corvid
