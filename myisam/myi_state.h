#pragma once
// What the index (.MYI) file says about its data file: the row format, the
// lengths that govern row unpacking, the AUTO_INCREMENT counter, the block
// size of each key, and one descriptor per stored column (in row-image
// order) telling how it is packed in a dynamic row.

#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"

namespace tavrin {

// Options of the table, as the index file and the definition keep them.
namespace MyisamOption {
inline constexpr uint16_t PackRecord = 0x0001;  // dynamic rows; fixed rows keep a live-row bit
inline constexpr uint16_t CompressRecord = 0x0004;
inline constexpr uint16_t Checksum = 0x0020;  // a dynamic row ends with a checksum byte
}  // namespace MyisamOption

enum class MyisamRowFormat { Fixed = 0, Dynamic = 1, Compressed = 2 };

// How a column is packed in a dynamic row.
namespace MyisamColumnType {
inline constexpr int16_t Normal = 0;
inline constexpr int16_t SkipEndSpace = 1;
inline constexpr int16_t SkipPreSpace = 2;
inline constexpr int16_t SkipZero = 3;
inline constexpr int16_t Blob = 4;
inline constexpr int16_t Varchar = 8;
inline constexpr int16_t Check = 9;
}  // namespace MyisamColumnType

// A BLOB's place in the row image: its length, then a pointer of this many bytes.
inline constexpr uint32_t kBlobPointerBytes = 8;

struct MyisamColumnDef {
  int16_t type = 0;
  uint16_t length = 0;  // bytes in the row image (a BLOB: length bytes plus 8)
  uint8_t nullBit = 0;
  uint16_t nullPos = 0;
};

struct MyisamState {
  MyisamRowFormat recordFormat = MyisamRowFormat::Fixed;
  uint16_t options = 0;
  uint64_t rows = 0;         // rows in the table when the server last wrote the state
  uint64_t deletedRows = 0;
  uint64_t dataLength = 0;   // bytes of the data file in use
  uint64_t autoIncrement = 0;  // the largest AUTO_INCREMENT value given so far
  std::vector<uint16_t> keyBlockLengths;  // bytes of each key's index blocks
  uint32_t recordLength = 0;        // the row image
  uint32_t packedRecordLength = 0;  // a fixed-length row in the data file
  uint32_t minPackLength = 0;
  uint32_t maxPackLength = 0;
  uint16_t packBits = 0;  // bytes of per-column flag bits at the start of a packed row
  std::vector<MyisamColumnDef> columnDefs;
};

Result<MyisamState> parseMyiState(ByteView file);
Result<MyisamState> readMyiState(const std::string& path);

}  // namespace tavrin
