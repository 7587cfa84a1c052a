// velmora_driver: the console helper that the end-to-end scenarios run under Wine to look at and
// poke the tray from the Windows side.
#include "driver.h"

namespace driver {
std::vector<Command> WindowCommands();
std::vector<Command> MenuCommands();
std::vector<Command> KernelCommands();
std::vector<Command> RegistryCommands();
}  // namespace driver

int wmain(int argc, wchar_t** argv) {
  std::vector<driver::Command> commands;
  for (auto area : {driver::WindowCommands, driver::MenuCommands, driver::KernelCommands,
                    driver::RegistryCommands}) {
    for (const driver::Command& command : area()) commands.push_back(command);
  }
  return driver::Run("velmora_driver", commands, argc, argv);
}
