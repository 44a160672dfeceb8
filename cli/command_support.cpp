#include "cli/command_support.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <termios.h>
#include <unistd.h>
#include <filesystem>

#include "base/file.h"
#include "base/path.h"
#include "base/text.h"
#include "session/texts.h"
#include "tabledef/definition_file.h"

namespace tavrin::cli {

CollationCatalogue loadCatalogue(const std::string& executableFolder, std::ostream& err) {
  CatalogueChoice choice = findCatalogue({".", executableFolder});
  for (const std::string& warning : choice.warnings) err << kProgram << ": warning: " << warning << '\n';
  return std::move(choice.catalogue);
}

std::string absoluteFolder(const std::string& folder) {
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(folder, ec).lexically_normal().string();
  return stripTrailingSeparators(ec ? folder : absolute);
}

Result<std::unique_ptr<ScannedFolder>> scanFolder(const std::string& folder) {
  if (!pathExists(folder)) return missing(folder + " does not exist");
  if (!isDirectory(folder)) return ioFailure(folder + " is not a folder");
  const std::string absolute = absoluteFolder(folder);
  bool found = holdsObjectFiles(absolute);
  if (!found) {
    auto entries = listFolder(absolute);
    if (!entries) return entries.failure();
    for (const DirEntry& e : *entries) {
      if (e.isDirectory && holdsObjectFiles(joinPath(absolute, e.name))) found = true;
    }
  }
  if (!found) {
    return missing("no MySQL database in " + folder + ": neither it nor its sub-folders hold a .frm, .ibd or .TRG file");
  }
  auto scanned = std::make_unique<ScannedFolder>();
  scanned->dataFolderNode = BuildObjectTree(scanned->session, absolute);
  return scanned;
}

void warnPassedOver(const RecoverySession& session, std::ostream& err) {
  for (const PassedOver& p : session.passedOver) {
    err << kProgram << ": warning: " << printable(p.path + texts::kPassedOver + p.reason) << '\n';
  }
}

Result<std::string> findDatabase(const ScannedFolder& scanned, const std::string& database) {
  const RecoverySession& s = scanned.session;
  for (const std::string& folder : s.databaseFolders) {
    if (objectNameFromFileName(lastComponent(folder)) == database) return folder;
  }
  return missing("no database " + database + " in " + s.dataPath);
}

Result<NodeTarget> findObject(const ScannedFolder& scanned, const std::string& database, const std::string& group,
                              const std::string& name, const char* kind) {
  auto folder = findDatabase(scanned, database);
  if (!folder) return folder.failure();
  const ObjectTree& tree = scanned.session.tree;
  const NodeId db = tree.findChild(scanned.dataFolderNode, database);
  const NodeId groupNode = tree.findChild(db, group);
  const NodeId node = groupNode == kNoNode ? kNoNode : tree.findChild(groupNode, name);
  if (node != kNoNode) return resolveNode(scanned.session, node);
  if (const PassedOver* p = passedOverObject(scanned.session, *folder, name)) {
    return damaged(std::string("the ") + kind + " " + name + " cannot be read: " + p->path + texts::kPassedOver + p->reason);
  }
  return missing(std::string("no ") + kind + " " + name + " in database " + database);
}

Status SystemTablespaceSource::checkNamed() {
  if (named_.empty()) return Ok{};
  auto opened = SystemTablespace::open(named_, catalogue_);
  if (!opened) return opened.failure().prefixed("--ibdata: ");
  take(std::move(*opened));
  return Ok{};
}

InnodbSystem SystemTablespaceSource::operator()() {
  if (!loaded_) {
    loaded_ = true;
    for (const std::string& path : systemTablespaceCandidates(session_)) {
      if (!isRegularFile(path)) continue;
      auto opened = SystemTablespace::open(path, catalogue_);
      if (opened) take(std::move(*opened));
      else problem_ = opened.reason();
      break;
    }
  }
  return space_ ? space_->system() : InnodbSystem{};
}

void SystemTablespaceSource::take(std::unique_ptr<SystemTablespace> space) {
  loaded_ = true;
  space_ = std::move(space);
  if (space_->dictionary().damage) {
    err_ << kProgram << ": warning: the InnoDB dictionary in " << space_->path()
         << " is damaged: " << space_->dictionary().damage->reason << '\n';
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
