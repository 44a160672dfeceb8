#include "cli/check_command.h"

#include "base/text.h"

namespace tavrin::cli {

namespace {

// The objects of every database, of one, or one table.
Result<std::vector<NodeTarget>> checkedObjects(const Recovery& recovery, const std::vector<std::string>& args) {
  if (args.size() == 3) {
    auto table = recovery.findObject(args[1], "Tables", args[2], "table");
    if (!table) return table.failure();
    return std::vector<NodeTarget>{*table};
  }
  if (args.size() == 2) {
    auto database = recovery.findDatabase(args[1]);
    if (!database) return database.failure();
    return objectsOfDatabase(recovery.session(), *database);
  }
  std::vector<NodeTarget> objects;
  for (size_t d = 0; d < recovery.session().databaseFolders.size(); ++d) {
    for (const NodeTarget& o : objectsOfDatabase(recovery.session(), d)) objects.push_back(o);
  }
  return objects;
}

// The files the scan could not place, in the folder or in the one database.
Result<std::vector<PassedOver>> passedOverIn(const Recovery& recovery, const std::vector<std::string>& args) {
  if (args.size() == 1) return recovery.passedOver();
  if (args.size() == 3) return std::vector<PassedOver>{};
  auto database = recovery.findDatabase(args[1]);
  if (!database) return database.failure();
  return recovery.passedOver(*database);
}

}  // namespace

Status checkCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  auto recovery = openFolder(a, catalogue);
  if (!recovery) return recovery.failure();
  auto passed = passedOverIn(**recovery, a.arguments);
  if (!passed) return passed.failure();
  auto objects = checkedObjects(**recovery, a.arguments);
  if (!objects) return objects.failure();
  size_t unsound = 0;
  for (const PassedOver& p : *passed) {
    out << printable(p.path + ": unreadable: " + p.reason) << '\n';
    ++unsound;
  }
  for (const NodeTarget& o : *objects) {
    const Recovery::ObjectCheck check = (*recovery)->check(o);
    warnOf(**recovery, err);
    out << printable(check.line) << '\n';
    if (!check.sound) ++unsound;
  }
  out.flush();
  if (unsound == 0) return Ok{};
  return damaged(std::to_string(unsound) + " of " + std::to_string(objects->size() + passed->size()) +
                 (passed->empty() ? " objects" : " objects and files") + " are not sound");
}

}  // namespace tavrin::cli
