#include "netdisc/computer_enumeration.h"

#include <cstdio>

#include "platform/base/text.h"
#include "platform/threads/threads.h"
#include "platform/windows/windows.h"
#include "common/messages.h"

namespace corvid {

LoadingDisplay* loadingDisplay = nullptr;
DWORD queriesTotal = 0;
DWORD queriesDone = 0;

namespace {

constexpr DWORD kEnumerationMask =
    SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL;
constexpr DWORD kFirstPreferredSize = 65000;
constexpr int kEnumerationCalls = 10;
constexpr int kQueryCalls = 10;
constexpr DWORD kBusyPause = 500;

// At most 15 characters of a wide name, as "%.15S" took them.
std::string ShortName(LPCWSTR wide) {
  return std::string(platform::Utf8Cut(platform::NarrowText(wide), kMaxComputerName));
}

}  // namespace

void ComposeTypeText(const SERVER_INFO_101& info, std::string& typeText, ComputerKind& kind) {
  typeText = "Unknown";
  kind = kKindUnknown;
  if ((info.sv101_type & SV_TYPE_NT) == 0) return;
  char version[40];
  // Only the low four bits of the major version are the version.
  std::snprintf(version, sizeof version, " (%li.%li)",
                static_cast<long>(info.sv101_version_major & 0x0F),
                static_cast<long>(info.sv101_version_minor));
  const char* role = nullptr;
  if ((info.sv101_type & SV_TYPE_DOMAIN_CTRL) != 0) {
    role = "Primary Domain Controller";
    kind = kKindPrimaryDomainController;
  } else if ((info.sv101_type & SV_TYPE_DOMAIN_BAKCTRL) != 0) {
    role = "Backup Domain Controller";
    kind = kKindBackupDomainController;
  } else if ((info.sv101_type & SV_TYPE_SERVER_NT) != 0) {
    role = "Server";
    kind = kKindServer;
  } else if ((info.sv101_type & SV_TYPE_WORKSTATION) != 0) {
    role = "Workstation";
    kind = kKindWorkstation;
  } else {
    return;
  }
  typeText = std::string("Windows NT ") + role + version;
}

ComputerEntry MakeEntryFromServerInfo(const SERVER_INFO_101& info) {
  ComputerEntry entry;
  entry.Name = ShortName(info.sv101_name);
  ComposeTypeText(info, entry.TypeText, entry.Kind);
  return entry;
}

bool EnumerateNetworkComputers() {
  SetCursor(WaitCursor);
  ComputerList.Clear();
  BYTE* buffer = nullptr;
  DWORD entriesRead = 0;
  DWORD totalEntries = 0;
  DWORD preferred = kFirstPreferredSize;
  NET_API_STATUS status = ERROR_MORE_DATA;
  // The buffer grows by doubling rather than resuming: ten calls at most,
  // the last asking for 512 times the first size.
  for (int call = 0; call < kEnumerationCalls && status == ERROR_MORE_DATA; ++call) {
    if (call > 0) {
      NetApiBufferFree(buffer);
      buffer = nullptr;
      preferred *= 2;
    }
    status = NetServerEnum(nullptr, 101, &buffer, preferred, &entriesRead, &totalEntries,
                           kEnumerationMask, nullptr, nullptr);
  }
  if (status != NERR_Success) {
    NetApiBufferFree(buffer);
    SetCursor(NormalCursor);
    return true;
  }
  const auto* records = reinterpret_cast<const SERVER_INFO_101*>(buffer);
  for (DWORD i = 0; i < entriesRead; ++i) {
    if ((records[i].sv101_type & SV_TYPE_NT) != 0) {
      ComputerList.Append(MakeEntryFromServerInfo(records[i]));
    }
  }
  NetApiBufferFree(buffer);
  SetCursor(NormalCursor);
  return true;
}

void ResolveComputerTypes(HWND owner) {
  if (ComputerList.Count() == 0) return;
  queriesTotal = static_cast<DWORD>(ComputerList.Count());
  queriesDone = 0;
  if (loadingDisplay != nullptr) loadingDisplay->Open(owner, queriesTotal);
  for (ComputerEntry& entry : ComputerList) StartTypeQuery(entry);
  for (ComputerEntry& entry : ComputerList) FinishTypeQuery(entry);
}

void StartTypeQuery(ComputerEntry& entry) {
  DWORD id = 0;
  entry.QueryThread = CreateThread(nullptr, 0, TypeQueryThread, &entry, 0, &id);
  entry.QueryThreadId = id;
  if (entry.QueryThread == nullptr) {
    entry.TypeText = "Unknown";
    entry.Kind = kKindUnknown;
  }
}

DWORD TypeQueryThread(void* parameter) {
  auto& entry = *static_cast<ComputerEntry*>(parameter);
  std::vector<WCHAR> server = platform::WideText("\\\\" + std::string(platform::Utf8Cut(entry.Name, kMaxComputerName)));
  server.resize(50, 0);  // the 50-character buffer it always had
  server.back() = 0;
  BYTE* buffer = nullptr;
  NET_API_STATUS status = RPC_S_SERVER_TOO_BUSY;
  for (int call = 0; call < kQueryCalls; ++call) {
    status = NetServerGetInfo(server.data(), 101, &buffer);
    if (status != static_cast<NET_API_STATUS>(RPC_S_SERVER_TOO_BUSY)) break;
    if (call + 1 < kQueryCalls) Sleep(kBusyPause);
  }
  if (status != NERR_Success) {
    entry.TypeText = "Unknown";
    entry.Kind = kKindUnknown;
  } else {
    ComposeTypeText(*reinterpret_cast<const SERVER_INFO_101*>(buffer), entry.TypeText, entry.Kind);
    NetApiBufferFree(buffer);
  }
  ExitThread(0);
}

void FinishTypeQuery(ComputerEntry& entry) {
  if (entry.QueryThread != nullptr) {
    WaitForSingleObject(entry.QueryThread, INFINITE);
    CloseHandle(entry.QueryThread);
    entry.QueryThread = nullptr;
    if (loadingDisplay != nullptr) loadingDisplay->Step();
  }
  ++queriesDone;
  if (queriesDone == queriesTotal && loadingDisplay != nullptr) loadingDisplay->Close();
}

}  // namespace corvid
