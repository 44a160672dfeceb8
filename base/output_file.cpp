#include "base/output_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file.h"
#include "base/path.h"

namespace tavrin {

namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind(kSeparator);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The path with every link followed; empty when it does not exist.
std::string realPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool writeAll(int fd, std::string_view bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

}  // namespace

Result<OutputFile> OutputFile::create(const std::string& path) {
  std::string temporary = joinPath(folderOf(path), std::string(".").append(lastComponent(path)).append(".tavrin-XXXXXX"));
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return openFailure("cannot create a file beside " + path, errno);
  // The permissions of a file the tool writes, not mkstemp's 0600.
  constexpr mode_t kOutputMode = 0644;
  if (::fchmod(fd, kOutputMode) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    return ioFailure("cannot write " + path + ": " + std::strerror(error));
  }
  return OutputFile(path, std::move(temporary), fd);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : path_(std::move(other.path_)), temporary_(std::move(other.temporary_)), fd_(other.fd_),
      failed_(std::move(other.failed_)) {
  other.fd_ = -1;
  other.temporary_.clear();
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

Status OutputFile::failure(int error) {
  discard();
  failed_ = ioFailure("cannot write " + path_ + ": " + std::strerror(error));
  return *failed_;
}

Status OutputFile::append(std::string_view bytes) {
  if (failed_) return *failed_;
  if (fd_ < 0) return ioFailure("cannot write " + path_ + ": the file is closed");
  if (!writeAll(fd_, bytes)) return failure(errno);
  return Ok{};
}

Status OutputFile::commit(bool replace) {
  if (failed_) return *failed_;
  if (fd_ < 0) return ioFailure("cannot write " + path_ + ": the file is closed");
  if (::fsync(fd_) != 0) return failure(errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return failure(errno);
  // A hard link puts the file in place only where no file has the name.
  const bool placed = replace ? ::rename(temporary_.c_str(), path_.c_str()) == 0
                              : ::link(temporary_.c_str(), path_.c_str()) == 0;
  const int error = errno;
  if (placed && replace) temporary_.clear();
  if (!placed) return failure(error);
  discard();
  return Ok{};
}

Status writeFileAtomically(const std::string& path, std::string_view bytes, bool replace) {
  auto file = OutputFile::create(path);
  if (!file) return file.failure();
  if (Status written = file->append(bytes); !written) return written;
  return file->commit(replace);
}

bool liesWithin(const std::string& path, const std::string& folder) {
  const std::string parent = realPath(folderOf(path));
  const std::string top = realPath(folder);
  if (parent.empty() || top.empty()) return false;
  return parent == top || (parent.size() > top.size() && parent.compare(0, top.size(), top) == 0 &&
                           (top == "/" || parent[top.size()] == kSeparator));
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace tavrin
