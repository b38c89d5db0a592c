#include "source/source_lines.h"

#include <array>
#include <cstring>

#include "platform/platform.h"

namespace quillex {
namespace {

// "\xHH" for every byte value, so that a byte costs one 4-byte copy.
constexpr std::array<std::array<char, 4>, 256> kEscapes = [] {
  constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::array<std::array<char, 4>, 256> escapes{};
  for (std::size_t byte = 0; byte < 256; ++byte) {
    escapes[byte] = {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
  }
  return escapes;
}();

void AppendEscaped(std::string* text, std::string_view message) {
  std::size_t start = text->size();
  text->resize(start + message.size() * 4);
  char* p = text->data() + start;
  for (char c : message) {
    std::memcpy(p, kEscapes[static_cast<unsigned char>(c)].data(), 4);
    p += 4;
  }
}

}  // namespace

void WriteIdentifierLines(std::string& out, const CsvTable& table,
                          const std::string& indentation) {
  for (std::int32_t row = 1; row < table.rows; ++row) {
    std::string_view identifier = table.Cell(row, 0);
    if (identifier.empty()) continue;
    out.append(indentation).append(identifier).append(",\n");
  }
}

void WriteLanguageLines(std::string& out, const CsvTable& table, const std::string& indentation) {
  for (std::int32_t column = 1; column < table.columns; ++column) {
    out.append(indentation).append(table.Cell(0, column)).append(",\n");
  }
}

void WriteMessageLines(std::string& out, const CsvTable& table, std::int32_t column,
                       const std::string& indentation) {
  // Column 1 is the fallback language, also for itself (it then stays empty).
  auto messageOf = [&](std::int32_t row) {
    std::string_view message = table.Cell(row, column);
    return message.empty() && table.columns > 1 ? table.Cell(row, 1) : message;
  };
  // The lines are four times the size of their text: sized first rather than grown by copying.
  constexpr std::size_t kFixedPerLine = std::string_view("/*  */ \"\",\n").size();
  std::size_t size = out.size();
  for (std::int32_t row = 1; row < table.rows; ++row) {
    std::string_view identifier = table.Cell(row, 0);
    if (identifier.empty()) continue;
    size += indentation.size() + kFixedPerLine + identifier.size() + 4 * messageOf(row).size();
  }
  platform::ReserveLarge(out, size);

  for (std::int32_t row = 1; row < table.rows; ++row) {
    std::string_view identifier = table.Cell(row, 0);
    if (identifier.empty()) continue;
    out.append(indentation).append("/* ").append(identifier).append(" */ \"");
    AppendEscaped(&out, messageOf(row));
    out.append("\",\n");
  }
}

std::string LowerCaseLanguageId(std::string_view languageId) {
  std::string lower(languageId);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace quillex
