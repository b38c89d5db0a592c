#include "binary/indexed_pool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "binary/binary_format.h"
#include "binary/color_names.h"
#include "console/catalog.h"
#include "input/text_decoder.h"
#include "platform/parallel.h"
#include "platform/platform.h"

namespace quillex {
namespace {

namespace unit = binary_format::unit;

constexpr std::string_view kDefaultTypeface = "default";
constexpr std::string_view kBoldTypeface = "bold";
constexpr std::string_view kRubyTypeface = "ruby";

// The most languages a band of the indexed pool takes together when placed: at 8 MB, a band's
// share of each is about 128 KB then.
constexpr std::size_t kMostLanguagesPerBand = 64;

// Room for typical tables before the first message, so that they are built without regrowing.
constexpr std::size_t kReservedUnits = 65536;

// An upper bound on the pool's size for nearly every table: a unit per text byte and an end unit
// per message. Reserved up front, it saves the copies and page faults of regrowing; the pages
// beyond what is written are never touched, so they cost no memory.
std::size_t EstimatedPoolBytes(const MessageTable& table) {
  std::size_t units = kReservedUnits;
  for (std::size_t i = 0; i < table.languages.size(); ++i) {
    for (std::size_t j = 0; j < table.messageIds.size(); ++j) units += table.Text(i, j).size() + 1;
  }
  return 2 * units;
}

// Writes the units of `text` from `*out` on, at most two bytes per text byte, and moves `*out`
// past them. Stops at the first character that `list` lacks, with its code in `missing`: false
// then; the units before it stay.
bool WriteTextUnits(const CharacterList& list, std::string_view text, std::uint8_t** out,
                    std::uint32_t* missing) {
  std::uint8_t* at = *out;
  auto put = [&at](std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>(value >> 8);
    at += 2;
  };
  // Plain pointers rather than a reader object: the loop keeps them in registers.
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = p + text.size();
  bool encoded = true;
  while (p < end) {
    const unsigned char byte = *p;
    const std::uint16_t value = list.PlainUnit(byte);
    if (value < CharacterList::kNotPlain) {
      ++p;
      put(value);
      continue;
    }
    if (value == CharacterList::kNoUnit) {
      *missing = byte;
      encoded = false;
      break;
    }
    const auto [code, length] = ReadUtf8Step(p, end);
    p += length;
    if ((code & kDecodeError) != 0 || code == 0) continue;  // never counted either
    if (code == '\r' || code == '\n') {
      put(unit::kLineBreak);
      continue;
    }
    const std::uint32_t index = list.FindIndex(code);
    if (index == CharacterList::kNoIndex) {
      *missing = code;
      encoded = false;
      break;
    }
    put(index);
  }
  *out = at;
  return encoded;
}

// Appends the units of `text` up to the first character that `list` lacks; false with that
// character in `missing` then. The pool grows once by the most the text can take and is cut
// back to the units written.
bool AppendTextUnits(std::vector<std::uint8_t>* pool, const CharacterList& list,
                     std::string_view text, std::uint32_t* missing) {
  const std::size_t start = pool->size();
  pool->resize(start + 2 * text.size());
  std::uint8_t* out = pool->data() + start;
  const bool encoded = WriteTextUnits(list, text, &out, missing);
  pool->resize(static_cast<std::size_t>(out - pool->data()));
  return encoded;
}

// No reporter: findings are printed as a run shows them.
const IndexingReporter kPrint;

// Where MessageEncoder puts a message's units: at the end of a growing pool,
struct PoolOut {
  std::vector<std::uint8_t>* pool;

  void Put(std::uint16_t unit) { AppendUnit(pool, unit); }
  bool Text(const CharacterList& list, std::string_view text, std::uint32_t* missing) {
    return AppendTextUnits(pool, list, text, missing);
  }
};

// or straight into the place the layout gives the message, within bytes that end at `limit`.
// Short of room for what a piece may take (two bytes per text byte), it is `full`: nothing more is
// written, and the message is to be encoded through a PoolOut instead.
struct SlotOut {
  std::uint8_t* at;
  std::uint8_t* limit;
  bool full = false;

  void Put(std::uint16_t unit) {
    if (full || limit - at < 2) {
      full = true;
      return;
    }
    at[0] = static_cast<std::uint8_t>(unit & 0xFF);
    at[1] = static_cast<std::uint8_t>(unit >> 8);
    at += 2;
  }
  bool Text(const CharacterList& list, std::string_view text, std::uint32_t* missing) {
    if (full || static_cast<std::size_t>(limit - at) < 2 * text.size()) {
      full = true;
      return true;
    }
    return WriteTextUnits(list, text, &at, missing);
  }
};

// The units that describe `spec`, without the closing one.
template <typename Out>
void PutSubstitution(const PlaceholderSpec& spec, Out* out) {
  std::array<std::uint16_t, 6> units;
  const std::size_t count = SubstitutionUnits(spec, &units);
  for (std::size_t k = 0; k < count; ++k) out->Put(units[k]);
}

// One message being encoded, and what its warnings name.
class MessageEncoder {
 public:
  // Findings go to `report` (printed when it is empty) unless `quiet`. `defaultList`, when
  // given, is the table's "default" list, found once for many messages.
  MessageEncoder(const CharacterTable& table, std::string_view language,
                 std::string_view identifier, std::string_view text, const IndexingReporter& report,
                 std::size_t languageIndex, std::size_t id, bool quiet = false,
                 const CharacterList* defaultList = nullptr)
      : table_(table),
        language_(language),
        identifier_(identifier),
        text_(text),
        report_(report),
        languageIndex_(languageIndex),
        id_(id),
        quiet_(quiet),
        defaultList_(defaultList) {}

  // Only the errors go to the report: a warning quotes the whole message, so making one for every
  // tag of a long message costs the square of its length, for nothing where warnings are dropped.
  void ReportErrorsOnly() { errorsOnly_ = true; }

  // Appends the units of `nodes` up to the first error, without the end unit. False after the
  // error has been reported.
  bool Encode(const MarkupNodes& markup, std::vector<std::uint8_t>* pool) {
    PoolOut out{pool};
    return Encode(markup, &out);
  }

  // Encode into `out`, a PoolOut or a SlotOut.
  template <typename Out>
  bool Encode(const MarkupNodes& markup, Out* out) {
    for (const MarkupNode& node : markup.nodes) {
      if (!EncodeNode(node, out)) return false;
    }
    return true;
  }

 private:
  template <typename Out>
  bool EncodeNode(const MarkupNode& node, Out* pool) {
    switch (node.type) {
      case MsgNodeType::Text: {
        const CharacterList* list = CurrentList();
        return list != nullptr && Encode(pool, *list, node.text);
      }
      case MsgNodeType::Subst:
        PutSubstitution(node.spec, pool);
        pool->Put(unit::kSubstEnd);
        return true;
      case MsgNodeType::Color: {
        if (auto value = FindColorValue(node.text)) {
          pool->Put(static_cast<std::uint16_t>(unit::kColor + *value));
        } else {
          Warn(Msg::UnsupportedColorName, std::string(node.text));
        }
        return true;
      }
      case MsgNodeType::Face:
        return EncodeFace(node.text, pool);
      case MsgNodeType::Ruby:
        return EncodeRuby(node, pool);
      case MsgNodeType::Reset:
        EncodeReset(node, pool);
        return true;
    }
    return true;
  }

  template <typename Out>
  bool EncodeFace(std::string_view name, Out* pool) {
    if (table_.find(name) == table_.end()) {
      Report(true, Msg::UnknownTypefaceName, {FormatArg::OfString(std::string(name))}, name);
      return false;
    }
    if (name == kBoldTypeface) {
      pool->Put(unit::kBold);
      typeface_ = kBoldTypeface;
    } else {
      // Only "bold" has a code; text under any other typeface stays in the current one.
      Warn(Msg::UnsupportedTypeface, std::string(name));
    }
    return true;
  }

  template <typename Out>
  void EncodeReset(const MarkupNode& reset, Out* pool) {
    switch (reset.target) {
      case ResetTarget::Color:
        pool->Put(unit::kColorReset);
        return;
      case ResetTarget::Face:
        typeface_ = kDefaultTypeface;
        pool->Put(unit::kFaceReset);
        return;
      case ResetTarget::All:
        typeface_ = kDefaultTypeface;
        pool->Put(unit::kFullReset);
        return;
      case ResetTarget::Unknown:
        Warn(Msg::UnsupportedResetTag, std::string(1, reset.character));
        return;
    }
  }

  template <typename Out>
  bool EncodeRuby(const MarkupNode& ruby, Out* pool) {
    pool->Put(ruby.equalsSeparator ? unit::kRubyEquals : unit::kRubyColon);
    const CharacterList* list = CurrentList();
    if (list == nullptr || !Encode(pool, *list, ruby.text)) return false;
    pool->Put(unit::kRubyReading);
    // Counting made a "ruby" list for every ruby tag, so it is there.
    auto readings = table_.find(kRubyTypeface);
    if (readings == table_.end()) return false;
    const std::string_view typeface = typeface_;
    typeface_ = kRubyTypeface;  // what a missing reading character is reported under
    const bool encoded = Encode(pool, readings->second, ruby.ruby);
    typeface_ = typeface;
    if (!encoded) return false;
    pool->Put(unit::kRubyEnd);
    return true;
  }

  // The list of the typeface in force, or nullptr after error "Detect unknown typeface name".
  const CharacterList* CurrentList() const {
    if (defaultList_ != nullptr && typeface_.data() == kDefaultTypeface.data()) return defaultList_;
    auto it = table_.find(typeface_);
    if (it == table_.end()) {
      Report(true, Msg::UnknownTypefaceName, {FormatArg::OfString(std::string(typeface_))},
             typeface_);
      return nullptr;
    }
    return &it->second;
  }

  template <typename Out>
  bool Encode(Out* pool, const CharacterList& list, std::string_view text) {
    std::uint32_t missing = 0;
    if (pool->Text(list, text, &missing)) return true;
    Report(true, Msg::UnregisteredCharacter,
           {FormatArg::OfString(EncodeUtf8(missing)), FormatArg::OfUInt(missing)}, typeface_);
    return false;
  }

  void Warn(Msg message, const std::string& tag) const {
    if (quiet_ || errorsOnly_) return;
    Report(false, message,
           {FormatArg::OfString(tag), FormatArg::OfString(std::string(language_)),
            FormatArg::OfString(std::string(identifier_)), FormatArg::OfString(std::string(text_))},
           typeface_);
  }

  void Report(bool error, Msg message, FormatArgs args, std::string_view typeface) const {
    if (quiet_) return;
    const IndexingFault fault{.error = error,
                              .message = message,
                              .args = std::move(args),
                              .language = languageIndex_,
                              .id = id_,
                              .typeface = typeface};
    report_ ? report_(fault) : PrintIndexingFault(fault);
  }

  const CharacterTable& table_;
  const std::string_view language_;
  const std::string_view identifier_;
  const std::string_view text_;
  const IndexingReporter& report_;
  const std::size_t languageIndex_;
  const std::size_t id_;
  const bool quiet_;
  bool errorsOnly_ = false;
  const CharacterList* const defaultList_;
  std::string_view typeface_ = kDefaultTypeface;  // kDefaultTypeface itself whenever "default"
};

}  // namespace

bool EncodeText(std::vector<std::uint8_t>* pool, const CharacterList& list, std::string_view text) {
  std::uint32_t missing = 0;
  if (AppendTextUnits(pool, list, text, &missing)) return true;
  PrintError(Msg::UnregisteredCharacter,
             {FormatArg::OfString(EncodeUtf8(missing)), FormatArg::OfUInt(missing)});
  return false;
}

void EncodeSubstitution(const PlaceholderSpec& spec, std::vector<std::uint8_t>* pool) {
  PoolOut out{pool};
  PutSubstitution(spec, &out);
}

bool BuildIndexedPool(const MessageTable& table, IndexingMode mode, const CharacterTables& tables,
                      MessagePool* pool, const IndexingReporter& report) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(EstimatedPoolBytes(table));
  const std::size_t languageCount = table.languages.size();
  std::vector<std::uint32_t> offsets(languageCount * table.messageIds.size());
  bool failed = false;
  MarkupNodes markup;  // one buffer for every message: parsing allocates nothing once it has grown
  for (std::size_t i = 0; i < languageCount; ++i) {
    const std::string_view language = table.languages[i].name;
    auto characterTable = tables.find(CharacterTableKey(mode, language));
    if (characterTable == tables.end()) return false;  // BuildCharacterTables did not run
    for (std::size_t j = 0; j < table.messageIds.size(); ++j) {
      const std::string_view text = table.Text(i, j);
      // Cut to 32 bits only when the pool is too large to be written at all.
      offsets[j * languageCount + i] = static_cast<std::uint32_t>(bytes.size());
      MessageEncoder encoder(characterTable->second, language, table.messageIds[j].name, text,
                             report, i, j);
      // A faulty message is ended where it failed; the next one is encoded all the same.
      ParseMarkup(text, &markup);
      if (!encoder.Encode(markup, &bytes)) failed = true;
      AppendUnit(&bytes, unit::kMessageEnd);
    }
  }
  if (failed) return false;
  pool->bytes = std::move(bytes);
  pool->offsets = std::move(offsets);
  pool->produce = nullptr;
  pool->producePlaced = nullptr;
  pool->indexed = true;
  return true;
}

bool ReportIndexingFaults(const MessageTable& table, IndexingMode mode,
                          const CharacterTables& tables, const IndexedPoolPlan& plan,
                          const IndexingReporter& report, bool errorsOnly) {
  std::vector<const CharacterTable*> languageTables;
  for (const LanguageEntry& language : table.languages) {
    auto characterTable = tables.find(CharacterTableKey(mode, language.name));
    if (characterTable == tables.end()) return false;  // BuildCharacterTables did not run
    languageTables.push_back(&characterTable->second);
  }
  // Only these messages can print or fail; in pool order, they print what the whole pass would.
  bool failed = false;
  std::vector<std::uint8_t> scratch;
  MarkupNodes markup;
  for (const auto& [key, boldOnly] : plan.reporting) {
    const std::size_t i = key >> 32;
    const std::size_t j = key & 0xFFFFFFFFu;
    if (i >= languageTables.size() || j >= table.messageIds.size())
      return false;  // not this table's
    // A "bold" tag fails only where no text was counted under it.
    if (boldOnly && languageTables[i]->contains(kBoldTypeface)) continue;
    const std::string_view text = table.Text(i, j);
    MessageEncoder encoder(*languageTables[i], table.languages[i].name, table.messageIds[j].name,
                           text, report, i, j);
    if (errorsOnly) encoder.ReportErrorsOnly();
    ParseMarkup(text, &markup);
    scratch.clear();
    if (!encoder.Encode(markup, &scratch)) failed = true;
  }
  return !failed;
}

bool PlanIndexedPool(const MessageTable& table, IndexingMode mode, const CharacterTables& tables,
                     IndexedPoolPlan* plan, MessagePool* pool) {
  const std::size_t languageCount = table.languages.size();
  const std::size_t idCount = table.messageIds.size();
  if (plan->units.size() != languageCount * idCount) return false;  // not planned for this table
  if (!ReportIndexingFaults(table, mode, tables, *plan, kPrint)) return false;

  // Units to byte offsets, language by language in identifier order; cut to 32 bits only when
  // the pool is too large to be written at all.
  std::vector<std::uint64_t> cursors(languageCount + 1, 0);
  for (std::size_t j = 0; j < idCount; ++j) {
    for (std::size_t i = 0; i < languageCount; ++i) {
      cursors[i + 1] += 2 * std::uint64_t{plan->units[j * languageCount + i]};
    }
  }
  for (std::size_t i = 0; i < languageCount; ++i) cursors[i + 1] += cursors[i];
  const std::uint64_t poolSize = cursors[languageCount];
  std::vector<std::uint32_t> offsets = std::move(plan->units);
  plan->units.clear();  // moved from: nothing left to free
  for (std::size_t j = 0; j < idCount; ++j) {
    for (std::size_t i = 0; i < languageCount; ++i) {
      std::uint32_t& entry = offsets[j * languageCount + i];
      const std::uint64_t units = entry;
      entry = static_cast<std::uint32_t>(cursors[i]);
      cursors[i] += 2 * units;
    }
  }
  pool->bytes = std::vector<std::uint8_t>();  // freed: the pool is produced, not held
  pool->offsets = std::move(offsets);
  pool->indexed = true;
  pool->producedSize = poolSize;
  // Both ways of producing the pool share one copy of the flags.
  auto produce = [&table, mode, &tables, poolSize,
                  verbatim =
                      std::make_shared<const std::vector<std::uint8_t>>(std::move(plan->verbatim)),
                  rows = std::make_shared<const std::vector<RowOrderEntry>>(std::move(plan->rows)),
                  workers = plan->workers,
                  blockBytes = plan->blockBytes](std::span<const std::uint32_t> laidOut,
                                                 const PoolWriter& write, const PoolPlacer& place) {
    return WriteIndexedPool(table, mode, tables, laidOut, poolSize, *verbatim, write, place,
                            workers, blockBytes, *rows);
  };
  pool->produce = [produce](std::span<const std::uint32_t> laidOut, const PoolWriter& write) {
    return produce(laidOut, write, {});
  };
  pool->producePlaced = [produce](std::span<const std::uint32_t> laidOut, const PoolPlacer& place) {
    return produce(laidOut, {}, place);
  };
  plan->verbatim.clear();  // moved from as well
  plan->rows.clear();
  return true;
}

bool WriteIndexedPool(const MessageTable& table, IndexingMode mode, const CharacterTables& tables,
                      std::span<const std::uint32_t> offsets, std::uint64_t poolSize,
                      std::span<const std::uint8_t> verbatim, const PoolWriter& write,
                      const PoolPlacer& place, std::size_t workers, std::uint64_t blockBytes,
                      std::span<const RowOrderEntry> rowOrder) {
  const std::size_t languageCount = table.languages.size();
  const std::size_t idCount = table.messageIds.size();
  if (offsets.size() != languageCount * idCount || poolSize > 0xFFFFFFFFu) return false;
  if (verbatim.size() != offsets.size()) return false;
  // Where message j of language i starts and ends; a language's part ends where the next starts.
  auto start = [&](std::size_t i, std::size_t j) -> std::uint64_t {
    if (j < idCount) return offsets[j * languageCount + i];
    return i + 1 < languageCount ? offsets[i + 1] : poolSize;
  };
  struct Language {
    std::string_view name;
    const CharacterTable* table = nullptr;
    const CharacterList* defaultList = nullptr;  // its "default" list, when it has one
  };
  std::vector<Language> languages(languageCount);
  for (std::size_t i = 0; i < languageCount; ++i) {
    auto characterTable = tables.find(CharacterTableKey(mode, table.languages[i].name));
    if (characterTable == tables.end()) return false;
    auto defaultList = characterTable->second.find(kDefaultTypeface);
    languages[i] = {.name = table.languages[i].name,
                    .table = &characterTable->second,
                    .defaultList = defaultList == characterTable->second.end()
                                       ? nullptr
                                       : &defaultList->second};
  }

  // Pool order is identifier (hash) order, at random over the CSV rows: read so, a large catalog
  // waits on memory for every text. Instead the pool is filled in bands of consecutive
  // identifiers, whose rows are visited as they lie in the CSV bytes and whose messages are put
  // in place by their offsets. A band holds up to `blockBytes`, so memory stays bounded whatever
  // the pool's size.
  //  - Placed anywhere, a band takes every language: each row is read once, its cells side by
  //    side, and a fallback is copied from the first language's units just encoded.
  //  - Handed over in order, a band takes one language (its part comes whole before the next):
  //    each language reads its own cells of the rows, and a fallback is encoded again. So too
  //    when placed with more than kMostLanguagesPerBand languages: a band's share of each would
  //    be small, and each share is a seek and a write of its own.
  // With several workers, a band is handed over while the next is encoded: the first part of the
  // next band's pass writes it, then joins in, and the rows are claimed a run at a time, so that
  // the writing part takes fewer. Two bands are held then, each at most a 16th of the pool: the
  // writing of the last band, which nothing overlaps, stays short. Not less: each band is a pass
  // of its own, which costs a few tenths of a millisecond beyond its work (the other threads
  // woken, the last runs waited for); at 20 MB, 16 bands took 10% less time than 32.
  constexpr std::uint64_t kFewestOverlappedBands = 16;
  workers = std::max<std::size_t>(workers, 1);
  if (workers > 1) blockBytes = std::min(blockBytes, poolSize / kFewestOverlappedBands);
  blockBytes = std::max<std::uint64_t>(blockBytes, 1);
  const bool placed = static_cast<bool>(place);
  const bool acrossLanguages = placed && languageCount <= kMostLanguagesPerBand;
  if (placed && languageCount != 0 && idCount != 0 && start(0, 0) != 0) return false;
  // The bands in the order they are written, group by group: a group's bands take the same
  // languages (one, or every one), and its identifiers cut at `firsts` (then idCount). Offsets
  // that go back are refused here, once: past this, a message of a band's identifier lies
  // inside the band's share of its language, and every offset inside the pool.
  struct Group {
    std::size_t languageBegin = 0;  // languages [languageBegin, languageEnd)
    std::size_t languageEnd = 0;
    std::vector<std::size_t> firsts;
  };
  std::vector<Group> groups;
  std::uint64_t largest = 0;  // bytes of the largest band
  auto addBands = [&](std::size_t languageBegin, std::size_t languageEnd) -> bool {
    Group& group = groups.emplace_back(
        Group{.languageBegin = languageBegin, .languageEnd = languageEnd, .firsts = {}});
    if (idCount == 0) return true;  // no band
    group.firsts.push_back(0);
    std::uint64_t bytes = 0;  // the band's so far
    for (std::size_t j = 0; j < idCount; ++j) {
      std::uint64_t message = 0;  // identifier j's bytes in the group's languages
      for (std::size_t i = languageBegin; i < languageEnd; ++i) {
        if (start(i, j + 1) < start(i, j)) return false;
        message += start(i, j + 1) - start(i, j);
      }
      if (j > group.firsts.back() && bytes + message > blockBytes) {
        largest = std::max(largest, bytes);
        group.firsts.push_back(j);
        bytes = 0;
      }
      bytes += message;
    }
    largest = std::max(largest, bytes);
    group.firsts.push_back(idCount);
    return true;
  };
  if (acrossLanguages) {
    if (languageCount != 0 && !addBands(0, languageCount)) return false;
  } else {
    for (std::size_t i = 0; i < languageCount; ++i) {
      if (!addBands(i, i + 1)) return false;
    }
  }
  std::size_t totalBands = 0;
  for (const Group& group : groups) {
    totalBands += group.firsts.empty() ? 0 : group.firsts.size() - 1;
  }
  const bool behind = workers > 1 && totalBands > 1;
  // Each message writes its own bytes of the band (each checked to take its exact size), so a
  // buffer is grown, never cleared. Sized once for the largest band: grown band by band, each
  // growth would move it to fresh memory.
  std::array<std::vector<std::uint8_t>, 2> buffers;
  for (std::size_t k = 0; k < (behind ? 2 : 1); ++k) {
    platform::ReserveLarge(buffers[k], static_cast<std::size_t>(largest));
  }
  struct Piece {
    std::uint64_t offset = 0;  // in the pool
    std::string_view bytes;
  };
  std::vector<Piece> pending;  // the band encoded last, not yet handed over
  auto handOver = [&]() {
    for (const Piece& piece : pending) {
      placed ? place(piece.offset, piece.bytes) : write(piece.bytes);
    }
    pending.clear();
  };
  std::size_t bandIndex = 0;
  // With one table for all, a fallback encodes to the very units of the first language's
  // message: where that message is in the band, they are copied.
  const bool copyFallbacks = mode == IndexingMode::AllLanguages;
  std::vector<RowOrderEntry> ownOrder;
  if (rowOrder.size() != idCount) ownOrder = IdentifiersInRowOrder(table.messageIds);
  const std::span<const RowOrderEntry> order = rowOrder.size() == idCount ? rowOrder : ownOrder;
  // Per worker: what one message is encoded into, the parser's buffer, and what went wrong.
  // Each on cache lines of its own: every message writes to its parser buffers, and the other
  // worker's, were they to share a line, would take it away each time.
  struct alignas(64) Worker {
    std::vector<std::uint8_t> units;
    MarkupNodes markup;
    MarkupNodes firstMarkup;  // the row's first-language text, parsed: its fallbacks reuse it
    bool unencoded = false;   // a message failed to encode: the run was not checked ahead
    bool misplaced = false;   // a message did not take the bytes its offsets give it
  };
  std::vector<Worker> state(workers);
  std::uint64_t written = 0;
  std::vector<std::size_t> cursors;
  std::vector<RowOrderEntry> bandRows;  // the rows band by band, each band's in row order
  std::vector<std::uint64_t> sliceAt;   // where each language's share of a band starts in it
  for (const Group& group : groups) {
    const std::size_t languageBegin = group.languageBegin;
    const std::size_t languageEnd = group.languageEnd;
    const std::vector<std::size_t>& firsts = group.firsts;
    const std::size_t bandCount = firsts.empty() ? 0 : firsts.size() - 1;
    // A band's identifiers are consecutive, so it has as many rows as identifiers: the rows are
    // sorted by band in one pass, keeping row order within each, rather than every band
    // looking through all of them.
    std::span<const RowOrderEntry> rows = order;
    if (bandCount > 1) {
      if (bandRows.empty()) platform::AssignLarge(bandRows, order.size());
      cursors.assign(firsts.begin(), firsts.end() - 1);
      for (const RowOrderEntry& entry : order) {
        // The band is the last whose first identifier is not above this one, searched without
        // branches on the data: the identifiers come at random, and every other branch of a
        // binary search would be mispredicted.
        const std::size_t* band = firsts.data();  // firsts[0] is 0: never above
        for (std::size_t left = bandCount; left > 1; left -= left / 2) {
          band = band[left / 2] <= entry.id ? band + left / 2 : band;
        }
        bandRows[cursors[static_cast<std::size_t>(band - firsts.data())]++] = entry;
      }
      rows = bandRows;
    }
    for (std::size_t b = 0; b < bandCount; ++b) {
      const std::size_t first = firsts[b];
      const std::size_t last = firsts[b + 1];
      sliceAt.assign(1, 0);
      for (std::size_t i = languageBegin; i < languageEnd; ++i) {
        sliceAt.push_back(sliceAt.back() + start(i, last) - start(i, first));
      }
      // Handed over in order, a band must begin where the pool so far ends.
      if (!placed && start(languageBegin, first) != written) return false;
      const std::size_t bandSize = static_cast<std::size_t>(sliceAt.back());
      std::vector<std::uint8_t>& buffer = buffers[behind ? bandIndex % 2 : 0];
      ++bandIndex;
      if (buffer.size() < bandSize) buffer.resize(bandSize);  // within the room reserved above
      const std::span<const RowOrderEntry> share = rows.subspan(first, last - first);
      // Encodes the band's rows [begin, end); false when a message is misplaced.
      auto encodeRun = [&](Worker& worker, std::size_t begin, std::size_t end) {
        // Rows a few ahead are asked for: the band's rows lie too far apart for the hardware to
        // see a stream.
        constexpr std::size_t kRowsAhead = 8;
        for (std::size_t k = begin; k < end; ++k) {
          if (k + kRowsAhead < share.size()) {
            const RowOrderEntry& ahead = share[k + kRowsAhead];
            Prefetch(offsets.data() + std::size_t{ahead.id} * languageCount + languageBegin);
            PrefetchRowEnds(table.csv, ahead.row);
          }
          if (k + kRowsAhead / 2 < share.size()) {
            Prefetch(table.Text(languageBegin, share[k + kRowsAhead / 2]).data());
          }
          const RowOrderEntry& entry = share[k];
          if (entry.id < first || entry.id >= last) {  // the rows were not sorted by band
            worker.misplaced = true;
            return false;
          }
          // The first language's text and units, when it is in the band, and whether its
          // markup is parsed in firstMarkup.
          std::string_view firstText;
          const std::uint8_t* firstUnits = nullptr;
          bool firstParsed = false;
          for (std::size_t i = languageBegin; i < languageEnd; ++i) {
            // Inside the band's share: the offsets were checked not to go back.
            const std::uint64_t from = start(i, entry.id);
            const std::size_t at =
                static_cast<std::size_t>(sliceAt[i - languageBegin] + (from - start(i, first)));
            const std::size_t size = static_cast<std::size_t>(start(i, entry.id + 1) - from);
            std::uint8_t* const slot = buffer.data() + at;
            const std::string_view text = table.Text(i, entry);
            if (i == 0) {
              firstText = text;
              firstUnits = slot;
            } else if (copyFallbacks && firstUnits != nullptr && SameView(text, firstText)) {
              if (size != static_cast<std::size_t>(start(0, entry.id + 1) - start(0, entry.id))) {
                worker.misplaced = true;
                return false;
              }
              std::memcpy(slot, firstUnits, size);
              continue;
            }
            const Language& language = languages[i];
            // A text without markup, most of them (the counting pass marked them), is written
            // straight into its place without the parser. Near the end of the band, where it
            // might not fit, it takes the parser's way below.
            if (verbatim[entry.id * languageCount + i] != 0 && language.defaultList != nullptr) {
              SlotOut out{.at = slot, .limit = buffer.data() + bandSize};
              std::uint32_t missing = 0;
              if (out.Text(*language.defaultList, text, &missing)) {
                out.Put(unit::kMessageEnd);
                if (!out.full) {
                  if (static_cast<std::size_t>(out.at - slot) != size) {
                    worker.misplaced = true;
                    return false;
                  }
                  continue;
                }
              }
            }
            // Quiet: the identifier is never named, nor looked up (at random).
            auto encoder = [&] {
              return MessageEncoder(*language.table, language.name, {}, text, kPrint, i, entry.id,
                                    /*quiet=*/true, language.defaultList);
            };
            const MarkupNodes* markup = &worker.firstMarkup;
            if (i == 0) {
              ParseMarkup(text, &worker.firstMarkup);
              firstParsed = true;
            } else if (!firstParsed || !SameView(text, firstText)) {
              ParseMarkup(text, &worker.markup);
              markup = &worker.markup;
            }
            // Written in place; near the end of the band, through the message buffer.
            SlotOut out{.at = slot, .limit = buffer.data() + bandSize};
            bool encoded = encoder().Encode(*markup, &out);
            out.Put(unit::kMessageEnd);
            std::size_t written = static_cast<std::size_t>(out.at - slot);
            if (out.full) {
              worker.units.clear();
              encoded = encoder().Encode(*markup, &worker.units);
              AppendUnit(&worker.units, unit::kMessageEnd);
              written = worker.units.size();
              if (written == size) std::memcpy(slot, worker.units.data(), size);
            }
            if (!encoded) worker.unencoded = true;
            if (written != size) {
              worker.misplaced = true;
              return false;
            }
          }
        }
        return true;
      };
      // The workers claim the band's rows a run at a time; every message writes its own bytes.
      constexpr std::size_t kRowsPerClaim = 128;
      std::atomic<std::size_t> claimed{0};
      auto encodeRows = [&](std::size_t w, std::size_t, std::size_t) {
        Worker& worker = state[w];
        if (w == 0) handOver();
        for (;;) {
          const std::size_t begin = claimed.fetch_add(kRowsPerClaim, std::memory_order_relaxed);
          if (begin >= share.size()) return;
          if (!encodeRun(worker, begin, std::min(begin + kRowsPerClaim, share.size()))) return;
        }
      };
      platform::RunParts(workers, workers, encodeRows);
      for (const Worker& worker : state) {
        if (worker.misplaced) return false;
      }
      for (std::size_t i = languageBegin; i < languageEnd; ++i) {
        const std::size_t slice = static_cast<std::size_t>(sliceAt[i - languageBegin]);
        const std::size_t sliceSize =
            static_cast<std::size_t>(sliceAt[i - languageBegin + 1]) - slice;
        pending.push_back(
            {.offset = start(i, first),
             .bytes = {reinterpret_cast<const char*>(buffer.data()) + slice, sliceSize}});
      }
      if (!behind) handOver();
      written += bandSize;
    }
  }
  handOver();
  for (const Worker& worker : state) {
    if (worker.unencoded) return false;
  }
  return written == poolSize;
}

}  // namespace quillex
