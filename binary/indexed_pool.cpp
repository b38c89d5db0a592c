#include "binary/indexed_pool.h"

#include <algorithm>
#include <array>
#include <cstring>
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
    if (byte < 0x80 && byte != 0 && byte != '\r' && byte != '\n') {
      const std::uint16_t value = list.AsciiUnit(byte);
      if (value == CharacterList::kNoUnit) {
        *missing = byte;
        encoded = false;
        break;
      }
      ++p;
      put(value);
      continue;
    }
    CodePointReader reader{.data = p, .size = static_cast<std::size_t>(end - p)};
    const std::uint32_t code = reader.NextInline();
    p += reader.position;
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

  // Appends the units of `nodes` up to the first error, without the end unit. False after the
  // error has been reported.
  bool Encode(const MarkupNodes& markup, std::vector<std::uint8_t>* pool) {
    for (const MarkupNode& node : markup.nodes) {
      if (!EncodeNode(node, pool)) return false;
    }
    return true;
  }

 private:
  bool EncodeNode(const MarkupNode& node, std::vector<std::uint8_t>* pool) {
    switch (node.type) {
      case MsgNodeType::Text: {
        const CharacterList* list = CurrentList();
        return list != nullptr && Encode(pool, *list, node.text);
      }
      case MsgNodeType::Subst:
        EncodeSubstitution(node.spec, pool);
        AppendUnit(pool, unit::kSubstEnd);
        return true;
      case MsgNodeType::Color: {
        if (auto value = FindColorValue(node.text)) {
          AppendUnit(pool, static_cast<std::uint16_t>(unit::kColor + *value));
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

  bool EncodeFace(std::string_view name, std::vector<std::uint8_t>* pool) {
    if (table_.find(name) == table_.end()) {
      Report(true, Msg::UnknownTypefaceName, {FormatArg::OfString(std::string(name))}, name);
      return false;
    }
    if (name == kBoldTypeface) {
      AppendUnit(pool, unit::kBold);
      typeface_ = kBoldTypeface;
    } else {
      // Only "bold" has a code; text under any other typeface stays in the current one.
      Warn(Msg::UnsupportedTypeface, std::string(name));
    }
    return true;
  }

  void EncodeReset(const MarkupNode& reset, std::vector<std::uint8_t>* pool) {
    switch (reset.target) {
      case ResetTarget::Color:
        AppendUnit(pool, unit::kColorReset);
        return;
      case ResetTarget::Face:
        typeface_ = kDefaultTypeface;
        AppendUnit(pool, unit::kFaceReset);
        return;
      case ResetTarget::All:
        typeface_ = kDefaultTypeface;
        AppendUnit(pool, unit::kFullReset);
        return;
      case ResetTarget::Unknown:
        Warn(Msg::UnsupportedResetTag, std::string(1, reset.character));
        return;
    }
  }

  bool EncodeRuby(const MarkupNode& ruby, std::vector<std::uint8_t>* pool) {
    AppendUnit(pool, ruby.equalsSeparator ? unit::kRubyEquals : unit::kRubyColon);
    const CharacterList* list = CurrentList();
    if (list == nullptr || !Encode(pool, *list, ruby.text)) return false;
    AppendUnit(pool, unit::kRubyReading);
    // Counting made a "ruby" list for every ruby tag, so it is there.
    auto readings = table_.find(kRubyTypeface);
    if (readings == table_.end()) return false;
    const std::string_view typeface = typeface_;
    typeface_ = kRubyTypeface;  // what a missing reading character is reported under
    const bool encoded = Encode(pool, readings->second, ruby.ruby);
    typeface_ = typeface;
    if (!encoded) return false;
    AppendUnit(pool, unit::kRubyEnd);
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

  bool Encode(std::vector<std::uint8_t>* pool, const CharacterList& list, std::string_view text) {
    std::uint32_t missing = 0;
    if (AppendTextUnits(pool, list, text, &missing)) return true;
    Report(true, Msg::UnregisteredCharacter,
           {FormatArg::OfString(EncodeUtf8(missing)), FormatArg::OfUInt(missing)}, typeface_);
    return false;
  }

  void Warn(Msg message, const std::string& tag) const {
    if (quiet_) return;
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
  std::array<std::uint16_t, 6> units;
  const std::size_t count = SubstitutionUnits(spec, &units);
  for (std::size_t k = 0; k < count; ++k) AppendUnit(pool, units[k]);
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
  pool->indexed = true;
  return true;
}

bool PlanIndexedPool(const MessageTable& table, IndexingMode mode, const CharacterTables& tables,
                     IndexedPoolPlan* plan, MessagePool* pool) {
  const std::size_t languageCount = table.languages.size();
  const std::size_t idCount = table.messageIds.size();
  if (plan->units.size() != languageCount * idCount) return false;  // not planned for this table
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
  for (const auto& [key, boldOnly] : plan->reporting) {
    const std::size_t i = key >> 32;
    const std::size_t j = key & 0xFFFFFFFFu;
    // A "bold" tag fails only where no text was counted under it.
    if (boldOnly && languageTables[i]->contains(kBoldTypeface)) continue;
    const std::string_view text = table.Text(i, j);
    MessageEncoder encoder(*languageTables[i], table.languages[i].name, table.messageIds[j].name,
                           text, kPrint, i, j);
    ParseMarkup(text, &markup);
    scratch.clear();
    if (!encoder.Encode(markup, &scratch)) failed = true;
  }
  if (failed) return false;

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
  pool->produce = [&table, mode, &tables, poolSize, verbatim = std::move(plan->verbatim),
                   workers = plan->workers, blockBytes = plan->blockBytes](
                      std::span<const std::uint32_t> laidOut, const PoolWriter& write) {
    return WriteIndexedPool(table, mode, tables, laidOut, poolSize, verbatim, write, workers,
                            blockBytes);
  };
  plan->verbatim.clear();  // moved from as well
  return true;
}

bool WriteIndexedPool(const MessageTable& table, IndexingMode mode, const CharacterTables& tables,
                      std::span<const std::uint32_t> offsets, std::uint64_t poolSize,
                      std::span<const std::uint8_t> verbatim, const PoolWriter& write,
                      std::size_t workers, std::uint64_t blockBytes) {
  const std::size_t languageCount = table.languages.size();
  const std::size_t idCount = table.messageIds.size();
  if (offsets.size() != languageCount * idCount || poolSize > 0xFFFFFFFFu) return false;
  if (verbatim.size() != offsets.size()) return false;
  // Where message j of language i starts and ends; a language's part ends where the next starts.
  auto start = [&](std::size_t i, std::size_t j) -> std::uint64_t {
    if (j < idCount) return offsets[j * languageCount + i];
    return i + 1 < languageCount ? offsets[i + 1] : poolSize;
  };
  // Pool order is identifier (hash) order, at random over the CSV rows: read so, a large catalog
  // waits on memory for every text. Instead each language's part is filled in blocks of
  // consecutive identifiers, whose messages are encoded as their rows lie in the CSV bytes and
  // put in place by their offsets; a block is written once full. A block holds up to
  // `blockBytes`, so memory stays bounded whatever the pool's size.
  blockBytes = std::max<std::uint64_t>(blockBytes, 1);
  const std::vector<RowOrderEntry> order = IdentifiersInRowOrder(table.messageIds);
  struct Job {
    std::string_view text;
    std::uint32_t id = 0;
    std::uint32_t at = 0;       // in the block
    std::uint32_t size = 0;     // in bytes, end unit included
    bool fallback = false;      // copied from the first language's units
    bool verbatim = false;      // encoded without the parser
    std::uint64_t firstAt = 0;  // the first language's message in the pool, for a fallback
  };
  // With one table for all, a fallback encodes to the very units of the first language's
  // message: its part is kept and they are copied.
  const bool copyFallbacks = mode == IndexingMode::AllLanguages && languageCount > 1;
  std::vector<std::uint8_t> firstUnits;
  // Every byte of a block is written by one of its messages (each checked to take its exact
  // size), so the buffer is grown, never cleared.
  std::vector<std::uint8_t> block;
  {
    // Sized once for the largest block: grown language by language, each growth would move the
    // block to fresh memory. Without messages there is no part, and no offset to read.
    std::uint64_t largest = 0;
    for (std::size_t i = 0; idCount != 0 && i < languageCount; ++i) {
      if (start(i, idCount) >= start(i, 0)) {  // else refused below
        largest = std::max(largest, start(i, idCount) - start(i, 0));
      }
    }
    platform::ReserveLarge(block, static_cast<std::size_t>(std::min(largest, blockBytes)));
    // The first language's part is kept whole for the fallbacks: sized once, it is never moved
    // (grown by doubling, it would be copied on the way and held twice at the last growth).
    if (copyFallbacks && idCount != 0 && start(0, idCount) >= start(0, 0) &&
        start(0, idCount) <= poolSize) {
      platform::ReserveLarge(firstUnits, static_cast<std::size_t>(start(0, idCount) - start(0, 0)));
    }
  }
  workers = std::max<std::size_t>(workers, 1);
  // Per worker: its jobs, what one message is encoded into, the parser's buffer, and what went
  // wrong.
  struct Worker {
    std::vector<Job> jobs;  // the messages of the block in the worker's rows
    std::vector<std::uint8_t> units;
    MarkupNodes markup;
    bool unencoded = false;  // a message failed to encode: the run was not checked ahead
    bool misplaced = false;  // a message did not take the bytes its offsets give it
  };
  std::vector<Worker> state(workers);
  for (std::size_t w = 0; w < workers; ++w) {
    // A block's jobs: at most one per identifier of the rows.
    platform::ReserveLarge(state[w].jobs, idCount / workers + 1);
  }
  std::uint64_t written = 0;
  // A language's blocks (their first identifiers, then idCount), and its rows block by block,
  // each block's in row order.
  std::vector<std::size_t> blockFirsts;
  std::vector<RowOrderEntry> blockRows;
  for (std::size_t i = 0; i < languageCount; ++i) {
    const std::string_view language = table.languages[i].name;
    auto characterTable = tables.find(CharacterTableKey(mode, language));
    if (characterTable == tables.end()) return false;
    auto defaultList = characterTable->second.find(kDefaultTypeface);
    const CharacterList* knownDefault =
        defaultList == characterTable->second.end() ? nullptr : &defaultList->second;
    blockFirsts.clear();
    for (std::size_t first = 0; first < idCount;) {
      std::size_t last = first + 1;  // the block is [first, last)
      while (last < idCount && start(i, last + 1) - start(i, first) <= blockBytes) ++last;
      blockFirsts.push_back(first);
      first = last;
    }
    blockFirsts.push_back(idCount);
    const std::size_t blockCount = blockFirsts.size() - 1;
    // A block's identifiers are consecutive, so it has as many rows as identifiers: the rows are
    // sorted by block in one pass, keeping row order within each, rather than every block
    // looking through all of them.
    std::span<const RowOrderEntry> rows = order;
    if (blockCount > 1) {
      if (blockRows.empty()) platform::AssignLarge(blockRows, order.size());
      std::vector<std::size_t> cursor(blockFirsts.begin(), blockFirsts.end() - 1);
      for (const RowOrderEntry& entry : order) {
        const auto after = std::upper_bound(blockFirsts.begin() + 1, blockFirsts.end() - 1,
                                            static_cast<std::size_t>(entry.id));
        blockRows[cursor[static_cast<std::size_t>(after - blockFirsts.begin()) - 1]++] = entry;
      }
      rows = blockRows;
    }
    for (std::size_t b = 0; b < blockCount; ++b) {
      const std::size_t first = blockFirsts[b];
      const std::size_t last = blockFirsts[b + 1];
      const std::span<const RowOrderEntry> blockShare = rows.subspan(first, last - first);
      const std::uint64_t blockStart = start(i, first);
      const std::uint64_t blockEnd = start(i, last);
      if (blockStart != written || blockEnd < blockStart) return false;
      const std::size_t blockSize = static_cast<std::size_t>(blockEnd - blockStart);
      if (block.size() < blockSize) block.resize(blockSize);  // within the room reserved above
      // Each worker takes a share of the rows and encodes the block's messages among them;
      // every message writes its own bytes of the block.
      auto encodeRows = [&](std::size_t w, std::size_t begin, std::size_t end) {
        Worker& worker = state[w];
        std::vector<Job>& jobs = worker.jobs;
        // The messages with their texts and places, gathered first in a tight loop: the offsets
        // are read at random, and there the loads overlap, where between encodings each would
        // wait.
        jobs.clear();
        for (std::size_t k = begin; k < end; ++k) {
          const RowOrderEntry& entry = blockShare[k];
          if (entry.id < first || entry.id >= last) {  // the rows were not sorted by block
            worker.misplaced = true;
            return;
          }
          const std::uint64_t from = start(i, entry.id);
          const std::uint64_t to = start(i, entry.id + 1);
          if (to < from || to - blockStart > blockSize) {
            worker.misplaced = true;
            return;
          }
          // Made in place: a job built aside and copied in stalls on the copy.
          Job& job = jobs.emplace_back();
          job.text = table.Text(i, entry);
          job.id = entry.id;
          job.at = static_cast<std::uint32_t>(from - blockStart);
          job.size = static_cast<std::uint32_t>(to - from);
          job.verbatim = verbatim[entry.id * languageCount + i] != 0;
          if (copyFallbacks && i > 0) {
            const std::string_view firstText = table.Text(0, entry);
            job.fallback = SameView(job.text, firstText);
            if (job.fallback) {
              job.firstAt = start(0, entry.id);
              if (start(0, entry.id + 1) - job.firstAt != job.size ||
                  job.firstAt + job.size > firstUnits.size()) {
                worker.misplaced = true;
                return;
              }
            }
          }
        }
        // Texts a few messages ahead are asked for: a row's cells of one language lie too far
        // apart for the hardware to see a stream.
        constexpr std::size_t kTextAhead = 32;
        for (std::size_t k = 0; k < jobs.size(); ++k) {
          if (k + kTextAhead < jobs.size()) {
            Prefetch(jobs[k + kTextAhead].text.data());
            PrefetchForWrite(block.data() + jobs[k + kTextAhead].at);
          }
          const Job& job = jobs[k];
          std::uint8_t* const slot = block.data() + job.at;
          if (job.fallback) {
            std::memcpy(slot, firstUnits.data() + job.firstAt, job.size);
            continue;
          }
          // A text without markup, most of them (the counting pass marked them), is written
          // straight into its place without the parser. Near the end of the block it goes
          // through the message buffer, so that nothing is written past the block.
          if (job.verbatim && knownDefault != nullptr) {
            std::uint8_t* out = slot;
            const bool direct = job.at + 2 * job.text.size() + 2 <= blockSize;
            if (!direct) {
              if (worker.units.size() < 2 * job.text.size() + 2) {
                worker.units.resize(2 * job.text.size() + 2);
              }
              out = worker.units.data();
            }
            const std::uint8_t* const from = out;
            std::uint32_t missing = 0;
            if (WriteTextUnits(*knownDefault, job.text, &out, &missing)) {
              out[0] = static_cast<std::uint8_t>(unit::kMessageEnd & 0xFF);
              out[1] = static_cast<std::uint8_t>(unit::kMessageEnd >> 8);
              const std::size_t size = static_cast<std::size_t>(out - from) + 2;
              if (size != job.size) {
                worker.misplaced = true;
                return;
              }
              if (!direct) std::memcpy(slot, from, size);
              continue;
            }
          }
          worker.units.clear();
          // Quiet: the identifier is never named, nor looked up (at random).
          MessageEncoder encoder(characterTable->second, language, {}, job.text, kPrint, i, job.id,
                                 /*quiet=*/true, knownDefault);
          ParseMarkup(job.text, &worker.markup);
          if (!encoder.Encode(worker.markup, &worker.units)) worker.unencoded = true;
          AppendUnit(&worker.units, unit::kMessageEnd);
          if (worker.units.size() != job.size) {
            worker.misplaced = true;
            return;
          }
          std::memcpy(slot, worker.units.data(), worker.units.size());
        }
      };
      platform::RunParts(blockShare.size(), workers, encodeRows);
      for (const Worker& worker : state) {
        if (worker.misplaced) return false;
      }
      if (copyFallbacks && i == 0) {
        firstUnits.insert(firstUnits.end(), block.begin(), block.begin() + blockSize);
      }
      write({reinterpret_cast<const char*>(block.data()), blockSize});
      written += blockSize;
    }
  }
  for (const Worker& worker : state) {
    if (worker.unencoded) return false;
  }
  return written == poolSize;
}

}  // namespace quillex
