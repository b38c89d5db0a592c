// The Shift_JIS console conversion against a plain model: decode the whole UTF-8 with the tool's
// code point reader, then write each code point before the first zero as its byte below U+00FF,
// its two table bytes, or "??".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "console/shift_jis.h"
#include "input/text_decoder.h"

namespace {

using namespace quillex;

const std::map<std::uint32_t, std::uint16_t>& Table() {
  static const auto* table = [] {
    auto* map = new std::map<std::uint32_t, std::uint16_t>;
    for (const ShiftJisPair& pair : kShiftJisTable) (*map)[pair.unicode] = pair.shiftJis;
    return map;
  }();
  return *table;
}

bool Model(std::string_view text, std::string* out) {
  out->clear();
  CodePointReader reader{reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                         TextEncoding::Utf8, 0, false};
  std::vector<std::uint32_t> codes;
  while (!reader.AtEnd()) {
    const std::uint32_t c = reader.Next();
    if ((c & kDecodeError) != 0) return false;  // anywhere, after a zero too
    codes.push_back(c);
  }
  std::string result;
  for (std::uint32_t c : codes) {
    if (c < 0xFF) {
      result.push_back(static_cast<char>(c));
    } else if (auto it = Table().find(c); it != Table().end()) {
      result.push_back(static_cast<char>(it->second >> 8));
      result.push_back(static_cast<char>(it->second & 0xFF));
    } else {
      result += "??";
    }
  }
  *out = result;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string converted = "stale";
  std::string expected;
  const bool ok = ToShiftJis(text, &converted);
  if (ok != Model(text, &expected) || converted != expected) std::abort();
  return 0;
}
