#include "platform/windows/qt/help_viewer.h"

namespace platform::qt {

bool ShowHelpTopic(QWidget*, const std::string&, unsigned long) { return false; }
void CloseHelp() {}

}  // namespace platform::qt
