#include "base/file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrin {

Failure openFailure(const std::string& what, int error) {
  std::string reason = what + ": " + std::strerror(error);
  return error == ENOENT ? missing(std::move(reason)) : ioFailure(std::move(reason));
}

Result<ReadOnlyFile> ReadOnlyFile::open(const std::string& path) {
  // Without blocking: a FIFO or a device named like a data file must not
  // stall the open; it is refused below as no regular file.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return openFailure("cannot open " + path + " for reading", errno);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int error = errno;
    ::close(fd);
    return openFailure("cannot read " + path, error);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return ioFailure(path + " is not a regular file");
  }
  return ReadOnlyFile(fd, path, uint64_t(st.st_size));
}

ReadOnlyFile::ReadOnlyFile(int fd, std::string path, uint64_t size)
    : fd_(fd), path_(std::move(path)), size_(size) {}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), size_(other.size_) {
  other.fd_ = -1;
}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    size_ = other.size_;
    other.fd_ = -1;
  }
  return *this;
}

ReadOnlyFile::~ReadOnlyFile() {
  if (fd_ >= 0) ::close(fd_);
}

size_t ReadOnlyFile::readAt(uint64_t offset, uint8_t* buffer, size_t count) const {
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(fd_, buffer + done, count - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  return done;
}

std::vector<uint8_t> ReadOnlyFile::readAt(uint64_t offset, size_t count) const {
  std::vector<uint8_t> bytes(count);
  bytes.resize(readAt(offset, bytes.data(), count));
  return bytes;
}

Result<std::vector<uint8_t>> ReadOnlyFile::readAll(uint64_t limit) const {
  if (size_ > limit) {
    return unsupported(path_ + " is " + std::to_string(size_) + " bytes long, more than the " +
                std::to_string(limit) + " bytes such a file can hold");
  }
  std::vector<uint8_t> bytes = readAt(0, size_t(size_));
  if (bytes.size() != size_) {
    return ioFailure("cannot read " + path_ + ": got " + std::to_string(bytes.size()) + " of " +
                std::to_string(size_) + " bytes");
  }
  return bytes;
}

ReadOnlyFile::Run ReadOnlyFile::dataFrom(uint64_t offset) const {
  if (offset >= size_) return {size_, size_};
  // The file's own offset is moved, and nothing reads by it: every read is a pread.
  const off_t data = ::lseek(fd_, off_t(offset), SEEK_DATA);
  if (data < 0) return errno == ENXIO ? Run{size_, size_} : Run{offset, size_};
  const off_t hole = ::lseek(fd_, data, SEEK_HOLE);
  const uint64_t start = std::min<uint64_t>(uint64_t(data), size_);
  return {start, hole <= data ? size_ : std::min<uint64_t>(uint64_t(hole), size_)};
}

Result<std::vector<uint8_t>> readSmallFile(const std::string& path, uint64_t limit) {
  auto file = ReadOnlyFile::open(path);
  if (!file) return file.failure();
  return file->readAll(limit);
}

}  // namespace tavrin
