#pragma once
// Files the tool writes: each is written whole under a temporary name beside
// its target and then renamed over it, so that a failed or cut-short write
// leaves the target as it was.

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace tavrin {

// A file written piece by piece under a temporary name beside its target,
// put in place by commit(); dropped without a commit, it leaves nothing.
class OutputFile {
 public:
  static Result<OutputFile> create(const std::string& path);
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  ~OutputFile();

  const std::string& path() const { return path_; }
  Status append(std::string_view bytes);
  // Flushes the file to disk and gives it its name, replacing a file of that
  // name unless `replace` is false, when an existing file is kept and the
  // commit fails.
  Status commit(bool replace);

 private:
  OutputFile(std::string path, std::string temporary, int fd)
      : path_(std::move(path)), temporary_(std::move(temporary)), fd_(fd) {}
  Status failure(int error);
  void discard();

  std::string path_;
  std::string temporary_;
  int fd_ = -1;
  std::optional<Failure> failed_;  // the first failure, said again by every later step
};

// Writes `bytes` as the file `path`, replacing a file of that name unless
// `replace` is false, when an existing file is kept and the write fails.
Status writeFileAtomically(const std::string& path, std::string_view bytes, bool replace = true);

// True when `path` (which need not exist) would be a file in `folder` or in
// a folder below it, once links are followed.
bool liesWithin(const std::string& path, const std::string& folder);

// True when both paths name one existing file.
bool sameFile(const std::string& a, const std::string& b);

}  // namespace tavrin
