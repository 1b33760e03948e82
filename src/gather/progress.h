// What a gather shows while it runs: the "Gathering in progress" dialog's
// text and progress bar, and the box for a database failure. The
// interactive program supplies it; a silent run has none.
//
// Called on the gather worker thread. The dialog's implementation hands each
// call to the interface thread and returns when it was handled (a sent
// message), so a box blocks the worker until it is answered.
#pragma once

#include "platform/base/win32.h"

namespace corvid {

class GatherProgress {
 public:
  virtual ~GatherProgress() = default;
  // The window that owns the database's message boxes.
  virtual HWND Window() = 0;
  virtual void SetText(const char* text) = 0;
  // PBM_SETRANGE's 16-bit range, PBM_SETSTEP, PBM_SETPOS.
  virtual void SetRange(WORD maximum) = 0;
  virtual void SetStep(DWORD step) = 0;
  virtual void SetPosition(DWORD position) = 0;
  // The worker is done: the dialog writes the run log and ends (IDOK).
  virtual void Finished() = 0;
};

}  // namespace corvid
