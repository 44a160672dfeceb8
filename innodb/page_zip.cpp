#include "innodb/page_zip.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>

namespace tavrin {

namespace {

constexpr size_t kPageData = 94;       // where the records' area starts: after the page header
constexpr size_t kInfimum = 99;
constexpr size_t kSupremum = 112;
constexpr size_t kZipStart = 120;      // after the supremum: the first byte the stream fills
constexpr size_t kExtraBytes = 5;      // info bits and n_owned, heap number and status, next
constexpr size_t kPageDirEnd = 8;      // the FIL trailer below the sparse directory
constexpr size_t kNodePointer = 4;
constexpr size_t kTrxRoll = 13;        // DB_TRX_ID and DB_ROLL_PTR
constexpr size_t kBlobReference = 20;
constexpr size_t kMaxFixed = 768;      // a longer fixed field is read as a variable one
constexpr size_t kMaxFields = 1023;
constexpr uint16_t kSlotMask = 0x3FFF;
constexpr uint16_t kSlotOwned = 0x4000;
constexpr uint16_t kSlotDeleted = 0x8000;
constexpr uint8_t kMinRecord = 0x10;
constexpr uint8_t kDeleted = 0x20;
constexpr uint32_t kStatusNodePointer = 1;
constexpr uint32_t kHeapNoShift = 3;
constexpr uint32_t kNoField = UINT32_MAX;

constexpr uint8_t kInfimumRecord[] = {0x01, 0x00, 0x02, 0x00, 0x00, 'i', 'n', 'f', 'i', 'm', 'u', 'm', 0};
constexpr uint8_t kSupremumRecord[] = {0x00, 0x0B, 0x00, 0x00, 's', 'u', 'p', 'r', 'e', 'm', 'u', 'm'};

struct ZipField {
  uint32_t fixed = 0;  // 0: variable
  bool big = false;    // variable and longer than 255: one or two length bytes
  bool nullable = false;
};

// The index as the page describes it: fixed NOT NULL fields side by side may
// be merged into one, DB_TRX_ID and DB_ROLL_PTR among them.
struct ZipIndex {
  std::vector<ZipField> fields;
  size_t nullable = 0;
  uint32_t trxField = kNoField;
};

struct FieldSpan {
  uint32_t start = 0;  // from the record's origin
  uint32_t length = 0;
  bool external = false;
};

// Where a record's fields lie, read from its header.
struct RecordShape {
  std::vector<FieldSpan> fields;
  size_t extra = 0;     // header bytes below the origin, the 5 fixed ones included
  size_t dataSize = 0;  // bytes from the origin, the child page number included
  bool anyExternal = false;
};

Result<ZipIndex> decodeFields(ByteView list, bool leaf) {
  size_t n = 0;
  size_t at = 0;
  for (; at < list.size(); ++n) at += (list[at] & 0x80) ? 2 : 1;
  if (n == 0 || n - 1 > kMaxFields || at > list.size()) return damaged("the field list of a compressed page is damaged");
  --n;  // the last entry is not a field
  ZipIndex index;
  at = 0;
  for (size_t i = 0; i < n; ++i) {
    uint32_t code = list[at++];
    ZipField field;
    if (code & 0x80) {
      code = (code & 0x7F) << 8 | list[at++];
      field.fixed = code >> 1;
    } else if (code >= 126) {
      field.big = true;
    } else if (code > 1) {
      field.fixed = code >> 1;
    }
    if (field.fixed > kMaxFixed) {
      field.fixed = 0;
      field.big = true;
    }
    field.nullable = !(code & 1);
    index.nullable += field.nullable;
    index.fields.push_back(field);
  }
  uint32_t last = list[at++];
  if (last & 0x80) last = (last & 0x7F) << 8 | list[at++];
  if (leaf) {
    if (last >= n) return damaged("the field list of a compressed page puts DB_TRX_ID past its fields");
    if (last != 0) index.trxField = last;
  } else {
    if (index.nullable > last) return damaged("the field list of a compressed page counts too few nullable fields");
    index.nullable = last;
  }
  return index;
}

// The shape of a record whose header byte k (counted down from below the
// fixed 5 bytes) is `headerByte(k)`, or -1 past what can be read.
template <class HeaderByte>
Result<RecordShape> shapeOf(const ZipIndex& index, bool nodePointer, HeaderByte headerByte) {
  RecordShape shape;
  size_t k = (index.nullable + 7) / 8;
  size_t nullBit = 0;
  uint32_t position = 0;
  for (const ZipField& field : index.fields) {
    FieldSpan span{position, 0, false};
    bool isNull = false;
    if (field.nullable) {
      const int bits = headerByte(nullBit / 8);
      if (bits < 0) return damaged("a record header runs off the page");
      isNull = (bits >> (nullBit % 8)) & 1;
      ++nullBit;
    }
    if (!isNull) {
      if (field.fixed) {
        span.length = field.fixed;
      } else {
        const int first = headerByte(k++);
        if (first < 0) return damaged("a record header runs off the page");
        span.length = uint32_t(first);
        if (field.big && (first & 0x80)) {
          const int second = headerByte(k++);
          if (second < 0) return damaged("a record header runs off the page");
          span.length = uint32_t((first & 0x3F) << 8 | second);
          span.external = first & 0x40;
          shape.anyExternal |= span.external;
        }
      }
    }
    position += span.length;
    shape.fields.push_back(span);
  }
  shape.extra = kExtraBytes + k;
  shape.dataSize = position + (nodePointer ? kNodePointer : 0);
  return shape;
}

// A page being rebuilt from its compressed image.
class Decompressor {
 public:
  Decompressor(ByteView zip, uint32_t logicalSize, std::vector<uint8_t>& page)
      : zip_(zip), size_(zip.size()), logical_(logicalSize), page_(page) {}
  ~Decompressor() {
    if (streamOpen_) inflateEnd(&stream_);
  }
  Status run();

 private:
  Status decodeDirectory();
  Status openStream();
  Status inflateTo(size_t target, int flush, bool stopAtEnd, const char* what);
  Status decompressRecords();
  Status applyLog();
  Status applyLogRecord(size_t rec, uint32_t heapStatus, size_t& at, size_t end);
  Status copyLog(size_t to, size_t count, size_t& at, size_t end);
  Status restoreTrailer();
  Status setExtraBytes();
  Result<RecordShape> shapeOnPage(size_t rec, bool nodePointer) const;
  uint16_t denseEntry(size_t i) const { return be16(zip_, size_ - 2 * (i + 1)); }
  void writeNext(size_t rec, size_t next) {
    const uint16_t value = next == 0 ? 0 : uint16_t(next - rec);
    page_[rec - 2] = uint8_t(value >> 8);
    page_[rec - 1] = uint8_t(value);
  }
  size_t slotBytes() const { return 2 + (!leaf_ ? kNodePointer : index_.trxField != kNoField ? kTrxRoll : 0); }

  ByteView zip_;
  size_t size_;
  size_t logical_;
  std::vector<uint8_t>& page_;
  z_stream stream_{};
  bool streamOpen_ = false;
  bool leaf_ = false;
  size_t dense_ = 0;    // records in the dense directory, free ones included
  size_t records_ = 0;  // those in key order
  size_t directoryTop_ = 0;  // the lowest byte of the sparse directory
  size_t out_ = 0;      // where the stream writes next on the page
  size_t logStart_ = 0;
  size_t logEnd_ = 0;   // the modification log's end marker
  uint32_t heapStatus_ = 0;
  int result_ = Z_OK;  // of the last inflate
  ZipIndex index_;
  std::vector<size_t> recs_;  // by address, which is heap order
};

Status Decompressor::run() {
  if (size_ < kZipStart || logical_ > kSlotMask + 1 || logical_ < size_) {
    return damaged("a compressed page of " + std::to_string(size_) + " bytes cannot hold a page of " +
                   std::to_string(logical_));
  }
  const uint16_t heap = be16(zip_, 42);
  if (!(heap & 0x8000)) return damaged("a compressed page not in the compact record format");
  if ((heap & 0x7FFF) < 2) return damaged("a compressed page counts fewer than 2 records in its heap");
  dense_ = (heap & 0x7FFF) - 2;
  if (dense_ * 2 >= size_) return damaged("the dense directory of a compressed page is larger than the page");
  leaf_ = be16(zip_, 64) == 0;
  page_.assign(logical_, 0);
  std::memcpy(page_.data(), zip_.data(), kPageData);
  if (Status s = decodeDirectory(); !s) return s;
  std::memcpy(page_.data() + kInfimum - kExtraBytes, kInfimumRecord, sizeof kInfimumRecord);
  writeNext(kInfimum, records_ == 0 ? kSupremum : denseEntry(0) & kSlotMask);
  std::memcpy(page_.data() + kSupremum - kExtraBytes + 1, kSupremumRecord, sizeof kSupremumRecord);
  if (Status s = openStream(); !s) return s;
  if (Status s = decompressRecords(); !s) return s;
  if (Status s = applyLog(); !s) return s;
  if (Status s = restoreTrailer(); !s) return s;
  return setExtraBytes();
}

// The sparse directory from the owners in the dense one, and the records by address.
Status Decompressor::decodeDirectory() {
  records_ = be16(zip_, 54);
  const size_t slots = be16(zip_, 38);
  if (records_ > dense_) return damaged("a compressed page counts more records than its directory holds");
  if (slots < 2 || kZipStart + 2 * slots + kPageDirEnd > logical_) return damaged("the page directory of a compressed page does not fit the page");
  directoryTop_ = logical_ - kPageDirEnd - 2 * slots;
  size_t slot = 0;
  auto writeSlot = [&](size_t offset) {
    const size_t at = logical_ - kPageDirEnd - 2 * (slot + 1);
    page_[at] = uint8_t(offset >> 8);
    page_[at + 1] = uint8_t(offset);
    ++slot;
  };
  writeSlot(kInfimum);
  for (size_t i = 0; i < dense_; ++i) {
    const uint16_t entry = denseEntry(i);
    const size_t offset = entry & kSlotMask;
    if (i >= records_ && (entry & ~kSlotMask)) return damaged("a free record of a compressed page is marked");
    if (offset < kZipStart + kExtraBytes || offset >= directoryTop_) {
      return damaged("the dense directory of a compressed page points outside its records");
    }
    if (i < records_ && (entry & kSlotOwned)) {
      if (slot + 1 >= slots) return damaged("a compressed page has more owners than directory slots");
      writeSlot(offset);
    }
    recs_.push_back(offset);
  }
  if (slot + 1 != slots) return damaged("the directory slots of a compressed page do not match its owners");
  writeSlot(kSupremum);
  std::sort(recs_.begin(), recs_.end());
  if (std::adjacent_find(recs_.begin(), recs_.end()) != recs_.end()) return damaged("two records of a compressed page share an address");
  return Ok{};
}

Status Decompressor::openStream() {
  int windowBits = 0;
  while ((size_t(1) << windowBits) < logical_) ++windowBits;
  if (windowBits < 9 || windowBits > 15) return unsupported("compressed pages of " + std::to_string(logical_) + " bytes");
  if (inflateInit2(&stream_, windowBits) != Z_OK) return damaged("zlib cannot start");
  streamOpen_ = true;
  stream_.next_in = const_cast<Bytef*>(zip_.data() + kPageData);
  stream_.avail_in = uInt(size_ - kPageData - 1);  // the log's end marker is not the stream's
  stream_.next_out = page_.data() + kZipStart;
  stream_.avail_out = uInt(logical_ - kZipStart);
  // The zlib header, then the first block: the field list.
  if (inflate(&stream_, Z_BLOCK) != Z_OK || inflate(&stream_, Z_BLOCK) != Z_OK) {
    return damaged("the compressed page's stream is damaged at its start");
  }
  const size_t listEnd = size_t(stream_.next_out - page_.data());
  auto index = decodeFields(ByteView(page_.data() + kZipStart, listEnd - kZipStart), leaf_);
  if (!index) return index.failure();
  index_ = std::move(*index);
  if (dense_ * slotBytes() > stream_.avail_in) return damaged("the trailer of a compressed page is larger than the page");
  stream_.avail_in -= uInt(dense_ * slotBytes());
  out_ = kZipStart;
  return Ok{};
}

// Inflates up to `target` on the page; with `stopAtEnd`, the stream may end before it.
Status Decompressor::inflateTo(size_t target, int flush, bool stopAtEnd, const char* what) {
  if (target < out_ || target > directoryTop_) return damaged(std::string("the records of a compressed page overlap (") + what + ")");
  stream_.next_out = page_.data() + out_;
  stream_.avail_out = uInt(target - out_);
  const int result = inflate(&stream_, flush);
  result_ = result;
  out_ = size_t(stream_.next_out - page_.data());
  if (result == Z_STREAM_END && stopAtEnd) return Ok{};
  if ((result == Z_OK || result == Z_BUF_ERROR || result == Z_STREAM_END) && stream_.avail_out == 0) return Ok{};
  return damaged(std::string("the compressed page's stream is damaged (") + what + ")");
}

Result<RecordShape> Decompressor::shapeOnPage(size_t rec, bool nodePointer) const {
  auto shape = shapeOf(index_, nodePointer, [&](size_t k) -> int {
    return kExtraBytes + 1 + k <= rec ? page_[rec - kExtraBytes - 1 - k] : -1;
  });
  if (shape && rec + shape->dataSize > directoryTop_) return damaged("a record of a compressed page runs into its directory");
  return shape;
}

Status Decompressor::decompressRecords() {
  heapStatus_ = (leaf_ ? 0 : kStatusNodePointer) | 2 << kHeapNoShift;
  bool ended = false;
  for (size_t rec : recs_) {
    // Up to the record's fixed header, which the stream leaves out.
    if (Status s = inflateTo(rec - kExtraBytes, Z_SYNC_FLUSH, true, "before a record"); !s) return s;
    ended = result_ == Z_STREAM_END;
    if (out_ == rec - kExtraBytes) {
      out_ = rec;
      page_[rec - 4] = uint8_t(heapStatus_ >> 8);
      page_[rec - 3] = uint8_t(heapStatus_);
      heapStatus_ += 1 << kHeapNoShift;
    }
    if (ended) break;
    auto shape = shapeOnPage(rec, !leaf_);
    if (!shape) return shape.failure();
    if (!leaf_) {
      // The child page number is in the trailer.
      if (Status s = inflateTo(rec + shape->dataSize - kNodePointer, Z_SYNC_FLUSH, false, "a node pointer"); !s) return s;
      std::memset(page_.data() + out_, 0, kNodePointer);
      out_ += kNodePointer;
      continue;
    }
    if (index_.trxField != kNoField) {
      for (size_t i = 0; i < shape->fields.size(); ++i) {
        const FieldSpan& f = shape->fields[i];
        size_t skip = 0;
        size_t at = rec + f.start;
        if (i == index_.trxField) {
          if (f.length < kTrxRoll || f.external) return damaged("a compressed record's DB_TRX_ID is too short or kept apart");
          skip = kTrxRoll;
        } else if (f.external) {
          if (f.length < kBlobReference) return damaged("a compressed record's reference to a value kept apart is too short");
          at += f.length - kBlobReference;
          skip = kBlobReference;
        } else {
          continue;
        }
        if (Status s = inflateTo(at, Z_SYNC_FLUSH, false, "a record's columns"); !s) return s;
        std::memset(page_.data() + out_, 0, skip);
        out_ += skip;
      }
    }
    if (Status s = inflateTo(rec + shape->dataSize, Z_SYNC_FLUSH, false, "a record's end"); !s) return s;
  }
  if (!ended) {
    // What follows the last record up to the heap's top (space once freed).
    const size_t heapTop = be16(zip_, 40);
    if (heapTop < out_ || heapTop > directoryTop_) return damaged("the heap top of a compressed page is outside its records");
    stream_.next_out = page_.data() + out_;
    stream_.avail_out = uInt(heapTop - out_);
    if (inflate(&stream_, Z_FINISH) != Z_STREAM_END) return damaged("the compressed page's stream does not end at its heap top");
    out_ = size_t(stream_.next_out - page_.data());
  }
  if (out_ > directoryTop_) return damaged("the records of a compressed page run into its directory");
  std::memset(page_.data() + out_, 0, directoryTop_ - out_);
  logStart_ = size_t(stream_.next_in - zip_.data());
  logEnd_ = logStart_ + stream_.avail_in + 1;
  inflateEnd(&stream_);
  streamOpen_ = false;
  return Ok{};
}

Status Decompressor::copyLog(size_t to, size_t count, size_t& at, size_t end) {
  if (at + count >= end) return damaged("the modification log of a compressed page runs off its end");
  if (to + count > directoryTop_) return damaged("the modification log of a compressed page writes past its records");
  std::memcpy(page_.data() + to, zip_.data() + at, count);
  at += count;
  return Ok{};
}

// One entry of the log: the record's header bytes (the 5 fixed ones left
// out), then its data but for what the trailer holds.
Status Decompressor::applyLogRecord(size_t rec, uint32_t heapStatus, size_t& at, size_t end) {
  const bool nodePointer = heapStatus & kStatusNodePointer;
  auto shape = shapeOf(index_, nodePointer, [&](size_t k) -> int { return at + k < end ? zip_[at + k] : -1; });
  if (!shape) return damaged("the modification log of a compressed page runs off its end");
  if (rec < shape->extra || rec - shape->extra < kZipStart) return damaged("a record of a compressed page's log starts before the records");
  if (rec + shape->dataSize > directoryTop_) return damaged("a record of a compressed page's log runs into its directory");
  for (size_t b = rec - kExtraBytes; b != rec - shape->extra;) page_[--b] = zip_[at++];
  const RecordShape& s = *shape;
  if (s.anyExternal) {
    if (nodePointer) return damaged("a node pointer of a compressed page keeps a value apart");
    size_t next = rec;
    for (size_t i = 0; i < s.fields.size(); ++i) {
      const FieldSpan& f = s.fields[i];
      if (i == index_.trxField) {
        if (f.length < kTrxRoll || f.external) return damaged("a compressed record's DB_TRX_ID is too short or kept apart");
        if (Status c = copyLog(next, rec + f.start - next, at, end); !c) return c;
        next = rec + f.start + kTrxRoll;
      } else if (f.external) {
        if (f.length < kBlobReference) return damaged("a compressed record's reference to a value kept apart is too short");
        const size_t count = rec + f.start + f.length - kBlobReference - next;
        if (Status c = copyLog(next, count, at, end); !c) return c;
        next += count + kBlobReference;
      }
    }
    return copyLog(next, rec + s.dataSize - next, at, end);
  }
  if (nodePointer) return copyLog(rec, s.dataSize - kNodePointer, at, end);
  if (index_.trxField == kNoField) return copyLog(rec, s.dataSize, at, end);
  const FieldSpan& trx = s.fields[index_.trxField];
  if (trx.length < kTrxRoll) return damaged("a compressed record's DB_TRX_ID is too short");
  if (Status c = copyLog(rec, trx.start, at, end); !c) return c;
  const size_t after = rec + trx.start + kTrxRoll;
  return copyLog(after, rec + s.dataSize - after, at, end);
}

Status Decompressor::applyLog() {
  size_t at = logStart_;
  const size_t end = logEnd_;
  while (true) {
    if (at >= end) return damaged("the modification log of a compressed page runs off its end");
    uint32_t value = zip_[at++];
    if (value == 0) break;
    if (value & 0x80) {
      value = (value & 0x7F) << 8 | zip_[at++];
      if (value == 0) return damaged("the modification log of a compressed page holds an empty entry");
    }
    if (at >= end) return damaged("the modification log of a compressed page runs off its end");
    const size_t heapNo = (value >> 1) + 1;
    if (heapNo < 2 || heapNo - 2 >= dense_) return damaged("the modification log of a compressed page names a record it lacks");
    const size_t rec = recs_[heapNo - 2];
    const uint32_t status = uint32_t(heapNo) << kHeapNoShift | (heapStatus_ & 7);
    if (status > heapStatus_) return damaged("the modification log of a compressed page skips a record");
    if (status == heapStatus_) {
      if (value & 1) return damaged("the modification log of a compressed page clears a record never written");
      heapStatus_ += 1 << kHeapNoShift;
    }
    page_[rec - 4] = uint8_t(status >> 8);
    page_[rec - 3] = uint8_t(status);
    if (value & 1) {
      // A record cleared: its data zeroed.
      auto shape = shapeOnPage(rec, !leaf_);
      if (!shape) return shape.failure();
      std::memset(page_.data() + rec, 0, shape->dataSize);
      continue;
    }
    if (Status s = applyLogRecord(rec, status, at, end); !s) return s;
  }
  logEnd_ = at - 1;  // the end marker
  size_t trailer = dense_ * slotBytes();
  if (trailer + logEnd_ >= size_) return damaged("the modification log of a compressed page runs into its trailer");
  return Ok{};
}

// The columns the trailer keeps apart from the stream, in heap order from the directory down.
Status Decompressor::restoreTrailer() {
  if (!leaf_) {
    size_t storage = size_ - 2 * dense_;
    for (size_t rec : recs_) {
      auto shape = shapeOnPage(rec, true);
      if (!shape) return shape.failure();
      storage -= kNodePointer;
      std::memcpy(page_.data() + rec + shape->dataSize - kNodePointer, zip_.data() + storage, kNodePointer);
    }
    return Ok{};
  }
  if (index_.trxField == kNoField) return Ok{};
  std::unordered_set<size_t> freed;
  for (size_t i = records_; i < dense_; ++i) freed.insert(denseEntry(i) & kSlotMask);
  size_t storage = size_ - 2 * dense_;
  size_t externs = storage - kTrxRoll * dense_;
  for (size_t rec : recs_) {
    auto shape = shapeOnPage(rec, false);
    if (!shape) return shape.failure();
    const FieldSpan& trx = shape->fields[index_.trxField];
    if (trx.length < kTrxRoll) return damaged("a compressed record's DB_TRX_ID is too short");
    storage -= kTrxRoll;
    std::memcpy(page_.data() + rec + trx.start, zip_.data() + storage, kTrxRoll);
    for (const FieldSpan& f : shape->fields) {
      if (!f.external) continue;
      if (f.length < kBlobReference) return damaged("a compressed record's reference to a value kept apart is too short");
      uint8_t* to = page_.data() + rec + f.start + f.length - kBlobReference;
      if (freed.count(rec)) {
        std::memset(to, 0, kBlobReference);
        continue;
      }
      if (externs < logEnd_ + kBlobReference) return damaged("the references to values kept apart run into the log of a compressed page");
      externs -= kBlobReference;
      std::memcpy(to, zip_.data() + externs, kBlobReference);
    }
  }
  return Ok{};
}

// Each record's info bits, owned count and next record, from the dense directory.
Status Decompressor::setExtraBytes() {
  uint8_t info = !leaf_ && be32(zip_, 8) == UINT32_MAX ? kMinRecord : 0;
  size_t owned = 1;
  size_t rec = kInfimum;
  size_t i = 0;
  for (; i < records_; ++i) {
    uint16_t entry = denseEntry(i);
    if (entry & kSlotDeleted) info |= kDeleted;
    if (entry & kSlotOwned) {
      info |= uint8_t(owned);
      owned = 1;
    } else {
      ++owned;
    }
    const size_t offset = entry & kSlotMask;
    writeNext(rec, offset);
    rec = offset;
    page_[rec - kExtraBytes] = info;
    info = 0;
  }
  writeNext(rec, kSupremum);
  page_[kSupremum - kExtraBytes] = uint8_t(owned);
  if (i == dense_) return Ok{};
  // The free list, in the directory's order.
  rec = denseEntry(i) & kSlotMask;
  page_[rec - kExtraBytes] = 0;
  while (++i < dense_) {
    const size_t next = denseEntry(i) & kSlotMask;
    writeNext(rec, next);
    rec = next;
    page_[rec - kExtraBytes] = 0;
  }
  writeNext(rec, 0);
  return Ok{};
}

}  // namespace

Status decompressIndexPage(ByteView zip, uint32_t logicalSize, std::vector<uint8_t>& page) {
  Decompressor d(zip, logicalSize, page);
  return d.run();
}

Status inflateZblob(ZblobReader& reader, uint64_t firstPage, uint32_t offset, uint64_t length,
                    std::vector<uint8_t>& value) {
  constexpr size_t kNextOffset = 12;
  constexpr size_t kDataStart = 38;
  constexpr uint32_t kLastPage = UINT32_MAX;
  constexpr size_t kChunk = 65536;  // the value grows as it inflates, not by what its reference claims
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return damaged("zlib cannot start");
  struct End {
    z_stream& s;
    ~End() { inflateEnd(&s); }
  } end{stream};
  std::unordered_set<uint64_t> visited;
  uint64_t page = firstPage;
  uint16_t expected = kZblobPageType;
  uint64_t left = length;
  while (left > 0) {
    if (!visited.insert(page).second) return damaged("the pages of a compressed value kept apart loop");
    auto bytes = reader.page(page);
    if (!bytes) return bytes.failure();
    const ByteView p = *bytes;
    if (be16(p, 24) != expected) return damaged("a page of a compressed value kept apart has another type");
    // The next page's number is where the reference says on the first page, in the FIL header on the others.
    const uint32_t next = be32(p, offset);
    const size_t from = offset == kNextOffset ? kDataStart : size_t(offset) + 4;
    if (from >= p.size()) return damaged("a compressed value kept apart starts outside its page");
    stream.next_in = const_cast<Bytef*>(p.data() + from);
    stream.avail_in = uInt(p.size() - from);
    int result = Z_OK;
    do {
      const size_t at = value.size();
      const size_t want = size_t(std::min<uint64_t>(left, kChunk));
      value.resize(at + want);
      stream.next_out = value.data() + at;
      stream.avail_out = uInt(want);
      result = inflate(&stream, Z_NO_FLUSH);
      value.resize(at + want - stream.avail_out);
      left -= want - stream.avail_out;
    } while (left > 0 && result == Z_OK && stream.avail_out == 0);
    if (left == 0) break;
    if (result == Z_STREAM_END) return damaged("a compressed value kept apart is shorter than its length");
    if (result != Z_OK && result != Z_BUF_ERROR) return damaged("the stream of a compressed value kept apart is damaged");
    if (next == kLastPage) return damaged("a compressed value kept apart ends before its length");
    page = next;
    offset = kNextOffset;
    expected = kZblob2PageType;
  }
  return Ok{};
}

}  // namespace tavrin
