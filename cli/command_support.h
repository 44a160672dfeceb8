#pragma once
// What the commands of the command line share: the parsed command line, the
// scanned folder and its lookups, the system tablespace, the password.

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/result.h"
#include "innodb/system_tablespace.h"
#include "session/scan.h"
#include "tabledef/collation_catalogue.h"

namespace tavrin::cli {

inline constexpr const char* kProgram = "tavrin-recover";

// A command line: its arguments and its options with their values.
struct Invocation {
  std::vector<std::string> arguments;
  std::map<std::string, std::string> options;
  bool has(const std::string& option) const { return options.count(option) != 0; }
};

struct ScannedFolder {
  RecoverySession session;
  NodeId dataFolderNode = kNoNode;
};

// The catalogue from the current folder, else from beside the executable.
CollationCatalogue loadCatalogue(const std::string& executableFolder, std::ostream& err);

std::string absoluteFolder(const std::string& folder);
// The folder scanned as the server keeps it: itself the only database when
// it holds definition or trigger files, else each sub-folder a database.
Result<std::unique_ptr<ScannedFolder>> scanFolder(const std::string& folder);
void warnPassedOver(const RecoverySession& session, std::ostream& err);
// The folder of a database of a scanned folder.
Result<std::string> findDatabase(const ScannedFolder& scanned, const std::string& database);
// What the node of an object of a database stands for; `group` is "Tables",
// "Views" or "Trigger". An object the scan passed over is named with why.
Result<NodeTarget> findObject(const ScannedFolder& scanned, const std::string& database, const std::string& group,
                              const std::string& name, const char* kind);

// The system tablespace for the tables of a scanned folder: the one named on
// the command line (which must be one), else the first where the server
// keeps it, read when an InnoDB table first needs it.
class SystemTablespaceSource {
 public:
  SystemTablespaceSource(const RecoverySession& session, std::string named, const CollationCatalogue& catalogue,
                         std::ostream& err)
      : session_(session), named_(std::move(named)), catalogue_(catalogue), err_(err) {}

  Status checkNamed();
  InnodbSystem operator()();
  const std::string& problem() const { return problem_; }

 private:
  void take(std::unique_ptr<SystemTablespace> space);

  const RecoverySession& session_;
  std::string named_;
  const CollationCatalogue& catalogue_;
  std::ostream& err_;
  bool loaded_ = false;
  std::unique_ptr<SystemTablespace> space_;
  std::string problem_;
};

// The password of a server: from the first line of --password-file or from
// TAVRIN_PASSWORD, else asked for on a terminal; never from the command
// line, where every user of the machine could read it. Empty when none is
// given.
Result<std::string> serverPassword(const Invocation& a);

}  // namespace tavrin::cli
