#include "common/start_state.h"

namespace corvid {

HINSTANCE Instance = nullptr;
uint32_t SilentMode = 0;
std::string ListFilePath;
HANDLE CompanionProcess = nullptr;

}  // namespace corvid
