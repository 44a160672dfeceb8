#pragma once
// One zlib stream inflated into a buffer of the size its format promises.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/bytes.h"
#include "base/result.h"

namespace tavrin {

// Inflates `stream` into the `length` bytes at `out`, which it must fill
// exactly; bytes after the end of the stream are ignored. `what` names the
// stream in the reasons ("the compressed SDI record").
Status inflateExactly(ByteView stream, uint8_t* out, size_t length, const std::string& what);

}  // namespace tavrin
