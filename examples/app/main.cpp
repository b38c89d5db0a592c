// Prints the greeting in every language of the message table that the build generated from
// messages.csv, read through the zorb-quillex reader.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "quillex/message_table_reader.h"

// Generated: one "NAME = 0x...," line per message identifier and per language.
enum class MessageId : std::uint32_t {
#include "msg_id_hash.inc"
};
enum class Language : std::uint32_t {
#include "msg_lang_hash.inc"
};

namespace {

std::string_view Text(const quillex::MessageTableReader& table, std::size_t language,
                      MessageId id) {
  return table.Text(language, table.FindMessage(static_cast<std::uint32_t>(id)));
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : MESSAGE_TABLE;
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>()};
  quillex::MessageTableReader table;
  const quillex::ReadStatus status = table.Load(bytes.data(), bytes.size());
  if (status != quillex::ReadStatus::Ok) {
    std::fprintf(stderr, "%s: %s\n", path, quillex::ToString(status));
    return 1;
  }
  // The first language of the CSV is the one every missing translation falls back to.
  const std::size_t first = table.FindLanguage(static_cast<std::uint32_t>(Language::en));
  for (std::size_t language = 0; language < table.LanguageCount(); ++language) {
    const std::string_view name = Text(table, language, MessageId::LANGUAGE_NAME);
    const std::string_view greeting = Text(table, language, MessageId::GREETING);
    const std::string_view farewell = Text(table, language, MessageId::FAREWELL);
    std::printf("%s%.*s: %.*s %.*s\n", language == first ? "* " : "  ",
                static_cast<int>(name.size()), name.data(), static_cast<int>(greeting.size()),
                greeting.data(), static_cast<int>(farewell.size()), farewell.data());
  }
  return 0;
}
