#include "platform/windows/qt/qt_windows.h"
