#include <string>

#include "platform/windows/qt/qt_windows.h"
#include "resources/strings.h"
#include "common/command_line.h"
#include "shell/entry_point.h"

namespace {

int argumentCount = 0;
char** arguments = nullptr;

bool OpenQtWindowSystem() { return platform::qt::InstallQtWindowSystem(argumentCount, arguments); }

}  // namespace

int main(int argc, char** argv) {
  argumentCount = argc;
  arguments = argv;
  const std::string line = corvid::JoinArguments(argc - 1, argv + 1);
  return corvid::CorvidMain(resources::ProgramInstance(), line.c_str(), OpenQtWindowSystem);
}
