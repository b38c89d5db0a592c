#include "markup/markup_parser.h"

#include <cstddef>
#include <memory>
#include <string_view>

#include "format/formatter.h"

namespace quillex {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsSeparator(char c) { return c == ':' || c == '='; }

// The state of one ParseMarkup call. The parse position only moves forward, and the scans that
// look ahead for a closer remember what they found: otherwise a text full of openers whose closer
// never comes ("<#<#<#...", "<@<@...>", "{f}{f}...") would cost a scan to its end per opener.
class MarkupParser {
 public:
  MarkupParser(const std::string& text, MsgNodeList* nodes, bool rememberScans)
      : text(text.c_str()),
        size(std::string_view(text).find('\0')),
        nodes(nodes),
        rememberScans(rememberScans) {
    if (size == kNone) size = text.size();
  }

  void Run() {
    std::size_t p = 0;
    while (p < size) {
      std::size_t next = ParseSubstTag(p);
      if (next == p) next = ParseColorTag(p);
      if (next == p) next = ParseFaceTag(p);
      if (next == p) next = ParseResetTag(p);
      if (next == p) next = ParseRubyTag(p);
      if (next == p) {
        run += text[p];
        next = p + 1;
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
    if (text[p + 1] == '{') {
      run += '{';
      return p + 2;
    }
    if (noFieldCloses) return p;
    PlaceholderSpec placeholder;
    const char* end = ParseField(text + p, &placeholder);
    if (!placeholder.closed) {
      // The scan ran to the end of the text without a '}'. A field scan examines every byte but
      // the fill byte after an 'f', and either way examines the byte after any later '{'; so the
      // scan of a later field joins this one and finds no '}' either.
      noFieldCloses = rememberScans;
      return p;
    }
    FlushTextRun();
    nodes->push_back(std::make_unique<SubstMsgNode>(placeholder));
    return static_cast<std::size_t>(end - text);
  }

  std::size_t ParseColorTag(std::size_t p) {
    if (text[p] != '<') return p;
    if (text[p + 1] == '<') {
      run += '<';
      return p + 2;
    }
    std::size_t end = NameTagEnd(p, '#');
    if (end == kNone) return p;
    FlushTextRun();
    nodes->push_back(std::make_unique<ColorMsgNode>(Slice(p + 2, end)));
    return end + 1;
  }

  std::size_t ParseFaceTag(std::size_t p) {
    std::size_t end = NameTagEnd(p, '$');
    if (end == kNone) return p;
    FlushTextRun();
    nodes->push_back(std::make_unique<FaceMsgNode>(Slice(p + 2, end)));
    return end + 1;
  }

  std::size_t ParseResetTag(std::size_t p) {
    std::size_t end = NameTagEnd(p, '/');
    if (end == kNone) return p;
    FlushTextRun();
    if (end == p + 2) {
      nodes->push_back(std::make_unique<ResetMsgNode>(ResetTarget::All, 'a'));
    }
    for (std::size_t i = p + 2; i < end; ++i) {
      ResetTarget target = text[i] == '#'   ? ResetTarget::Color
                           : text[i] == '$' ? ResetTarget::Face
                           : text[i] == 'a' ? ResetTarget::All
                                            : ResetTarget::Unknown;
      nodes->push_back(std::make_unique<ResetMsgNode>(target, text[i]));
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
    std::string base;
    for (std::size_t i = start; i < separator; ++i) {
      base += text[i];
      if (IsSeparator(text[i])) ++i;  // "::" or "==": one byte of the base
    }
    FlushTextRun();
    nodes->push_back(std::make_unique<RubyMsgNode>(std::move(base), Slice(separator + 1, end),
                                                   text[separator] == '='));
    return end + 1;
  }

  void FlushTextRun() {
    if (run.empty()) return;
    nodes->push_back(std::make_unique<TextMsgNode>(run));
    run.clear();
  }

  std::string Slice(std::size_t from, std::size_t to) const {
    return std::string(text + from, to - from);
  }

  // The '>' that closes the tag "<" kind name ">" at `p`, or kNone.
  std::size_t NameTagEnd(std::size_t p, char kind) {
    return text[p] == '<' && text[p + 1] == kind ? NameRunEnd(p + 2) : kNone;
  }

  // The position of the '>' that closes a name run starting at `from`, or kNone when a line break
  // or the end of the text comes first.
  std::size_t NameRunEnd(std::size_t from) {
    if (!rememberScans || !stopKnown || from < stopFrom || from > stop) {
      std::size_t i = from;
      while (i < size && text[i] != '>' && text[i] != '\n' && text[i] != '\r') ++i;
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

  const char* text;  // NUL-terminated
  std::size_t size;  // bytes before the first NUL
  MsgNodeList* nodes;
  const bool rememberScans;
  std::string run;  // the pending text run

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

void ParseMarkup(const std::string& text, MsgNodeList* nodes) {
  MarkupParser(text, nodes, true).Run();
}

namespace detail {
void ParseMarkupRescanning(const std::string& text, MsgNodeList* nodes) {
  MarkupParser(text, nodes, false).Run();
}
}  // namespace detail

}  // namespace quillex
