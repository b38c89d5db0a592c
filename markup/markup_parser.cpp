#include "markup/markup_parser.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "format/formatter.h"
#include "markup/byte_words.h"

namespace quillex {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsSeparator(char c) { return c == ':' || c == '='; }

// A string being gathered from bytes of the text: a view of the text while the bytes are
// consecutive there, else a copy at the end of the unescaped buffer (reserved up front to the
// size of the text, which no set of gathered strings exceeds, so that it never moves).
class Gathered {
 public:
  bool empty() const { return size_ == 0; }

  // Adds the bytes [from, to) of the text.
  void Add(const char* text, std::size_t from, std::size_t to, std::string* unescaped) {
    if (copied_) {
      unescaped->append(text + from, to - from);
    } else if (size_ == 0) {
      begin_ = from;
    } else if (begin_ + size_ != from) {
      copied_ = true;
      const std::size_t copyBegin = unescaped->size();
      unescaped->append(text + begin_, size_);
      unescaped->append(text + from, to - from);
      begin_ = copyBegin;
    }
    size_ += to - from;
  }

  void Add(const char* text, std::size_t q, std::string* unescaped) {
    Add(text, q, q + 1, unescaped);
  }

  // The string, and the gatherer emptied.
  std::string_view Take(const char* text, const std::string& unescaped) {
    std::string_view view(copied_ ? unescaped.data() + begin_ : text + begin_, size_);
    *this = Gathered();
    return view;
  }

 private:
  std::size_t begin_ = 0;  // in the text, or in the unescaped buffer once copied_
  std::size_t size_ = 0;
  bool copied_ = false;
};

// The state of one ParseMarkup call. The parse position only moves forward, and the scans that
// look ahead for a closer remember what they found: otherwise a text full of openers whose closer
// never comes ("<#<#<#...", "<@<@...>", "{f}{f}...") would cost a scan to its end per opener.
class MarkupParser {
 public:
  // `size`: the bytes of `text` before its first NUL.
  MarkupParser(std::string_view text, std::size_t size, MarkupNodes* out, bool rememberScans)
      : text(text.data()),
        size(size),
        nodes(&out->nodes),
        unescaped(&out->unescaped),
        rememberScans(rememberScans) {
    nodes->clear();
    unescaped->clear();
    unescaped->reserve(size);
  }

  // `textBefore`: bytes known to hold no '{' or '<', taken as text at once.
  void Run(std::size_t textBefore = 0) {
    std::size_t p = textBefore;
    if (p != 0) run.Add(text, 0, p, unescaped);
    while (p < size) {
      std::size_t next = ParseSubstTag(p);
      if (next == p) next = ParseColorTag(p);
      if (next == p) next = ParseFaceTag(p);
      if (next == p) next = ParseResetTag(p);
      if (next == p) next = ParseRubyTag(p);
      if (next == p) {
        // Only '{' and '<' can start a tag or an escape: the bytes up to the next one are text.
        next = byte_words::FindAny<'{', '<'>(text, p + 1, size);
        run.Add(text, p, next, unescaped);
      }
      p = next;
    }
    FlushTextRun();
  }

 private:
  // Each tag parser returns `p` when no tag starts there (and changes nothing), else the position
  // after what it consumed: an escape (one byte onto the text run) or a tag (run flushed, nodes
  // appended).

  std::size_t ParseSubstTag(std::size_t p) {
    if (text[p] != '{') return p;
    if (At(p + 1) == '{') {
      AddToRun(p);
      return p + 2;
    }
    if (noFieldCloses) return p;
    PlaceholderSpec placeholder;
    const char* end = ParseField(text + p, text + size, &placeholder);
    if (!placeholder.closed) {
      // The scan ran to the end of the text without a '}'. A field scan examines every byte but
      // the fill byte after an 'f', and either way examines the byte after any later '{'; so the
      // scan of a later field joins this one and finds no '}' either.
      noFieldCloses = rememberScans;
      return p;
    }
    FlushTextRun();
    AddNode(MsgNodeType::Subst).spec = placeholder;
    return static_cast<std::size_t>(end - text);
  }

  std::size_t ParseColorTag(std::size_t p) {
    if (text[p] != '<') return p;
    if (At(p + 1) == '<') {
      AddToRun(p);
      return p + 2;
    }
    std::size_t end = NameTagEnd(p, '#');
    if (end == kNone) return p;
    FlushTextRun();
    AddNode(MsgNodeType::Color).text = Slice(p + 2, end);
    return end + 1;
  }

  std::size_t ParseFaceTag(std::size_t p) {
    std::size_t end = NameTagEnd(p, '$');
    if (end == kNone) return p;
    FlushTextRun();
    AddNode(MsgNodeType::Face).text = Slice(p + 2, end);
    return end + 1;
  }

  std::size_t ParseResetTag(std::size_t p) {
    std::size_t end = NameTagEnd(p, '/');
    if (end == kNone) return p;
    FlushTextRun();
    if (end == p + 2) {
      AddReset(ResetTarget::All, 'a');
    }
    for (std::size_t i = p + 2; i < end; ++i) {
      ResetTarget target = text[i] == '#'   ? ResetTarget::Color
                           : text[i] == '$' ? ResetTarget::Face
                           : text[i] == 'a' ? ResetTarget::All
                                            : ResetTarget::Unknown;
      AddReset(target, text[i]);
    }
    return end + 1;
  }

  std::size_t ParseRubyTag(std::size_t p) {
    std::size_t end = NameTagEnd(p, '@');
    if (end == kNone) return p;
    std::size_t start = p + 2;
    std::size_t separator = FirstSingleSeparator(start);
    // No separator inside the tag, or an empty base or ruby text: not a tag.
    if (separator == kNone || separator >= end || separator == start || separator + 1 == end) {
      return p;
    }
    FlushTextRun();
    Gathered base;
    for (std::size_t i = start; i < separator; ++i) {
      base.Add(text, i, unescaped);
      if (IsSeparator(text[i])) ++i;  // "::" or "==": one byte of the base
    }
    MarkupNode& ruby = AddNode(MsgNodeType::Ruby);
    ruby.text = base.Take(text, *unescaped);
    ruby.ruby = Slice(separator + 1, end);
    ruby.equalsSeparator = text[separator] == '=';
    return end + 1;
  }

  // A node made in place, its fields then set one by one: a whole node built aside and copied
  // in costs a wide copy of bytes just written narrow.
  MarkupNode& AddNode(MsgNodeType type) {
    MarkupNode& node = nodes->emplace_back();
    node.type = type;
    return node;
  }

  void AddReset(ResetTarget target, char character) {
    MarkupNode& node = AddNode(MsgNodeType::Reset);
    node.target = target;
    node.character = character;
  }

  void AddToRun(std::size_t p) { run.Add(text, p, unescaped); }

  void FlushTextRun() {
    if (run.empty()) return;
    AddNode(MsgNodeType::Text).text = run.Take(text, *unescaped);
  }

  std::string_view Slice(std::size_t from, std::size_t to) const {
    return std::string_view(text + from, to - from);
  }

  // The byte at `i`, or 0 at and after the end: the text need not be NUL-terminated.
  char At(std::size_t i) const { return i < size ? text[i] : '\0'; }

  // The '>' that closes the tag "<" kind name ">" at `p`, or kNone.
  std::size_t NameTagEnd(std::size_t p, char kind) {
    return text[p] == '<' && At(p + 1) == kind ? NameRunEnd(p + 2) : kNone;
  }

  // The position of the '>' that closes a name run starting at `from`, or kNone when a line break
  // or the end of the text comes first.
  std::size_t NameRunEnd(std::size_t from) {
    if (!rememberScans || !stopKnown || from < stopFrom || from > stop) {
      const std::size_t i = byte_words::FindAny<'>', '\n', '\r'>(text, from, size);
      stopKnown = true;
      stopFrom = from;
      stop = i;
    }
    return stop < size && text[stop] == '>' ? stop : kNone;
  }

  // The first single ':' or '=' at or after `from`, walking "::" and "==" as pairs. A pair walk
  // that starts at the beginning of a run of equal separators ends on a single one exactly when
  // the run is odd, so the answer is the last byte of the first odd run. REQUIRES: `from` is not
  // inside such a run (a ruby content follows '@').
  std::size_t FirstSingleSeparator(std::size_t from) {
    if (!rememberScans || !separatorKnown || from < separatorFrom || from > separatorRunStart) {
      separatorKnown = true;
      separatorFrom = from;
      separator = kNone;
      separatorRunStart = size;
      std::size_t i = from;
      while (i < size) {
        if (!IsSeparator(text[i])) {
          ++i;
          continue;
        }
        std::size_t j = i;
        while (j < size && text[j] == text[i]) ++j;
        if ((j - i) % 2 == 1) {
          separator = j - 1;
          separatorRunStart = i;
          break;
        }
        i = j;
      }
    }
    return separator;
  }

  const char* text;  // not NUL-terminated: read below `size` only
  std::size_t size;  // bytes before the first NUL
  std::vector<MarkupNode>* nodes;
  std::string* unescaped;
  const bool rememberScans;
  Gathered run;  // the pending text run

  bool stopKnown = false;
  std::size_t stopFrom = 0;
  std::size_t stop = 0;

  bool separatorKnown = false;
  std::size_t separatorFrom = 0;
  std::size_t separatorRunStart = 0;
  std::size_t separator = kNone;

  bool noFieldCloses = false;
};

}  // namespace

void ParseMarkup(std::string_view text, MarkupNodes* out) {
  // Most texts hold no tag: without a '{', a '<' or a NUL (which ends the text) the whole text is
  // one text node, and nothing needs the parser.
  const std::size_t first = byte_words::FindAny<'\0', '{', '<'>(text.data(), 0, text.size());
  if (first < text.size()) {
    const std::size_t size = text[first] == '\0'
                                 ? first
                                 : byte_words::FindAny<'\0'>(text.data(), first + 1, text.size());
    MarkupParser(text, size, out, true).Run(first);
    return;
  }
  out->nodes.clear();
  out->unescaped.clear();
  if (!text.empty()) out->nodes.push_back({.type = MsgNodeType::Text, .text = text});
}

std::unique_ptr<MsgNode> MakeMsgNode(const MarkupNode& node) {
  switch (node.type) {
    case MsgNodeType::Text:
      return std::make_unique<TextMsgNode>(std::string(node.text));
    case MsgNodeType::Subst:
      return std::make_unique<SubstMsgNode>(node.spec);
    case MsgNodeType::Color:
      return std::make_unique<ColorMsgNode>(std::string(node.text));
    case MsgNodeType::Face:
      return std::make_unique<FaceMsgNode>(std::string(node.text));
    case MsgNodeType::Ruby:
      return std::make_unique<RubyMsgNode>(std::string(node.text), std::string(node.ruby),
                                           node.equalsSeparator);
    case MsgNodeType::Reset:
      break;
  }
  return std::make_unique<ResetMsgNode>(node.target, node.character);
}

namespace {
void AppendMsgNodes(const MarkupNodes& parsed, MsgNodeList* nodes) {
  nodes->reserve(nodes->size() + parsed.nodes.size());
  for (const MarkupNode& node : parsed.nodes) nodes->push_back(MakeMsgNode(node));
}
}  // namespace

void ParseMarkup(const std::string& text, MsgNodeList* nodes) {
  MarkupNodes parsed;
  ParseMarkup(std::string_view(text), &parsed);
  AppendMsgNodes(parsed, nodes);
}

namespace detail {
void ParseMarkupRescanning(std::string_view text, MarkupNodes* out) {
  MarkupParser(text, byte_words::FindAny<'\0'>(text.data(), 0, text.size()), out, false).Run();
}

void ParseMarkupRescanning(const std::string& text, MsgNodeList* nodes) {
  MarkupNodes parsed;
  ParseMarkupRescanning(std::string_view(text), &parsed);
  AppendMsgNodes(parsed, nodes);
}
}  // namespace detail

}  // namespace quillex
