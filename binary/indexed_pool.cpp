#include "binary/indexed_pool.h"

#include <string>

#include "binary/binary_format.h"
#include "binary/color_names.h"
#include "console/catalog.h"
#include "input/text_decoder.h"

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
  for (const std::vector<MessageRecord>& records : table.messages) {
    for (const MessageRecord& record : records) units += record.text.size() + 1;
  }
  return 2 * units;
}

// Appends the units of `text` up to the first character that `list` lacks; false with that
// character in `missing` then.
bool AppendTextUnits(std::vector<std::uint8_t>* pool, const CharacterList& list,
                     std::string_view text, std::uint32_t* missing) {
  CodePointReader reader{.data = reinterpret_cast<const unsigned char*>(text.data()),
                         .size = text.size()};
  while (!reader.AtEnd()) {
    const std::uint32_t code = reader.NextInline();
    if ((code & kDecodeError) != 0 || code == 0) continue;  // never counted either
    if (code == '\r' || code == '\n') {
      AppendUnit(pool, unit::kLineBreak);
      continue;
    }
    const CharacterInfo* character = list.Find(code);
    if (character == nullptr) {
      *missing = code;
      return false;
    }
    AppendUnit(pool, static_cast<std::uint16_t>(character->index));
  }
  return true;
}

// One message being encoded, and what its warnings name.
class MessageEncoder {
 public:
  MessageEncoder(const CharacterTable& table, std::string_view language,
                 std::string_view identifier, std::string_view text,
                 const IndexingReporter& report, std::size_t languageIndex, std::size_t id)
      : table_(table), language_(language), identifier_(identifier), text_(text),
        report_(report), languageIndex_(languageIndex), id_(id) {}

  // Appends the units of `nodes` up to the first error, without the end unit. False after the
  // error has been printed.
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
    Report(false, message,
           {FormatArg::OfString(tag), FormatArg::OfString(std::string(language_)),
            FormatArg::OfString(std::string(identifier_)), FormatArg::OfString(std::string(text_))},
           typeface_);
  }

  void Report(bool error, Msg message, FormatArgs args, std::string_view typeface) const {
    const IndexingFault fault{.error = error, .message = message, .args = std::move(args),
                              .language = languageIndex_, .id = id_, .typeface = typeface};
    report_ ? report_(fault) : PrintIndexingFault(fault);
  }

  const CharacterTable& table_;
  const std::string_view language_;
  const std::string_view identifier_;
  const std::string_view text_;
  const IndexingReporter& report_;
  const std::size_t languageIndex_;
  const std::size_t id_;
  std::string_view typeface_ = kDefaultTypeface;
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
  auto low8 = [](std::int32_t value) { return static_cast<std::uint16_t>(value & 0xFF); };
  if (spec.index != -1) AppendUnit(pool, unit::kSubstIndex | low8(spec.index));
  if (spec.width != 0) AppendUnit(pool, unit::kSubstWidth | low8(spec.width));
  // The fill is a byte: taken unsigned, so that a non-ASCII fill stays inside its field.
  if (spec.fill != ' ') {
    AppendUnit(pool, unit::kSubstFill | static_cast<std::uint8_t>(spec.fill));
  }
  if (spec.precision != -1) AppendUnit(pool, unit::kSubstPrecision | low8(spec.precision));
  if (spec.hexDigits != 0) AppendUnit(pool, unit::kSubstHexDigits | low8(spec.hexDigits));
  if (spec.plus || spec.comma || spec.tilde || spec.hexMode != 0) {
    AppendUnit(pool, unit::kSubstFlags | (spec.plus ? 1 : 0) | (spec.comma ? 2 : 0) |
                         (spec.tilde ? 4 : 0) | ((spec.hexMode * 8) & 0xF8));
  }
}

bool BuildIndexedPool(MessageTable* table, IndexingMode mode, const CharacterTables& tables,
                      MessagePool* pool, const IndexingReporter& report) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(EstimatedPoolBytes(*table));
  const std::size_t languageCount = table->languages.size();
  std::vector<std::uint32_t> offsets(languageCount * table->messageIds.size());
  bool failed = false;
  MarkupNodes markup;  // one buffer for every message: parsing allocates nothing once it has grown
  for (std::size_t i = 0; i < languageCount; ++i) {
    const std::string_view language = table->languages[i].name;
    auto characterTable = tables.find(CharacterTableKey(mode, language));
    if (characterTable == tables.end()) return false;  // BuildCharacterTables did not run
    std::vector<MessageRecord>& records = table->messages[i];
    for (std::size_t j = 0; j < records.size(); ++j) {
      MessageRecord& record = records[j];
      // The texts come in hash order, at random in the CSV bytes: each is asked for ahead.
      if (j + kPrefetchAhead < records.size()) Prefetch(records[j + kPrefetchAhead].text.data());
      // Cut to 32 bits only when the pool is too large to be written at all.
      offsets[j * languageCount + i] = static_cast<std::uint32_t>(bytes.size());
      MessageEncoder encoder(characterTable->second, language, table->messageIds[j].name,
                             record.text, report, i, j);
      // A faulty message is ended where it failed; the next one is encoded all the same.
      ParseMarkup(record.text, &markup);
      if (!encoder.Encode(markup, &bytes)) failed = true;
      AppendUnit(&bytes, unit::kMessageEnd);
    }
  }
  if (failed) return false;
  pool->bytes = std::move(bytes);
  pool->offsets = std::move(offsets);
  pool->indexed = true;
  return true;
}

}  // namespace quillex
