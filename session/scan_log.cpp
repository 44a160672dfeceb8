#include "session/scan_log.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/text.h"

namespace tavrin {

ScanLog::~ScanLog() { close(); }

Status ScanLog::open(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_ = path;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  bool created = fd >= 0;
  if (!created && errno == EEXIST) fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return ioFailure("cannot create the log file " + path + ": " + std::strerror(errno));
  failed_.reset();
  if (created) {
    static constexpr char kByteOrderMark[] = {char(0xFF), char(0xFE)};
    if (::write(fd, kByteOrderMark, 2) != 2) {
      // A log that could not even start is not left behind empty.
      const int error = errno;
      ::close(fd);
      ::unlink(path.c_str());
      return ioFailure("cannot write the log file " + path + ": " + std::strerror(error));
    }
  }
  fd_ = fd;
  return Ok{};
}

void ScanLog::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool ScanLog::isOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fd_ >= 0;
}

void ScanLog::write(const std::string& text) {
  std::string bytes;
  appendUtf16Le(bytes, text);
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ < 0 || failed_) return;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = ioFailure("cannot write the log file " + path_ + ": " + std::strerror(n < 0 ? errno : ENOSPC));
      return;
    }
    done += size_t(n);
  }
}

Status ScanLog::written() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failed_) return *failed_;
  return Ok{};
}

}  // namespace tavrin
