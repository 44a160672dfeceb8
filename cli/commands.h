#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tavrin::cli {

// Exit statuses.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

// Runs one command line (without the program name); `executableFolder` is
// where the collation catalogue is looked for after the current folder.
int run(const std::vector<std::string>& args, const std::string& executableFolder, std::ostream& out,
        std::ostream& err);

}  // namespace tavrin::cli
