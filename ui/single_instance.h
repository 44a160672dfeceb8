#pragma once
// One copy of the window per user: a lock file in the user's runtime folder,
// and a local socket the running copy listens on. A lock left by a copy that
// crashed is taken over: its process is gone and nobody answers on the socket.

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <memory>

namespace tavrin::ui {

class SingleInstance {
 public:
  // `name` tells programs (and tests) apart.
  explicit SingleInstance(const QString& name);
  // True when this is the only running copy; it then holds the lock until it ends.
  bool claim();

 private:
  bool anotherAnswers() const;
  QString name_;
  QLockFile lock_;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace tavrin::ui
