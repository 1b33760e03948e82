// Fills the computer list from the network's browser, and finds out what
// each computer of a list read from a file is, with one query thread per
// computer, all running at once.
//
// Thread rules: the list is cleared and filled only on the interface
// thread. During a batch of type queries each query thread writes only the
// TypeText and Kind of its own entry; the interface thread starts them all,
// then joins them in list order and does nothing else meanwhile, so the
// list keeps its size while any thread of the batch runs.
#pragma once

#include <string>

#include "platform/base/win32.h"
#include "platform/browser/browser.h"
#include "common/computer_list.h"

namespace corvid {

// What is shown while the type queries run: the "Loading, please wait..."
// window with its progress bar. The interactive program supplies the
// window; without one nothing is shown.
class LoadingDisplay {
 public:
  virtual ~LoadingDisplay() = default;
  // Opens the window (owned by `owner`, or none), shows and paints it, and
  // sets the bar to the range 0 .. total, step 1, position 0.
  virtual void Open(HWND owner, DWORD total) = 0;
  virtual void Step() = 0;
  virtual void Close() = 0;
};

// The display as a window: template 117 with its progress bar.
LoadingDisplay& LoadingWindowDisplay();

// The display the loads and imports use; set by the interactive program
// before its first load.
extern LoadingDisplay* loadingDisplay;

// Entries the open loading window waits for, and those handled so far.
extern DWORD queriesTotal;
extern DWORD queriesDone;

// TypeText and Kind for a level-101 record.
void ComposeTypeText(const SERVER_INFO_101& info, std::string& typeText, ComputerKind& kind);
ComputerEntry MakeEntryFromServerInfo(const SERVER_INFO_101& info);

// Replaces the list with the Windows NT computers the browser announces;
// an empty list when the browser fails. Always true.
bool EnumerateNetworkComputers();

// Resolves the type of every entry of the list behind the loading display
// (none for an empty list). Used after a list file load and an import.
void ResolveComputerTypes(HWND owner);

void StartTypeQuery(ComputerEntry& entry);
DWORD TypeQueryThread(void* entry);
void FinishTypeQuery(ComputerEntry& entry);

}  // namespace corvid
