#include "cli/command_support.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <termios.h>
#include <unistd.h>

#include "base/file.h"
#include "base/path.h"
#include "base/text.h"
#include "session/texts.h"

namespace tavrin::cli {

CollationCatalogue loadCatalogue(const std::string& executableFolder, std::ostream& err) {
  CatalogueChoice choice = findCatalogue({".", executableFolder});
  for (const std::string& warning : choice.warnings) err << kProgram << ": warning: " << warning << '\n';
  return std::move(choice.catalogue);
}

Result<std::unique_ptr<Recovery>> openFolder(const Invocation& a, const CollationCatalogue& catalogue) {
  SourceOptions options;
  if (a.has("--ibdata")) options.ibdata = a.option("--ibdata");
  if (a.has("--definitions")) options.definitions = a.option("--definitions");
  options.definitionsFirst = a.has("--definitions-first");
  return Recovery::open(a.arguments[0], catalogue, options);
}

void warnOf(Recovery& recovery, std::ostream& err) {
  for (const std::string& warning : recovery.takeWarnings()) {
    err << kProgram << ": warning: " << printable(warning) << '\n';
  }
}

Status checkDefinitionsOptions(const Invocation& a) {
  if (a.has(kDefinitionsFirst) && !a.has(kDefinitions)) return damaged(kDefinitionsFirst + " needs " + kDefinitions);
  return Ok{};
}

void noteDefinedBy(const Recovery& recovery, const NodeTarget& table, std::ostream& err) {
  const std::string by = recovery.definedBy(table);
  if (by.empty()) return;
  err << kProgram << ": note: " << printable(recovery.databaseOf(table) + "." + recovery.nameOf(table)) << " is read by "
      << printable(by) << '\n';
}

void warnPassedOver(const Recovery& recovery, std::ostream& err) {
  for (const PassedOver& p : recovery.passedOver()) {
    err << kProgram << ": warning: " << printable(p.path + texts::kPassedOver + p.reason) << '\n';
  }
}

namespace {

// Asks for the password on the terminal with echo off.
std::string promptedPassword() {
  std::fputs("Password: ", stderr);
  std::fflush(stderr);
  termios saved{};
  const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string password;
  std::getline(std::cin, password);
  if (terminal) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::fputs("\n", stderr);
  return password;
}

}  // namespace

Result<std::string> serverPassword(const Invocation& a) {
  if (a.has("--password-file")) {
    auto bytes = readSmallFile(a.options.at("--password-file"), 4096);
    if (!bytes) return bytes.failure().prefixed("--password-file: ");
    const std::string text(bytes->begin(), bytes->end());
    return text.substr(0, text.find('\n'));
  }
  if (const char* password = std::getenv("TAVRIN_PASSWORD")) return std::string(password);
  if (::isatty(STDIN_FILENO)) return promptedPassword();
  return std::string();
}

}  // namespace tavrin::cli
