// The run log: at the end of every gather run, a tab-separated report of the
// outcome of each log of each selected computer, written to the file the
// settings name, at their level of detail, replacing or appending.
//
// Written by one thread at a time, always after the worker has finished or
// been stopped: the interface thread in interactive use, the main thread in
// a silent run. The file is open only while a report is written, and other
// programs (a viewer) may hold it open meanwhile.
#pragma once

namespace corvid {

// Opens the settings' file: "w" when the append choice is exactly 1, "a"
// otherwise; with detail level 2 nothing is opened and the result is true.
bool OpenRunLog();
// printf-style; dropped at level 2, for success lines at level 1, and when
// no file is open.
void WriteRunLogLine(bool successLine, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void CloseRunLog();

// The whole report over the selected entries of the computer list.
void WriteRunReport();

}  // namespace corvid
