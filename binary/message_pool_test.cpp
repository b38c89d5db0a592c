#include "binary/message_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/test_temp_dir.h"

namespace quillex {
namespace {

class MessagePoolTest : public TempDirTest {
 protected:
  // Loads `csv` (the rows after a header "ID,en,de,fr") into `table`.
  void LoadTable(const std::string& csv, MessageTable* table) {
    ASSERT_TRUE(table->Load(Write("messages.csv", "ID,en,de,fr\r\n" + csv), 0));
  }
};

// What the pool should be: every text at its offset, NUL-terminated, language by language in
// identifier order; an empty text of a later language shares the first language's offset and has
// no bytes of its own.
struct ModelPool {
  std::string bytes;
  std::vector<std::uint32_t> offsets;
};

ModelPool Model(const MessageTable& table) {
  const std::size_t languageCount = table.languages.size();
  ModelPool model;
  model.offsets.resize(table.messageIds.size() * languageCount);
  for (std::size_t i = 0; i < languageCount; ++i) {
    for (std::size_t j = 0; j < table.messageIds.size(); ++j) {
      std::string_view text = table.Text(i, j);
      std::uint32_t& offset = model.offsets[j * languageCount + i];
      if (i > 0 && text.empty()) {
        offset = model.offsets[j * languageCount];
        continue;
      }
      offset = static_cast<std::uint32_t>(model.bytes.size());
      model.bytes.append(text).push_back('\0');
    }
  }
  return model;
}

// Produces the planned pool, checking that it comes in blocks of 1 to `blockBytes` bytes and
// ends where the plan says. False when the producer refused.
bool Produce(const MessagePool& pool, std::span<const std::uint32_t> offsets,
             std::size_t blockBytes, std::string* bytes) {
  const bool produced = pool.produce(offsets, [&](std::string_view piece) {
    EXPECT_GE(piece.size(), 1u);
    EXPECT_LE(piece.size(), blockBytes);
    bytes->append(piece);
  });
  EXPECT_LE(bytes->size(), PoolSize(pool));
  return produced;
}

// Random tables (empty cells and fallbacks, empty first-language texts, repeated and many
// identifiers, texts longer than a block) against the model, laid out on one thread or several,
// produced in blocks of every size from one byte up.
TEST_F(MessagePoolTest, ProducedPoolMatchesModelInBlocksOfAnySize) {
  std::mt19937 random(3);
  static const std::string kTexts[] = {
      "", "", "", "a", "Hi <#red>", "\xE6\xBC\xA2\xE5\xAD\x97", std::string(300, 'x')};
  for (int round = 0; round < 100; ++round) {
    const int idRange = round % 2 == 0 ? 8 : 1000;
    std::string csv;
    for (int row = static_cast<int>(random() % (round % 4 < 2 ? 12 : 300)); row > 0; --row) {
      csv.append("M").append(std::to_string(random() % idRange));
      for (int language = 0; language < 3; ++language) {
        csv += "," + kTexts[random() % std::size(kTexts)];
      }
      csv += "\r\n";
    }
    MessageTable table;
    LoadTable(csv, &table);
    const ModelPool model = Model(table);
    for (std::size_t blockBytes : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                                   std::size_t{64}, std::size_t{301}, kTextPoolBlockBytes}) {
      MessagePool pool;
      // Laid out on up to 7 threads: the parts start every 64 identifiers.
      const std::size_t workers = 1 + blockBytes % 7;
      ASSERT_TRUE(PlanTextPool(table, &pool, blockBytes, workers));
      std::vector<std::uint32_t> offsets;
      ASSERT_TRUE(BuildOffsetPool(table, &pool, &offsets));
      EXPECT_EQ(offsets, model.offsets) << csv;
      EXPECT_EQ(PoolSize(pool), model.bytes.size());
      std::string produced;
      EXPECT_TRUE(Produce(pool, offsets, blockBytes, &produced));
      ASSERT_EQ(produced, model.bytes) << "blocks of " << blockBytes << "\n" << csv;
      ASSERT_EQ(static_cast<bool>(pool.producePlaced), workers > 1);
      if (pool.producePlaced) {
        // Placed by several threads: every byte once, in the pool.
        std::string placed(model.bytes.size(), '?');
        std::vector<int> times(model.bytes.size(), 0);
        EXPECT_TRUE(pool.producePlaced(offsets, [&](std::uint64_t at, std::string_view piece) {
          ASSERT_LE(at + piece.size(), placed.size());
          placed.replace(at, piece.size(), piece);
          for (std::size_t k = 0; k < piece.size(); ++k) ++times[at + k];
        }));
        EXPECT_EQ(std::count(times.begin(), times.end(), 1), static_cast<long>(times.size()));
        ASSERT_EQ(placed, model.bytes) << "placed in blocks of " << blockBytes << "\n" << csv;
      }
    }
  }
}

// Texts of a streamed language are noted with 24 bits for their size; one of 16 MB or more is
// read again from its row, whether it is the first language's, a translation, or a fallback.
TEST_F(MessagePoolTest, TextsOfSixteenMegabytesStreamWhole) {
  const std::string huge(std::size_t{1} << 24, 'h');
  const std::string longer = huge + "!";
  MessageTable table;
  LoadTable("A,a," + huge + ",x\r\nB," + longer + ",,y\r\nC,c,d,\r\n", &table);
  const ModelPool model = Model(table);
  for (std::size_t blockBytes : {std::size_t{1} << 20, kTextPoolBlockBytes}) {
    MessagePool pool;
    ASSERT_TRUE(PlanTextPool(table, &pool, blockBytes));
    std::string produced;
    EXPECT_TRUE(Produce(pool, pool.offsets, blockBytes, &produced));
    EXPECT_TRUE(produced == model.bytes) << "blocks of " << blockBytes;
    EXPECT_EQ(pool.offsets, model.offsets);
  }
}

// The producer stops at the first byte that would land where the layout does not put it: an offset
// moved by one, a fallback that no longer shares its offset, a language's part that starts or ends
// elsewhere; whether a part streams through small blocks or fills a block with others.
TEST_F(MessagePoolTest, ProducerRefusesLayoutItDisagreesWith) {
  MessageTable table;
  LoadTable("A,one,,\r\nB,,,\r\nC,three,drei,trois\r\n", &table);
  MessagePool pool;
  ASSERT_TRUE(PlanTextPool(table, &pool));
  const std::vector<std::uint32_t> laidOut = pool.offsets;
  // en: "one", "", "three"; de: "one" (the fallback's copy), "drei" (B shares en's empty text);
  // fr: "one", "trois".
  const std::vector<std::uint64_t> starts = {0, 11, 20, 30};
  ASSERT_EQ(PoolSize(pool), starts.back());

  for (std::size_t blockBytes : {std::size_t{4}, std::size_t{64}}) {
    auto produce = [&](std::span<const std::uint32_t> offsets, std::span<const std::uint64_t> at) {
      std::string bytes;
      const bool produced = WriteTextPool(table, offsets, at, blockBytes,
                                          [&bytes](std::string_view piece) { bytes += piece; });
      EXPECT_LE(bytes.size(), starts.back());
      return produced;
    };
    ASSERT_TRUE(produce(laidOut, starts));
    for (std::size_t entry = 0; entry < laidOut.size(); ++entry) {
      for (std::int64_t shift : {-1, 1}) {
        std::vector<std::uint32_t> moved = laidOut;
        moved[entry] = static_cast<std::uint32_t>(moved[entry] + shift);
        EXPECT_FALSE(produce(moved, starts)) << entry << " " << shift << " " << blockBytes;
      }
    }
    const std::vector<std::vector<std::uint64_t>> wrongStarts = {
        {0, 11, 20, 29}, {0, 11, 20, 31}, {0, 10, 20, 30}, {0, 12, 20, 30},
        {0, 11, 21, 30}, {0, 21, 20, 30}, {1, 11, 20, 30}, {0, 11, 20}};
    for (const std::vector<std::uint64_t>& wrong : wrongStarts) {
      EXPECT_FALSE(produce(laidOut, wrong)) << wrong[1] << " " << blockBytes;
    }
  }

  // Placed by several threads, each language a group of its own (blocks of 10 bytes).
  MessagePool placedPool;
  ASSERT_TRUE(PlanTextPool(table, &placedPool, 10, 3));
  auto place = [&](std::span<const std::uint32_t> offsets) {
    return placedPool.producePlaced(offsets, [&](std::uint64_t at, std::string_view piece) {
      EXPECT_LE(at + piece.size(), starts.back());
    });
  };
  ASSERT_TRUE(place(laidOut));
  for (std::size_t entry = 0; entry < laidOut.size(); ++entry) {
    std::vector<std::uint32_t> moved = laidOut;
    ++moved[entry];
    EXPECT_FALSE(place(moved)) << entry;
  }
}

// Pools of 4 GiB cannot be built in a test, but the check only looks at sizes.
TEST_F(MessagePoolTest, OffsetPoolRefusesWhatDoesNotFit32Bits) {
  EXPECT_TRUE(FitsBinaryFile(1, 1, 0xFFFFFFFFull));
  EXPECT_FALSE(FitsBinaryFile(1, 1, 0x100000000ull));
  // 2^16 languages and 2^14 identifiers: 2^30 offsets, one byte too many for the size field.
  EXPECT_TRUE(FitsBinaryFile(1u << 16, (1u << 14) - 1, 0));
  EXPECT_FALSE(FitsBinaryFile(1u << 16, 1u << 14, 0));
  EXPECT_FALSE(FitsBinaryFile(0x100000000ull, 0, 0));
}

}  // namespace
}  // namespace quillex
