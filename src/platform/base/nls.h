// String comparison as the national language support of Windows offers it.
// Text is UTF-8; "ignore case" folds the letters of the Latin, Greek and
// Cyrillic alphabets, which is what event source and file names use.
#pragma once

#include "platform/base/win32.h"

typedef DWORD LCID;

enum : LCID { LOCALE_SYSTEM_DEFAULT = 0x0800, LOCALE_USER_DEFAULT = 0x0400 };
enum : DWORD { NORM_IGNORECASE = 0x00000001 };
enum : int { CSTR_LESS_THAN = 1, CSTR_EQUAL = 2, CSTR_GREATER_THAN = 3 };

// Compares `count1` bytes of `string1` with `count2` of `string2` (-1: up to
// the terminator). 0 with ERROR_INVALID_PARAMETER for a null text or
// unknown flags.
int CompareStringA(LCID locale, DWORD flags, const char* string1, int count1, const char* string2,
                   int count2);
