// The gather run: every selected computer of the list, in list order, its
// System, Security and Application logs in that order, into the database,
// on a worker thread; then the run log.
//
// Thread rules: the worker reads the list's Name and Selected and writes
// the entries' LogResults while the interface thread is held in the modal
// progress dialog (interactive) or in its wait (silent). Every change the
// worker makes that others see is made under a SideEffectPermit, so a
// worker cut off at the silent time-out changes nothing more.
#pragma once

#include <atomic>
#include <cstdint>

#include "gather/log_reader.h"
#include "gather/progress.h"

namespace corvid {

// Set by Cancel on the interface thread, cleared before a run and by the
// worker when it acts on it between computers; polled by the worker at each
// computer, bufferful and record. Atomic only so that the compiler and the
// sanitizers agree it may change under the worker's feet.
extern std::atomic<uint32_t> cancelRequested;

// The running worker; closed when the run ends.
extern HANDLE workerThread;

// Sets the selected entries' results to "OPERATION CANCELLED" and gathers.
// With an owner, the progress dialog starts the worker and this returns
// when the dialog has ended; without one (a silent run) it returns as soon
// as the worker runs.
bool StartGather(HWND owner);

// Selects every computer, gathers, waits at most TimeOut minutes, cuts the
// worker off when the time is up, and writes the run log. True when the
// worker finished by itself; false when it was cut off, and the process
// must then end without running on.
bool RunSilentGather();

DWORD GatherWorker(void* progress);
bool GatherLog(LogReader& reader, const char* computerName);

}  // namespace corvid
