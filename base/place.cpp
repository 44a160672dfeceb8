#include "base/place.h"

namespace tavrin {

std::string describe(const Place& p) {
  if (!p.part.empty()) return p.part;
  if (p.page) {
    std::string text = p.file + " page " + std::to_string(*p.page);
    if (p.byte) text += " byte " + std::to_string(*p.byte);
    return text;
  }
  if (p.byte) return "byte " + std::to_string(*p.byte) + (p.file.empty() ? "" : " of " + p.file);
  return p.file;
}

}  // namespace tavrin
