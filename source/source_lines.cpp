#include "source/source_lines.h"

namespace quillex {
namespace {

// Collects lines and hands them to the stream in large blocks, so that a message costs a few
// appends instead of one formatted write per byte.
class LineBuffer {
 public:
  explicit LineBuffer(std::FILE* out) : out_(out) { text_.reserve(kFlushSize + 256); }
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  ~LineBuffer() { Flush(); }

  std::string& Text() { return text_; }

  /// Ends a line; writes the collected text out once it is large.
  void EndLine() {
    text_ += '\n';
    if (text_.size() >= kFlushSize) Flush();
  }

 private:
  static constexpr std::size_t kFlushSize = 64 * 1024;

  void Flush() {
    if (!text_.empty()) std::fwrite(text_.data(), 1, text_.size(), out_);
    text_.clear();
  }

  std::FILE* out_;
  std::string text_;
};

void AppendEscaped(std::string* text, const std::string& message) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::size_t start = text->size();
  text->resize(start + message.size() * 4);
  char* p = text->data() + start;
  for (char c : message) {
    auto byte = static_cast<unsigned char>(c);
    *p++ = '\\';
    *p++ = 'x';
    *p++ = kHexDigits[byte >> 4];
    *p++ = kHexDigits[byte & 0x0F];
  }
}

}  // namespace

bool WriteIdentifierLines(std::FILE* out, const CsvTable& table, const std::string& indentation) {
  LineBuffer buffer(out);
  for (std::int32_t row = 1; row < table.rows; ++row) {
    const std::string& identifier = table.Cell(row, 0);
    if (identifier.empty()) continue;
    buffer.Text().append(indentation).append(identifier).append(",");
    buffer.EndLine();
  }
  return true;
}

bool WriteLanguageLines(std::FILE* out, const CsvTable& table, const std::string& indentation) {
  LineBuffer buffer(out);
  for (std::int32_t column = 1; column < table.columns; ++column) {
    buffer.Text().append(indentation).append(table.Cell(0, column)).append(",");
    buffer.EndLine();
  }
  return true;
}

bool WriteMessageLines(std::FILE* out, const CsvTable& table, std::int32_t column,
                       const std::string& indentation) {
  LineBuffer buffer(out);
  for (std::int32_t row = 1; row < table.rows; ++row) {
    const std::string& identifier = table.Cell(row, 0);
    if (identifier.empty()) continue;
    // Column 1 is the fallback language, also for itself (it then stays empty).
    const std::string* message = &table.Cell(row, column);
    if (message->empty() && table.columns > 1) message = &table.Cell(row, 1);

    std::string& text = buffer.Text();
    text.append(indentation).append("/* ").append(identifier).append(" */ \"");
    AppendEscaped(&text, *message);
    text.append("\",");
    buffer.EndLine();
  }
  return true;
}

std::string LowerCaseLanguageId(const std::string& languageId) {
  std::string lower = languageId;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace quillex
