// koravelctl ports: which device each COM number stands for, and the serial
// devices present; ports set N DEVICE and ports clear N change the links.
#pragma once

#include <string>
#include <vector>

namespace ctl {

// args: empty (list), "set N DEVICE" or "clear N". Needs no open port.
// Returns the process exit code.
int RunPorts(const std::vector<std::string>& args);

} // namespace ctl
