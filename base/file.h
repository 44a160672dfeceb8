#pragma once
// Files are only ever opened for reading: the tool must never change the data
// folder it recovers from, and must work on a read-only copy of it.

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"

namespace tavrin {

class ReadOnlyFile {
 public:
  // Fails with a reason when the path cannot be opened for reading or is not
  // a regular file.
  static Result<ReadOnlyFile> open(const std::string& path);

  ReadOnlyFile(ReadOnlyFile&& other) noexcept;
  ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile();

  const std::string& path() const { return path_; }
  // The length of the file when it was opened.
  uint64_t size() const { return size_; }

  // Reads up to `count` bytes at `offset` into `buffer` and returns how many
  // it got: fewer at the end of the file or on a read error.
  size_t readAt(uint64_t offset, uint8_t* buffer, size_t count) const;

  // Up to `count` bytes at `offset`; the vector's size says how many were read.
  std::vector<uint8_t> readAt(uint64_t offset, size_t count) const;

  // The whole file, or a failure when it is longer than `limit` bytes.
  Result<std::vector<uint8_t>> readAll(uint64_t limit) const;

  // The next run of bytes at or after `offset` that the file holds data for:
  // a sparse file's holes read as zeros without being stored, and a scan
  // that passes them by takes the time of the data, not of the length.
  // {size(), size()} when no data is left; where the system cannot tell,
  // the whole rest of the file.
  struct Run {
    uint64_t start = 0;
    uint64_t end = 0;
  };
  Run dataFrom(uint64_t offset) const;

 private:
  ReadOnlyFile(int fd, std::string path, uint64_t size);
  int fd_ = -1;
  std::string path_;
  uint64_t size_ = 0;
};

// The failure to open or read `what`: missing when the system says there is
// no such file, else an I/O failure, with the system's reason.
Failure openFailure(const std::string& what, int error);

// Opens and reads a whole small file (definition, view and trigger files).
Result<std::vector<uint8_t>> readSmallFile(const std::string& path, uint64_t limit);

}  // namespace tavrin
