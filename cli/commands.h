#pragma once
// atlys-cli's commands over the board link. Each returns the exit code.

#include "arguments.h"

namespace atlys::cli {

int run_command(const Options &options);

} // namespace atlys::cli
