#pragma once
// What the commands of the command line share: the parsed command line, the
// folder opened through the recovery core, its warnings, the password.

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/result.h"
#include "session/recovery.h"
#include "tabledef/collation_catalogue.h"

namespace tavrin::cli {

inline constexpr const char* kProgram = "tavrin-recover";

// A command line: its arguments and its options with their values.
struct Invocation {
  std::vector<std::string> arguments;
  std::map<std::string, std::string> options;
  bool has(const std::string& option) const { return options.count(option) != 0; }
  const std::string& option(const std::string& name) const { return options.at(name); }
};

// The options that give tables whose definitions are gone a CREATE TABLE.
inline const std::string kDefinitions = "--definitions";
inline const std::string kDefinitionsFirst = "--definitions-first";
inline const std::string kDefinitionsUsage = " [--definitions FILE.sql [--definitions-first]]";
// --definitions-first asks for --definitions.
Status checkDefinitionsOptions(const Invocation& a);

// The catalogue from the current folder, else from beside the executable.
CollationCatalogue loadCatalogue(const std::string& executableFolder, std::ostream& err);

// The folder of the command line opened (with the system tablespace --ibdata
// names, when it names one).
Result<std::unique_ptr<Recovery>> openFolder(const Invocation& a, const CollationCatalogue& catalogue);

// Each thing the reading found worth a warning, once, on stderr.
void warnOf(Recovery& recovery, std::ostream& err);
// Where the table's definition comes from, when not from its own files.
void noteDefinedBy(const Recovery& recovery, const NodeTarget& table, std::ostream& err);
// The files the scan passed over, each with why.
void warnPassedOver(const Recovery& recovery, std::ostream& err);

// The password of a server: from the first line of --password-file or from
// TAVRIN_PASSWORD, else asked for on a terminal; never from the command
// line, where every user of the machine could read it. Empty when none is
// given.
Result<std::string> serverPassword(const Invocation& a);

}  // namespace tavrin::cli
