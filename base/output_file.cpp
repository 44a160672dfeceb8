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

Status writeFileAtomically(const std::string& path, std::string_view bytes, bool replace) {
  std::string temporary = joinPath(folderOf(path), "." + lastComponent(path) + ".tavrin-XXXXXX");
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return openFailure("cannot create a file beside " + path, errno);
  // The permissions of a file the tool writes, not mkstemp's 0600.
  constexpr mode_t kOutputMode = 0644;
  const bool written = ::fchmod(fd, kOutputMode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
  const int writeError = errno;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed) {
    ::unlink(temporary.c_str());
    return ioFailure("cannot write " + path + ": " + std::strerror(written ? errno : writeError));
  }
  // A hard link puts the file in place only where no file has the name.
  const bool placed = replace ? ::rename(temporary.c_str(), path.c_str()) == 0 : ::link(temporary.c_str(), path.c_str()) == 0;
  const int error = errno;
  if (!placed || !replace) ::unlink(temporary.c_str());
  if (!placed) return ioFailure("cannot write " + path + ": " + std::strerror(error));
  return Ok{};
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
