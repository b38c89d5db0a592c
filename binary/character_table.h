// Character tables of indexed messages: which characters the messages use, per typeface, and the
// index that stands for each of them in the 16-bit unit strings.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binary/indexing_mode.h"
#include "console/catalog.h"
#include "input/message_table.h"
#include "markup/markup_parser.h"

namespace quillex {

struct CharacterInfo {
  std::uint32_t code = 0;      // Unicode code point
  std::string name;            // the character in UTF-8
  std::uint32_t index = 0;     // position in its list, in ascending code point order
  std::uint32_t useCount = 0;  // occurrences counted into the list
};

/// The characters of one typeface (or of the ruby readings) with their counts. Counting and
/// look-ups take constant time, so counting a whole catalog stays linear in its length.
/// Characters(), Find() and FindIndex() hold once the list is numbered.
class CharacterList {
 public:
  /// Counts `times` occurrences of `code` (one by default). A count that would pass 2^32 - 1
  /// stays there. REQUIRES: `times` is at least one; the list is not numbered yet.
  void Count(std::uint32_t code, std::uint32_t times = 1) {
    if (code < kAscii) {
      CountAscii(code, times);
    } else if (std::uint32_t* slot = FindSlot(code); slot != nullptr) {
      *slot = SaturatedSum(*slot, times);
    } else {
      MakeSlot(code) = times;
    }
  }

  /// Count() of an ASCII code (below 128): one add to a dense array, folded into the entries by
  /// Number(). Codes 0, CR and LF, which no list holds, may be counted here and are dropped.
  void CountAscii(std::uint32_t code, std::uint32_t times) { asciiCounts_[0][code] += times; }

  /// CountAscii of two codes in a row, into two arrays: the same letter twice would otherwise
  /// wait for its own count to be stored before adding to it.
  void CountAsciiPair(std::uint32_t first, std::uint32_t second, std::uint32_t times) {
    asciiCounts_[0][first] += times;
    asciiCounts_[1][second] += times;
  }

  /// Adds the counts of `other`, as if its texts had been counted here too.
  /// REQUIRES: neither list is numbered yet.
  void AddCounts(const CharacterList& other);

  /// Lists the characters counted, by code point, and sets each index to its position.
  /// REQUIRES: not numbered yet (numbering turns the counts into positions).
  void Number();

  /// The entry of `code`, or nullptr. REQUIRES: the list is numbered.
  const CharacterInfo* Find(std::uint32_t code) const {
    const std::uint32_t* slot = FindSlot(code);
    return slot == nullptr || *slot == 0 ? nullptr : &characters_[*slot - 1];
  }

  /// The index of `code` once numbered (as Find(code)->index, without reading the entry), or
  /// kNoIndex when the list lacks it.
  static constexpr std::uint32_t kNoIndex = 0xFFFFFFFF;
  std::uint32_t FindIndex(std::uint32_t code) const {
    const std::uint32_t* slot = FindSlot(code);
    return slot == nullptr ? kNoIndex : *slot - 1;  // 0 (absent) wraps to kNoIndex
  }

  /// The unit of text byte `byte` once numbered, when it is plain ASCII (neither 0, CR nor LF):
  /// its index, below 128 (the list numbers ASCII first), or kNoUnit when the list lacks it. Any
  /// other byte gives kNotPlain: it is read as part of a character.
  static constexpr std::uint16_t kNoUnit = 0xFFFF;
  static constexpr std::uint16_t kNotPlain = 0xFFFE;
  std::uint16_t PlainUnit(unsigned char byte) const { return plainUnits_[byte]; }

  /// Every entry; in ascending code point order once numbered.
  const std::vector<CharacterInfo>& Characters() const { return characters_; }

 private:
  static constexpr std::uint32_t kAscii = 128;
  // Per code, in pages of 256 codes made on first use: its count (0: never counted) until the
  // list is numbered, its position in characters_ + 1 (0: absent) after. One array index per
  // character counted or encoded, where a hash map costs a hash and a probe; and counting adds
  // where it looks, without reaching for the character's entry.
  using Page = std::array<std::uint32_t, 256>;
  std::uint32_t& MakeSlot(std::uint32_t code);
  // The slot of `code` when its page exists, else nullptr. Inline: it runs once per character.
  std::uint32_t* FindSlot(std::uint32_t code) const {
    const std::size_t page = code >> 8;
    if (page >= pages_.size() || pages_[page] == nullptr) return nullptr;
    return &(*pages_[page])[code & 0xFF];
  }
  // Calls `visit`(code, slot) for every slot that is not 0, in ascending code order. The slot
  // may be changed, as FindSlot's.
  template <class Visit>
  void ForEachSlot(Visit visit) const {
    for (std::size_t page = 0; page < pages_.size(); ++page) {
      if (pages_[page] == nullptr) continue;
      for (std::uint32_t low = 0; low < 256; ++low) {
        std::uint32_t& slot = (*pages_[page])[low];
        if (slot != 0) visit(static_cast<std::uint32_t>(page << 8 | low), slot);
      }
    }
  }
  static std::uint32_t SaturatedSum(std::uint32_t count, std::uint32_t times) {
    const std::uint32_t sum = count + times;
    return sum < count ? 0xFFFFFFFFu : sum;
  }

  std::vector<CharacterInfo> characters_;
  std::vector<std::unique_ptr<Page>> pages_;
  // Most characters are ASCII: counted apart from the entries, and encoded from a flat table.
  std::array<std::array<std::uint32_t, kAscii>, 2> asciiCounts_{};
  std::array<std::uint16_t, 256> plainUnits_ = MakePlainUnits();
  static constexpr std::array<std::uint16_t, 256> MakePlainUnits() {
    std::array<std::uint16_t, 256> units{};
    for (std::size_t byte = 0; byte < units.size(); ++byte) {
      const bool plain = byte < kAscii && byte != 0 && byte != '\r' && byte != '\n';
      units[byte] = plain ? kNoUnit : kNotPlain;
    }
    return units;
  }
};

/// Typeface name ("default", "bold", any other tag name, or "ruby") to its list. Ordered, so that
/// reports come out in the same order on every run.
using CharacterTable = std::map<std::string, CharacterList, std::less<>>;

/// Table key (a language name, or "all") to its table.
using CharacterTables = std::map<std::string, CharacterTable, std::less<>>;

/// The key of the table that language `languageName` is counted into and encoded with.
std::string_view CharacterTableKey(IndexingMode mode, std::string_view languageName);

/// Counts every code point of the UTF-8 `text` into `list` (`times` occurrences each), except
/// CR, LF and invalid sequences. Returns the number of units the text encodes to: the counted
/// code points and one per CR and per LF.
std::uint64_t CountText(std::string_view text, CharacterList* list, std::uint32_t times = 1);

/// Counts the text nodes and ruby tags of `markup` (one parsed message) into `table`: texts and
/// ruby bases under the typeface in force ("default" until a typeface tag, again after a typeface
/// or full reset), ruby readings under "ruby". A list is created by the first text counted into it,
/// even when that text holds only line breaks.
void CountCharacters(const MarkupNodes& markup, CharacterTable* table);

/// A finding of the indexing passes, handed to their reporter instead of being printed (--check
/// collects them at the cells they come from).
struct IndexingFault {
  static constexpr std::size_t kNoId = static_cast<std::size_t>(-1);
  bool error = true;                       // else a warning
  Msg message = Msg::UnknownTypefaceName;  // what a run prints, with `args`
  FormatArgs args;
  std::size_t language = 0;   // in MessageTable::languages: the first one that uses the table
  std::size_t id = kNoId;     // in MessageTable::messageIds; kNoId for a whole character list
  std::string_view typeface;  // in force where the message failed, or the list's
};

/// Receives the findings of BuildCharacterTables and BuildIndexedPool; empty: they are printed as
/// "Error: ..." and "Warning: ...", as a run shows them.
using IndexingReporter = std::function<void(const IndexingFault&)>;

/// Prints `fault` as a run does.
void PrintIndexingFault(const IndexingFault& fault);

/// The units that describe placeholder `spec` before its closing 0xFFF1 (argument index, width,
/// fill, precision, digits, flags; each only where it differs from the default): how many of
/// `units` are filled. Counting sizes a message by it, and encoding writes it.
std::size_t SubstitutionUnits(const PlaceholderSpec& spec, std::array<std::uint16_t, 6>* units);

/// What counting learns of one message's encoding, so that the indexed pool can be laid out
/// before a unit is written.
struct MessageShape {
  std::uint64_t units = 0;  // units of the encoded message, end unit included, when it encodes
  bool mayReport = false;   // it holds a tag the encoder warns about or may fail on
  bool boldOnly = false;    // only "bold" tags: it fails only where the table has no "bold" list
};

/// CountCharacters counting each character `times` times, and the message's shape. With
/// `defaultList`, keeps the table's "default" list there once made (null until then), so that
/// the next messages need not look it up.
MessageShape CountMessage(const MarkupNodes& markup, CharacterTable* table, std::uint32_t times,
                          CharacterList** defaultList = nullptr);

/// The largest band the indexed pool is written in (a single larger identifier makes its own), so
/// that memory stays bounded whatever the pool's size.
constexpr std::uint64_t kIndexedPoolBlockBytes = std::uint64_t{8} << 20;

/// The counting pass's plan of the indexed pool.
struct IndexedPoolPlan {
  /// Units of each message, message-major: entry j * L + i is message j in language i. Held at
  /// 2^32 - 1 for a longer message, which makes the pool too large for the file anyway.
  std::vector<std::uint32_t> units;
  /// The messages (language << 32 | identifier, ascending) whose encoding may print a warning or
  /// an error; every other message encodes silently and succeeds. Each with its boldOnly flag.
  std::vector<std::pair<std::uint64_t, bool>> reporting;
  /// Per message, as `units`: 1 when the text parses to itself as one text node (or is empty),
  /// so that it encodes character by character under the "default" list without the parser.
  std::vector<std::uint8_t> verbatim;
  /// The identifiers in row order (IdentifiersInRowOrder), as counting visited them: the pool is
  /// written visiting them so again.
  std::vector<RowOrderEntry> rows;
  /// Threads to encode with: those counting had.
  std::size_t workers = 1;
  /// The largest band to write the pool in.
  std::uint64_t blockBytes = kIndexedPoolBlockBytes;
};

/// Replaces `tables` with the counts of every message of `table`: one table per language
/// (PerLanguage) or one table "all" (AllLanguages); every language gets its table even without
/// text. Then numbers every list. False without a message for any other mode. False after error
/// "Too many characters to index: ..." for each list of more than 53248 characters
/// (binary_format::kMaxIndexedCharacters), whose indexes would collide with the control codes.
/// The errors go to `report` when it is set. With `plan`, also fills it for PlanIndexedPool's
/// layout; a text that several languages share (a fallback) is parsed once. The rows are shared
/// out among `workers` threads (platform::WorkersFor); the result does not depend on how many.
[[nodiscard]] bool BuildCharacterTables(const MessageTable& table, IndexingMode mode,
                                        CharacterTables* tables,
                                        const IndexingReporter& report = {},
                                        IndexedPoolPlan* plan = nullptr, std::size_t workers = 1);

}  // namespace quillex
