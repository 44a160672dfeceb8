#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include <limits.h>
#include <unistd.h>

#include "cli/commands.h"

namespace {

std::string executableFolder() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, size_t(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = tavrin::cli::kFailed;
  // No failure leaves as an exception: each one is a message and an exit status.
  try {
    status = tavrin::cli::run(args, executableFolder(), std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "tavrin-recover: " << e.what() << '\n';
    return tavrin::cli::kFailed;
  } catch (...) {
    std::cerr << "tavrin-recover: an unexpected failure\n";
    return tavrin::cli::kFailed;
  }
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "tavrin-recover: cannot write the output\n";
    return tavrin::cli::kFailed;
  }
  return status;
}
