// The Win32 vocabulary that the logic speaks: types, error codes and constants
// under their platform names, with the widths and values Windows gives them.
//
// The basic Windows types (DWORD, WORD, BYTE, BOOL, HWND, LPSTR, ...) are
// taken from unixODBC's sqltypes.h, which defines them for programs without
// windows.h; defining our own would clash with it wherever the database
// writer includes the ODBC headers.
#pragma once

#include <sqltypes.h>

#include <cstddef>
#include <cstdint>

typedef int32_t LONG;
typedef int INT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef DWORD REGSAM;
typedef void* HANDLE;
typedef void* HCURSOR;
typedef HINSTANCE HMODULE;
typedef const BYTE* LPCBYTE;

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;

// Win32's 100-nanosecond ticks since 1601-01-01, split in two halves.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Error codes, as GetLastError() and the registry calls report them.
enum : LONG {
  ERROR_SUCCESS = 0,
  ERROR_FILE_NOT_FOUND = 2,
  ERROR_PATH_NOT_FOUND = 3,
  ERROR_ACCESS_DENIED = 5,
  ERROR_INVALID_HANDLE = 6,
  ERROR_NOT_ENOUGH_MEMORY = 8,
  ERROR_INVALID_DATA = 13,
  ERROR_OUTOFMEMORY = 14,
  ERROR_HANDLE_EOF = 38,
  ERROR_BAD_NETPATH = 53,
  ERROR_INVALID_PARAMETER = 87,
  ERROR_INSUFFICIENT_BUFFER = 122,
  ERROR_ALREADY_EXISTS = 183,
  ERROR_BAD_EXE_FORMAT = 193,
  ERROR_MORE_DATA = 234,
  ERROR_NO_MORE_ITEMS = 259,
  ERROR_BADDB = 1009,
  ERROR_BADKEY = 1010,
  ERROR_CANTOPEN = 1011,
  ERROR_CANTREAD = 1012,
  ERROR_CANTWRITE = 1013,
  ERROR_KEY_DELETED = 1018,
  RPC_S_SERVER_TOO_BUSY = 1723,
};

// Registry value types.
enum : DWORD {
  REG_NONE = 0,
  REG_SZ = 1,
  REG_EXPAND_SZ = 2,
  REG_BINARY = 3,
  REG_DWORD = 4,
  REG_DWORD_BIG_ENDIAN = 5,
  REG_LINK = 6,
  REG_MULTI_SZ = 7,
  REG_RESOURCE_LIST = 8,
  REG_QWORD = 11,
};

// Registry access rights.
enum : REGSAM {
  KEY_QUERY_VALUE = 0x0001,
  KEY_SET_VALUE = 0x0002,
  KEY_CREATE_SUB_KEY = 0x0004,
  KEY_ENUMERATE_SUB_KEYS = 0x0008,
  KEY_READ = 0x20019,
  KEY_WRITE = 0x20006,
  KEY_ALL_ACCESS = 0xF003F,
};

enum : DWORD {
  REG_OPTION_NON_VOLATILE = 0,
  REG_CREATED_NEW_KEY = 1,
  REG_OPENED_EXISTING_KEY = 2,
};

// Synchronisation.
enum : DWORD {
  SYNCHRONIZE = 0x00100000,
  SEMAPHORE_ALL_ACCESS = 0x001F0003,
};

// The predefined root keys are fixed handle values, sign-extended on 64-bit
// builds as Windows does.
inline HKEY PredefinedKey(int32_t value) {
  return reinterpret_cast<HKEY>(static_cast<intptr_t>(value));
}
#define HKEY_CLASSES_ROOT PredefinedKey(static_cast<int32_t>(0x80000000u))
#define HKEY_CURRENT_USER PredefinedKey(static_cast<int32_t>(0x80000001u))
#define HKEY_LOCAL_MACHINE PredefinedKey(static_cast<int32_t>(0x80000002u))
#define HKEY_USERS PredefinedKey(static_cast<int32_t>(0x80000003u))

#define MAX_PATH 260
