#pragma once
// The scan log: a UTF-16 little-endian text file with CR LF line ends that
// every Open appends a session to; only a new file starts with a byte order
// mark. Written from the scan worker and the user interface thread alike.

#include <mutex>
#include <optional>
#include <string>

#include "base/result.h"

namespace tavrin {

class ScanLog {
 public:
  ScanLog() = default;
  ~ScanLog();
  ScanLog(const ScanLog&) = delete;
  ScanLog& operator=(const ScanLog&) = delete;

  // Closes the current file and opens `path`: created with the byte order
  // mark when it does not exist, else appended to.
  Status open(const std::string& path);
  void close();
  bool isOpen() const;
  const std::string& path() const { return path_; }

  // Appends the text unchanged (the caller adds any CR LF). After a write
  // fails, nothing more is written.
  void write(const std::string& text);
  // The first write that failed, with the system's reason.
  Status written() const;

 private:
  mutable std::mutex mutex_;
  int fd_ = -1;
  std::string path_;
  std::optional<Failure> failed_;
};

}  // namespace tavrin
