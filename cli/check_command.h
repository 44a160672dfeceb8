#pragma once
// tavrin-recover check: every table read whole, with a verdict each.

#include <ostream>
#include <string>

#include "cli/command_support.h"

namespace tavrin::cli {

Status checkCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err);

}  // namespace tavrin::cli
