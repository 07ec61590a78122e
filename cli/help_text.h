#pragma once
// The --help texts: the overview (with the exit codes) and one per command.

#include "arguments.h"

#include <string>

namespace atlys::cli {

// Command::none gives the overview.
std::string help_text(Command command);

} // namespace atlys::cli
