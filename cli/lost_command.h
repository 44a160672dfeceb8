#pragma once
// tavrin-recover lost SOURCE: the InnoDB indexes that a file or a folder holds
// pages of, each named by the user's CREATE TABLE statements where one fits.

#include <ostream>
#include <string>

#include "base/result.h"
#include "cli/command_support.h"

namespace tavrin::cli {

Status lostCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err);

}  // namespace tavrin::cli
