// The reader's hash, evaluated by the compiler, agrees with the include files the tool generated
// for tests/reader/catalog.csv (seed kSeed); the generated table then reads back through them.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "quillex/message_table_reader.h"

namespace {

constexpr std::uint32_t kSeed = QUILLEX_TEST_SEED;

enum class MessageId : std::uint32_t {
#include "catalog_id_hash.inc"
};

enum class Language : std::uint32_t {
#include "catalog_lang_hash.inc"
};

constexpr std::uint32_t operator+(MessageId id) { return static_cast<std::uint32_t>(id); }
constexpr std::uint32_t operator+(Language language) {
  return static_cast<std::uint32_t>(language);
}

static_assert(+MessageId::GREETING == quillex::HashString("GREETING", kSeed));
static_assert(+MessageId::FAREWELL == quillex::HashString("FAREWELL", kSeed));
static_assert(+MessageId::CAFÉ_OPEN == quillex::HashString("CAFÉ_OPEN", kSeed));  // sign-extended
static_assert(+MessageId::EMPTY == quillex::HashString("EMPTY", kSeed));
static_assert(+Language::en == quillex::HashString("en", kSeed));
static_assert(+Language::ja == quillex::HashString("ja", kSeed));
static_assert(+Language::de == quillex::HashString("de", kSeed));

TEST(GeneratedIncludeTest, TableReadsThroughTheGeneratedHashes) {
  std::ifstream in(QUILLEX_TEST_TABLE, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
  quillex::MessageTableReader table;
  ASSERT_EQ(table.Load(bytes.data(), bytes.size()), quillex::ReadStatus::Ok);
  EXPECT_EQ(table.Seed(), kSeed);
  const struct {
    Language language;
    MessageId id;
    const char* text;
  } cases[] = {
      {Language::en, MessageId::GREETING, "Hello, {0}!"},
      {Language::ja, MessageId::FAREWELL, "さようなら．"},
      {Language::de, MessageId::FAREWELL, "Goodbye."},  // missing: the first language's
      {Language::de, MessageId::CAFÉ_OPEN, "Das Café ist offen."},
      {Language::ja, MessageId::EMPTY, ""},
  };
  for (const auto& c : cases) {
    std::string_view text;
    ASSERT_TRUE(table.GetText(+c.language, +c.id, &text)) << c.text;
    EXPECT_EQ(text, c.text);
  }
}

}  // namespace
