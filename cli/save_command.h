#pragma once
// tavrin-recover save: the objects of a folder into a server or a script.

#include <ostream>
#include <string>

#include "cli/command_support.h"

namespace tavrin::cli {

// What is wrong with the options of a save, or nothing.
std::string saveOptionProblem(const Invocation& a);

Status saveCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err);

}  // namespace tavrin::cli
