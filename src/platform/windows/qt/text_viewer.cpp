#include "platform/windows/qt/text_viewer.h"

namespace platform::qt {

bool OpenInTextViewer(const std::string&) { return false; }

}  // namespace platform::qt
