#include "ui/single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace tavrin::ui {

namespace {

QString lockPath(const QString& name) {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  return folder + "/" + name + ".lock";
}

}  // namespace

SingleInstance::SingleInstance(const QString& name) : name_(name), lock_(lockPath(name)) {
  lock_.setStaleLockTime(0);  // a lock is stale only when its process is gone
}

bool SingleInstance::claim() {
  if (!lock_.tryLock(0)) {
    if (anotherAnswers()) return false;
    // The lock's owner is gone (or stopped listening): take the lock over.
    lock_.removeStaleLockFile();
    if (!lock_.tryLock(0)) return false;
  }
  QLocalServer::removeServer(name_);
  server_ = std::make_unique<QLocalServer>();
  server_->listen(name_);
  return true;
}

bool SingleInstance::anotherAnswers() const {
  QLocalSocket socket;
  socket.connectToServer(name_);
  return socket.waitForConnected(500);
}

}  // namespace tavrin::ui
