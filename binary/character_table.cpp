#include "binary/character_table.h"

#include <algorithm>

#include "binary/binary_format.h"
#include "console/catalog.h"
#include "input/text_decoder.h"

namespace quillex {
namespace {

constexpr std::string_view kDefaultTypeface = "default";
constexpr std::string_view kRubyTypeface = "ruby";
constexpr std::string_view kAllLanguagesKey = "all";

CharacterList& ListOf(CharacterTable* table, std::string_view typeface) {
  auto it = table->find(typeface);
  if (it == table->end()) it = table->emplace(std::string(typeface), CharacterList()).first;
  return it->second;
}

}  // namespace

std::uint32_t& CharacterList::Slot(std::uint32_t code) {
  const std::size_t page = code >> 8;
  if (page >= pages_.size()) pages_.resize(page + 1);
  if (pages_[page] == nullptr) pages_[page] = std::make_unique<Page>();
  return (*pages_[page])[code & 0xFF];
}

void CharacterList::Count(std::uint32_t code) {
  std::uint32_t& slot = Slot(code);
  if (slot == 0) {
    characters_.push_back({.code = code, .name = EncodeUtf8(code)});
    slot = static_cast<std::uint32_t>(characters_.size());
  }
  ++characters_[slot - 1].useCount;
}

void CharacterList::Number() {
  std::sort(characters_.begin(), characters_.end(),
            [](const CharacterInfo& a, const CharacterInfo& b) { return a.code < b.code; });
  for (std::size_t i = 0; i < characters_.size(); ++i) {
    characters_[i].index = static_cast<std::uint32_t>(i);
    Slot(characters_[i].code) = static_cast<std::uint32_t>(i + 1);
  }
}

const CharacterInfo* CharacterList::Find(std::uint32_t code) const {
  const std::size_t page = code >> 8;
  if (page >= pages_.size() || pages_[page] == nullptr) return nullptr;
  const std::uint32_t slot = (*pages_[page])[code & 0xFF];
  return slot == 0 ? nullptr : &characters_[slot - 1];
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

void CountText(std::string_view text, CharacterList* list) {
  // Read as UTF-8 from the first byte: a text that starts with U+FEFF has no byte order mark.
  CodePointReader reader{.data = reinterpret_cast<const unsigned char*>(text.data()),
                         .size = text.size()};
  while (!reader.AtEnd()) {
    const std::uint32_t code = reader.NextInline();
    // Line breaks have control codes of their own; a bad sequence has no character to list.
    if ((code & kDecodeError) != 0 || code == 0 || code == '\r' || code == '\n') continue;
    list->Count(code);
  }
}

void CountCharacters(const MarkupNodes& markup, CharacterTable* table) {
  std::string_view typeface = kDefaultTypeface;
  for (const MarkupNode& node : markup.nodes) {
    switch (node.type) {
      case MsgNodeType::Text:
        CountText(node.text, &ListOf(table, typeface));
        break;
      case MsgNodeType::Face:
        typeface = node.text;
        break;
      case MsgNodeType::Reset:
        if (node.target == ResetTarget::Face || node.target == ResetTarget::All) {
          typeface = kDefaultTypeface;
        }
        break;
      case MsgNodeType::Ruby:
        CountText(node.text, &ListOf(table, typeface));
        CountText(node.ruby, &ListOf(table, kRubyTypeface));
        break;
      case MsgNodeType::Subst:
      case MsgNodeType::Color:
        break;
    }
  }
}

bool BuildCharacterTables(const MessageTable& table, IndexingMode mode, CharacterTables* tables,
                          const IndexingReporter& report) {
  if (mode != IndexingMode::PerLanguage && mode != IndexingMode::AllLanguages) return false;
  tables->clear();
  MarkupNodes markup;  // one buffer for every message: parsing allocates nothing once it has grown
  if (mode == IndexingMode::AllLanguages) tables->try_emplace(std::string(kAllLanguagesKey));
  std::vector<CharacterTable*> languageTables;
  for (std::size_t i = 0; i < table.languages.size(); ++i) {
    const std::string_view key = CharacterTableKey(mode, table.languages[i].name);
    auto it = tables->find(key);
    if (it == tables->end()) it = tables->emplace(std::string(key), CharacterTable()).first;
    languageTables.push_back(&it->second);
  }
  // Counts do not depend on order: identifier by identifier, the texts of one CSV row come one
  // after the other, where language by language each text is a jump to another row.
  const std::size_t idCount = table.languages.empty() ? 0 : table.messages[0].size();
  for (std::size_t j = 0; j < idCount; ++j) {
    if (j + kPrefetchAhead < idCount) {
      for (const std::vector<MessageRecord>& records : table.messages) {
        Prefetch(records[j + kPrefetchAhead].text.data());
      }
    }
    for (std::size_t i = 0; i < languageTables.size(); ++i) {
      ParseMarkup(table.messages[i][j].text, &markup);
      CountCharacters(markup, languageTables[i]);
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
