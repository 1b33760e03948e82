#include <string>

#include "resources/strings.h"
#include "shell/command_line.h"
#include "shell/entry_point.h"

int main(int argc, char** argv) {
  const std::string line = corvid::JoinArguments(argc - 1, argv + 1);
  return corvid::CorvidMain(resources::ProgramInstance(), line.c_str());
}
