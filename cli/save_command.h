#pragma once
// tavrin-recover save: the objects of a folder into a server or a script.

#include <ostream>
#include <string>

#include "cli/command_support.h"

namespace tavrin::cli {

// The options of a save go together; a failure says why not.
Status checkSaveOptions(const Invocation& a);

Status saveCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err);

}  // namespace tavrin::cli
