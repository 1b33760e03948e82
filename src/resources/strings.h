// The program's string table and the module that carries it. The entry point
// stores ProgramModule() as the instance handle; everything that loads a
// resource goes through that handle, as it would through the module on
// Windows.
#pragma once

#include "platform/windows/windows.h"

namespace resources {

enum StringId : UINT {
  IDS_ABOUT = 1,
  IDS_UNKNOWN_ERROR = 2,
  IDS_NOT_INSTALLED = 3,
  IDS_INVALID_VALUE = 4,
  IDS_OPERATION_CANCELLED = 5,
  IDS_COMPLETED = 11,
  IDS_UNABLE_TO_OPEN_LOG = 15,
  IDS_UNABLE_TO_READ_LOG = 16,
  IDS_UNABLE_TO_WRITE_LOG = 17,
  IDS_UNABLE_TO_LOAD_DSNSMITH = 19,
  IDS_UNABLE_TO_READ_REGISTRY = 20,
  IDS_REGISTRY_UNAVAILABLE = 21,
  IDS_SPECIFY_DATA_SOURCE = 23,
  IDS_UNABLE_TO_CLEAR_LOG = 24,
};

const platform::ResourceModule& ProgramModule();

// The handle form of ProgramModule(), for LoadStringA and its kin.
HINSTANCE ProgramInstance();

}  // namespace resources
