#include "binary/character_table.h"

#include <algorithm>
#include <atomic>
#include <numeric>

#include "binary/binary_format.h"
#include "binary/color_names.h"
#include "console/catalog.h"
#include "input/text_decoder.h"
#include "platform/parallel.h"
#include "platform/platform.h"

namespace quillex {
namespace {

constexpr std::string_view kDefaultTypeface = "default";
constexpr std::string_view kRubyTypeface = "ruby";
constexpr std::string_view kAllLanguagesKey = "all";
constexpr std::string_view kBoldTypeface = "bold";

CharacterList& ListOf(CharacterTable* table, std::string_view typeface) {
  auto it = table->find(typeface);
  if (it == table->end()) it = table->emplace(std::string(typeface), CharacterList()).first;
  return it->second;
}

}  // namespace

std::uint32_t& CharacterList::MakeSlot(std::uint32_t code) {
  const std::size_t page = code >> 8;
  if (page >= pages_.size()) pages_.resize(page + 1);
  if (pages_[page] == nullptr) pages_[page] = std::make_unique<Page>();
  return (*pages_[page])[code & 0xFF];
}

void CharacterList::AddCounts(const CharacterList& other) {
  for (std::size_t row = 0; row < asciiCounts_.size(); ++row) {
    for (std::uint32_t code = 0; code < kAscii; ++code) {
      asciiCounts_[row][code] += other.asciiCounts_[row][code];
    }
  }
  other.ForEachSlot([this](std::uint32_t code, std::uint32_t count) { Count(code, count); });
}

void CharacterList::Number() {
  characters_.clear();
  auto add = [this](std::uint32_t code, std::uint32_t count) {
    characters_.push_back({.code = code,
                           .name = EncodeUtf8(code),
                           .index = static_cast<std::uint32_t>(characters_.size()),
                           .useCount = count});
  };
  // ASCII first, then the pages as they go up: the entries come out in code point order.
  for (std::uint32_t code = 1; code < kAscii; ++code) {
    if (code == '\r' || code == '\n') continue;
    const std::uint32_t count = asciiCounts_[0][code] + asciiCounts_[1][code];
    if (count != 0) add(code, count);
  }
  asciiCounts_ = {};
  ForEachSlot([&](std::uint32_t code, std::uint32_t& slot) {
    add(code, slot);
    slot = static_cast<std::uint32_t>(characters_.size());
  });
  // The ASCII entries lead the list: their slots only now, as the pages held counts till here,
  // and their units for the encoder's byte table (below 128, so always in the unit range).
  plainUnits_ = MakePlainUnits();
  for (std::size_t i = 0; i < characters_.size() && characters_[i].code < kAscii; ++i) {
    MakeSlot(characters_[i].code) = static_cast<std::uint32_t>(i + 1);
    plainUnits_[characters_[i].code] = static_cast<std::uint16_t>(i);
  }
}

void PrintIndexingFault(const IndexingFault& fault) {
  if (fault.error) {
    PrintError(fault.message, fault.args);
  } else {
    PrintWarning(fault.message, fault.args);
  }
}

std::string_view CharacterTableKey(IndexingMode mode, std::string_view languageName) {
  return mode == IndexingMode::AllLanguages ? kAllLanguagesKey : languageName;
}

std::uint64_t CountText(std::string_view text, CharacterList* list, std::uint32_t times) {
  // Read as UTF-8 from the first byte: a text that starts with U+FEFF has no byte order mark.
  // Plain pointers rather than a reader object: the loop keeps them in registers.
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = p + text.size();
  std::uint64_t units = 0;
  while (p < end) {
    // ASCII, most of the text, without a branch: 0 has no unit; CR and LF have control codes
    // of their own, and the list drops their counts.
    const unsigned char byte = *p;
    if (byte < 0x80) {
      if (end - p >= 2 && p[1] < 0x80) {
        units += (byte != 0) + (p[1] != 0);
        list->CountAsciiPair(byte, p[1], times);
        p += 2;
        continue;
      }
      ++p;
      units += byte != 0;
      list->CountAscii(byte, times);
      continue;
    }
    const auto [code, length] = ReadUtf8Step(p, end);
    p += length;
    // A bad sequence has no character to list, nor a unit.
    if ((code & kDecodeError) != 0 || code == 0) continue;
    ++units;
    if (code != '\r' && code != '\n') list->Count(code, times);
  }
  return units;
}

std::size_t SubstitutionUnits(const PlaceholderSpec& spec, std::array<std::uint16_t, 6>* units) {
  namespace unit = binary_format::unit;
  std::size_t count = 0;
  auto add = [&](std::uint16_t value) { (*units)[count++] = value; };
  auto low8 = [](std::int32_t value) { return static_cast<std::uint16_t>(value & 0xFF); };
  if (spec.index != -1) add(unit::kSubstIndex | low8(spec.index));
  if (spec.width != 0) add(unit::kSubstWidth | low8(spec.width));
  // The fill is a byte: taken unsigned, so that a non-ASCII fill stays inside its field.
  if (spec.fill != ' ') add(unit::kSubstFill | static_cast<std::uint8_t>(spec.fill));
  if (spec.precision != -1) add(unit::kSubstPrecision | low8(spec.precision));
  if (spec.hexDigits != 0) add(unit::kSubstHexDigits | low8(spec.hexDigits));
  if (spec.plus || spec.comma || spec.tilde || spec.hexMode != 0) {
    add(unit::kSubstFlags | (spec.plus ? 1 : 0) | (spec.comma ? 2 : 0) | (spec.tilde ? 4 : 0) |
        ((spec.hexMode * 8) & 0xF8));
  }
  return count;
}

MessageShape CountMessage(const MarkupNodes& markup, CharacterTable* table, std::uint32_t times,
                          CharacterList** defaultList) {
  std::uint64_t units = 1;  // the end unit
  bool bold = false;        // a "bold" tag: fails where the table has no "bold" list
  bool other = false;       // a tag the encoder ignores with a warning
  std::string_view typeface = kDefaultTypeface;
  // The list of `typeface`, looked up at the first text under it (which creates it); the
  // "default" list, once made, from the caller's cache.
  CharacterList* list = defaultList != nullptr ? *defaultList : nullptr;
  auto current = [&]() -> CharacterList* {
    if (list == nullptr) {
      // After a reset, the "default" list from the cache rather than a look-up by name.
      if (defaultList != nullptr && *defaultList != nullptr &&
          typeface.data() == kDefaultTypeface.data()) {
        list = *defaultList;
      } else {
        list = &ListOf(table, typeface);
        if (defaultList != nullptr && typeface == kDefaultTypeface) *defaultList = list;
      }
    }
    return list;
  };
  for (const MarkupNode& node : markup.nodes) {
    switch (node.type) {
      case MsgNodeType::Text:
        units += CountText(node.text, current(), times);
        break;
      case MsgNodeType::Face:
        typeface = node.text;
        list = nullptr;
        if (node.text == kBoldTypeface) {
          bold = true;
          ++units;
        } else {
          other = true;
        }
        break;
      case MsgNodeType::Reset:
        if (node.target == ResetTarget::Face || node.target == ResetTarget::All) {
          typeface = kDefaultTypeface;
          list = nullptr;
        }
        if (node.target == ResetTarget::Unknown) {
          other = true;
        } else {
          ++units;
        }
        break;
      case MsgNodeType::Ruby:
        units += 3 + CountText(node.text, current(), times) +
                 CountText(node.ruby, &ListOf(table, kRubyTypeface), times);
        break;
      case MsgNodeType::Subst: {
        std::array<std::uint16_t, 6> described;
        units += 1 + SubstitutionUnits(node.spec, &described);
        break;
      }
      case MsgNodeType::Color:
        if (FindColorValue(node.text)) {
          ++units;
        } else {
          other = true;
        }
        break;
    }
  }
  return {.units = units, .mayReport = bold || other, .boldOnly = bold && !other};
}

void CountCharacters(const MarkupNodes& markup, CharacterTable* table) {
  CountMessage(markup, table, 1);
}

bool BuildCharacterTables(const MessageTable& table, IndexingMode mode, CharacterTables* tables,
                          const IndexingReporter& report, IndexedPoolPlan* plan,
                          std::size_t workers) {
  if (mode != IndexingMode::PerLanguage && mode != IndexingMode::AllLanguages) return false;
  const std::size_t languageCount = table.languages.size();
  const std::size_t idCount = languageCount == 0 ? 0 : table.messageIds.size();
  workers = std::max<std::size_t>(workers, 1);
  // Each worker counts a share of the rows into tables of its own, every key present as in the
  // result; the counts are added up afterwards, which gives the very lists of counting alone.
  std::vector<CharacterTables> partial(workers - 1);
  auto prepare = [&](CharacterTables* into) {
    into->clear();
    if (mode == IndexingMode::AllLanguages) into->try_emplace(std::string(kAllLanguagesKey));
    std::vector<CharacterTable*> languageTables;
    for (std::size_t i = 0; i < languageCount; ++i) {
      const std::string_view key = CharacterTableKey(mode, table.languages[i].name);
      auto it = into->find(key);
      if (it == into->end()) it = into->emplace(std::string(key), CharacterTable()).first;
      languageTables.push_back(&it->second);
    }
    return languageTables;
  };
  // Counts do not depend on the order, so the rows are read as they lie in the CSV bytes, each
  // row's texts one after the other (in hash order each row would be a wait on memory). A
  // fallback is the first language's very view: parsed once, and with one table for all counted
  // once, times the number of languages that use it.
  // The units are noted at each identifier's place, at random: the places of a row a few ahead
  // are asked for, so that the waits on memory overlap with counting.
  // Per message: whether it is verbatim, may report, and reports only for "bold" (the flags
  // below); the reporting list is read off them in pool order, already sorted.
  constexpr std::uint8_t kVerbatim = 1;
  constexpr std::uint8_t kMayReport = 2;
  constexpr std::uint8_t kBoldOnly = 4;
  if (plan != nullptr) {
    platform::AssignLarge(plan->units, idCount * languageCount);
    platform::AssignLarge(plan->verbatim, idCount * languageCount);
  }
  // The whole text as one text node: nothing in it is markup, and no NUL cuts it short.
  auto isVerbatim = [](const MarkupNodes& parsed, std::string_view text) {
    if (parsed.nodes.empty()) return text.empty();
    const MarkupNode& node = parsed.nodes[0];
    return parsed.nodes.size() == 1 && node.type == MsgNodeType::Text && SameView(node.text, text);
  };
  std::vector<RowOrderEntry> rows =
      languageCount == 0 ? std::vector<RowOrderEntry>() : IdentifiersInRowOrder(table.messageIds);
  if (plan != nullptr) plan->rows = std::move(rows);
  const std::vector<RowOrderEntry>& order = plan != nullptr ? plan->rows : rows;
  // Each worker claims rows of `order` a run at a time, into tables of its own: rows differ
  // in cost (markup, text length), and halves fixed ahead left one processor idle for a tenth
  // of the pass.
  constexpr std::size_t kRowsPerClaim = 256;
  std::atomic<std::size_t> claimed{0};
  // Per worker and language, the messages that may report: each language's share of the list
  // is then known ahead, and the list is filled in one pass over the flags as they lie.
  std::vector<std::size_t> reportingCounts(workers * languageCount, 0);
  auto countRows = [&](std::size_t worker, std::size_t, std::size_t) {
    const std::vector<CharacterTable*> languageTables =
        prepare(worker == 0 ? tables : &partial[worker - 1]);
    std::size_t at = 0;  // the message's place in the plan: its identifier's
    // Counted here and handed over at the end: the workers' shares of reportingCounts may lie in
    // one cache line, which every message would then take from the other processor.
    std::vector<std::size_t> reporting(languageCount, 0);
    auto note = [&](std::size_t i, const MessageShape& shape, bool verbatim) {
      if (plan == nullptr) return;
      reporting[i] += shape.mayReport;
      plan->units[at + i] =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(shape.units, 0xFFFFFFFFu));
      plan->verbatim[at + i] = (verbatim ? kVerbatim : 0) | (shape.mayReport ? kMayReport : 0) |
                               (shape.boldOnly ? kBoldOnly : 0);
    };
    MarkupNodes markup;  // one buffer for every message: parsing allocates nothing once grown
    MarkupNodes first;   // the first language's text of the message at hand
    // Each language's "default" list once made; languages that share a table share the list.
    std::vector<CharacterList*> defaultLists(languageCount, nullptr);
    constexpr std::size_t kAhead = 8;
    for (;;) {
      const std::size_t begin = claimed.fetch_add(kRowsPerClaim, std::memory_order_relaxed);
      if (begin >= order.size()) break;
      const std::size_t end = std::min(begin + kRowsPerClaim, order.size());
      for (std::size_t k = begin; k < end; ++k) {
        if (plan != nullptr && k + kAhead < end) {
          const std::size_t ahead = std::size_t{order[k + kAhead].id} * languageCount;
          PrefetchForWrite(plan->units.data() + ahead);
          PrefetchForWrite(plan->verbatim.data() + ahead);
        }
        const RowOrderEntry& entry = order[k];
        at = std::size_t{entry.id} * languageCount;
        const std::string_view firstText = table.Text(0, entry);
        ParseMarkup(firstText, &first);
        std::uint32_t times = 1;
        if (mode == IndexingMode::AllLanguages) {
          for (std::size_t i = 1; i < languageCount; ++i) {
            times += SameView(table.Text(i, entry), firstText);
          }
        }
        const MessageShape firstShape =
            CountMessage(first, languageTables[0], times, &defaultLists[0]);
        const bool firstVerbatim = isVerbatim(first, firstText);
        note(0, firstShape, firstVerbatim);
        for (std::size_t i = 1; i < languageCount; ++i) {
          const std::string_view text = table.Text(i, entry);
          if (SameView(text, firstText)) {
            if (mode != IndexingMode::AllLanguages) {
              CountMessage(first, languageTables[i], 1, &defaultLists[i]);
            }
            note(i, firstShape, firstVerbatim);
            continue;
          }
          ParseMarkup(text, &markup);
          note(i, CountMessage(markup, languageTables[i], 1, &defaultLists[i]),
               isVerbatim(markup, text));
        }
      }
    }
    std::copy(reporting.begin(), reporting.end(),
              reportingCounts.begin() + static_cast<std::ptrdiff_t>(worker * languageCount));
  };
  platform::RunParts(std::min(workers, order.size()), workers, countRows);
  for (CharacterTables& counted : partial) {
    for (const auto& [key, characterTable] : counted) {
      CharacterTable& into = (*tables)[key];
      for (const auto& [typeface, list] : characterTable) ListOf(&into, typeface).AddCounts(list);
    }
  }
  if (plan != nullptr) {
    plan->workers = workers;
    // Pool order: language by language, identifiers ascending within each.
    std::vector<std::size_t> cursors(languageCount + 1, 0);
    for (std::size_t w = 0; w < workers; ++w) {
      for (std::size_t i = 0; i < languageCount; ++i) {
        cursors[i + 1] += reportingCounts[w * languageCount + i];
      }
    }
    std::partial_sum(cursors.begin(), cursors.end(), cursors.begin());
    plan->reporting.assign(cursors.back(), {});
    for (std::size_t j = 0; j < idCount; ++j) {
      std::uint8_t* const flags = plan->verbatim.data() + j * languageCount;
      for (std::size_t i = 0; i < languageCount; ++i) {
        if ((flags[i] & kMayReport) != 0) {
          plan->reporting[cursors[i]++] = {std::uint64_t{i} << 32 | j, (flags[i] & kBoldOnly) != 0};
        }
        flags[i] &= kVerbatim;
      }
    }
  }

  bool fits = true;
  for (auto& [key, characterTable] : *tables) {
    for (auto& [typeface, list] : characterTable) {
      list.Number();
      if (list.Characters().size() > binary_format::kMaxIndexedCharacters) {
        IndexingFault fault{.message = Msg::TooManyCharactersToIndex,
                            .args = {FormatArg::OfString(key), FormatArg::OfString(typeface),
                                     FormatArg::OfUInt(list.Characters().size())},
                            .typeface = typeface};
        while (fault.language < table.languages.size() &&
               CharacterTableKey(mode, table.languages[fault.language].name) != key) {
          ++fault.language;
        }
        report ? report(fault) : PrintIndexingFault(fault);
        fits = false;
      }
    }
  }
  return fits;
}

}  // namespace quillex
