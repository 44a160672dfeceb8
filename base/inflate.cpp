#include "base/inflate.h"

#include <zlib.h>

namespace tavrin {

Status inflateExactly(ByteView stream, uint8_t* out, size_t length, const std::string& what) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return ioFailure("zlib could not start");
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = uInt(stream.size());
  z.next_out = out;
  z.avail_out = uInt(length);
  const int status = inflate(&z, Z_FINISH);
  const uLong produced = z.total_out;
  const std::string message = z.msg ? z.msg : "";
  inflateEnd(&z);
  if (status == Z_STREAM_END && produced == length) return Ok{};
  if (status == Z_BUF_ERROR && z.avail_out == 0) {
    return damaged(what + " inflates to more than its " + std::to_string(length) + " bytes");
  }
  if (status == Z_STREAM_END || status == Z_BUF_ERROR) {
    return damaged(what + " ends after " + std::to_string(produced) + " of its " + std::to_string(length) + " bytes");
  }
  return damaged(what + " is not a sound zlib stream" + (message.empty() ? "" : " (" + message + ")"));
}

}  // namespace tavrin
