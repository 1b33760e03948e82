// Message modules service: message files (DLLs and EXEs) loaded as data, the
// texts of their message tables, and the local heap those texts come in.
//
// LoadLibraryEx maps the Windows path with platform::MapPath; a bare file
// name is looked for in this computer's system folder (its registry's
// SOFTWARE\Microsoft\Windows NT\CurrentVersion "SystemRoot" + \system32,
// C:\WINNT\system32 without it). A file named in System32 that is not there
// is looked for in SysWOW64, where a 32-bit program's files are. A module
// without a message table (Vista and later) takes the table of its
// satellite <folder>\<language>\<name>.mui: the language of the computer
// the module is on (SYSTEM\CurrentControlSet\Control\Nls\Language
// "Default"), then en-US. Modules are only ever data: whatever the flags,
// nothing is run.
//
// Contract, as the Win32 calls keep it: failures return null, FALSE or 0 with
// the reason in GetLastError():
//   LoadLibraryEx  2 no such file, 3 no such folder, 53 no such computer,
//                  67 no such share, 5 a folder or unreadable file,
//                  193 not a PE image, 87 bad arguments
//   FormatMessage  317 no such message, 1812/1813/1814 no message table,
//                  1815 no table in the language asked for, 13 a broken
//                  table, 122 the caller's buffer is too small, 235 the text
//                  is empty, 87 bad flags or inserts without arguments,
//                  6 an unknown module
//   FreeLibrary    6 an unknown module
// Texts are UTF-8; a single-byte (ANSI) table is read as Windows-1252.
//
// Loading is cheap when repeated: parsed modules are cached by host path,
// size, times and inode, so loading a file again costs a stat and a lookup
// and no file stays open. Safe to call from several threads at once.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "platform/base/service.h"
#include "platform/base/win32.h"
#include "platform/modules/pe_message_table.h"

typedef void* HLOCAL;
typedef uintptr_t DWORD_PTR;

enum : DWORD {
  DONT_RESOLVE_DLL_REFERENCES = 0x00000001,
  LOAD_LIBRARY_AS_DATAFILE = 0x00000002,
  LOAD_LIBRARY_AS_IMAGE_RESOURCE = 0x00000020,
  LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE = 0x00000040,
};

enum : DWORD {
  FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100,
  FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200,
  FORMAT_MESSAGE_FROM_STRING = 0x00000400,
  FORMAT_MESSAGE_FROM_HMODULE = 0x00000800,
  FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000,
  FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000,
  FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF,
};

// Local heap flags. Every block is fixed memory: LMEM_MOVEABLE is accepted
// and still gives a pointer, which is all its callers here use.
enum : UINT {
  LMEM_FIXED = 0x0000,
  LMEM_MOVEABLE = 0x0002,
  LMEM_ZEROINIT = 0x0040,
  LPTR = LMEM_FIXED | LMEM_ZEROINIT,
  LHND = LMEM_MOVEABLE | LMEM_ZEROINIT,
};

namespace platform {

class MessageModuleService {
 public:
  virtual ~MessageModuleService() = default;

  // `file` is reserved and must be null.
  virtual HMODULE LoadLibraryEx(const char* fileName, HANDLE file, DWORD flags) = 0;
  virtual BOOL FreeLibrary(HMODULE module) = 0;
  // Inserts come from `arguments`: with FORMAT_MESSAGE_ARGUMENT_ARRAY it
  // points at an array of DWORD_PTR, otherwise at a va_list whose
  // arguments are all pointer-sized. FORMAT_MESSAGE_FROM_SYSTEM gives the
  // host's description of the errno that matches a Windows code we use
  // ("No such file or directory" for 2), and 317 for any other code.
  virtual DWORD FormatMessage(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                              char* buffer, DWORD size, va_list* arguments) = 0;
  virtual HLOCAL LocalAlloc(UINT flags, size_t bytes) = 0;
  // Null on success, as Windows returns it.
  virtual HLOCAL LocalFree(HLOCAL memory) = 0;

  static MessageModuleService& Default();
};

class MessageModuleWrapper : public MessageModuleService {
 public:
  explicit MessageModuleWrapper(MessageModuleService& target) : target_(target) {}
  HMODULE LoadLibraryEx(const char* fileName, HANDLE file, DWORD flags) override {
    return target_.LoadLibraryEx(fileName, file, flags);
  }
  BOOL FreeLibrary(HMODULE module) override { return target_.FreeLibrary(module); }
  DWORD FormatMessage(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                      char* buffer, DWORD size, va_list* arguments) override {
    return target_.FormatMessage(flags, source, messageId, languageId, buffer, size, arguments);
  }
  HLOCAL LocalAlloc(UINT flags, size_t bytes) override { return target_.LocalAlloc(flags, bytes); }
  HLOCAL LocalFree(HLOCAL memory) override { return target_.LocalFree(memory); }

 protected:
  MessageModuleService& target() { return target_; }

 private:
  MessageModuleService& target_;
};

// The user's language as Windows would number it, from the locale
// (LC_ALL, LC_MESSAGES, LANG: "fr_FR.UTF-8" is 0x040C); US English when the
// locale names none that is known.
WORD UserDefaultLanguage();
// 0 for a locale name that names no known language.
WORD LanguageFromLocaleName(const char* name);

// The cache of parsed modules (on by default). Turning it off empties it,
// and every load then reads its file again.
void SetModuleCacheEnabled(bool enabled);
struct ModuleLoadCounters {
  uint64_t fileReads = 0;  // files opened and parsed
  uint64_t cacheHits = 0;  // loads answered from the cache
};
ModuleLoadCounters GetModuleLoadCounters();

}  // namespace platform

// The Win32-named calls, dispatching to the installed MessageModuleService.
HMODULE LoadLibraryExA(const char* fileName, HANDLE file, DWORD flags);
BOOL FreeLibrary(HMODULE module);
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char* buffer, DWORD size, va_list* arguments);
HLOCAL LocalAlloc(UINT flags, size_t bytes);
HLOCAL LocalFree(HLOCAL memory);
