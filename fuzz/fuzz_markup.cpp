// The markup parser: any bytes parse, every byte before the first NUL is accounted for, in order,
// by a text byte, an escape or the tag of a node, and the parser gives the same nodes as its
// plain rescanning form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "format/formatter.h"
#include "markup/markup_parser.h"
#include "markup/msg_node.h"

namespace {

using namespace quillex;

std::string Describe(const MsgNode& node) {
  if (node.GetType() == MsgNodeType::Subst) {
    const PlaceholderSpec& s = static_cast<const SubstMsgNode&>(node).spec;
    return "Subst " + std::to_string(s.index) + " " + std::to_string(s.width) + " " +
           std::to_string(s.precision) + " " + std::to_string(s.comma) + std::to_string(s.plus) +
           std::to_string(s.tilde) + " " + std::to_string(static_cast<unsigned char>(s.fill)) +
           " " + std::to_string(s.hexMode) + " " + std::to_string(s.hexDigits);
  }
  if (node.GetType() != MsgNodeType::Reset) return node.Dump();
  return node.Dump() + " " +
         std::to_string(static_cast<int>(static_cast<const ResetMsgNode&>(node).target));
}

bool ConsumesEveryByte(const std::string& s, const MsgNodeList& nodes) {
  std::size_t i = 0;
  auto expect = [&](const std::string& raw) {
    if (s.compare(i, raw.size(), raw) != 0) return false;
    i += raw.size();
    return true;
  };
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    const MsgNode& node = *nodes[n];
    bool ok = true;
    switch (node.GetType()) {
      case MsgNodeType::Text: {
        const std::string& text = static_cast<const TextMsgNode&>(node).text;
        ok = !text.empty() && (n == 0 || nodes[n - 1]->GetType() != MsgNodeType::Text);
        for (char c : text) {
          bool escape = (c == '{' || c == '<') && i + 1 < s.size() && s[i + 1] == c;
          ok = ok && expect(std::string(escape ? 2 : 1, c));
        }
        break;
      }
      case MsgNodeType::Subst: {
        PlaceholderSpec placeholder;
        i = ParseField(s.c_str() + i, &placeholder) - s.c_str();
        SubstMsgNode again(placeholder);
        ok = placeholder.closed && i <= s.size() && Describe(again) == Describe(node);
        break;
      }
      case MsgNodeType::Color:
        ok = expect("<#" + static_cast<const ColorMsgNode&>(node).name + ">");
        break;
      case MsgNodeType::Face:
        ok = expect("<$" + static_cast<const FaceMsgNode&>(node).name + ">");
        break;
      case MsgNodeType::Reset:
        if (expect("</>")) break;  // the one node of "</>" names 'a'
        ok = expect("</");
        for (; ok && n < nodes.size() && nodes[n]->GetType() == MsgNodeType::Reset; ++n) {
          ok = expect(std::string(1, static_cast<const ResetMsgNode&>(*nodes[n]).character));
          if (i < s.size() && s[i] == '>') break;
        }
        ok = ok && expect(">");
        break;
      case MsgNodeType::Ruby: {
        const auto& ruby = static_cast<const RubyMsgNode&>(node);
        std::string raw = "<@";
        for (char c : ruby.base) raw += std::string(c == ':' || c == '=' ? 2 : 1, c);
        ok = !ruby.base.empty() && !ruby.ruby.empty() &&
             expect(raw + (ruby.equalsSeparator ? "=" : ":") + ruby.ruby + ">");
        break;
      }
    }
    if (!ok) return false;
  }
  return i == s.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  MsgNodeList nodes;
  ParseMarkup(input, &nodes);
  if (!ConsumesEveryByte(input.substr(0, input.find('\0')), nodes)) std::abort();
  MsgNodeList rescanned;
  detail::ParseMarkupRescanning(input, &rescanned);
  if (rescanned.size() != nodes.size()) std::abort();
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    if (Describe(*nodes[n]) != Describe(*rescanned[n])) std::abort();
  }
  // The flat path reads the fuzzer's own buffer, which ends right after the input: a read past
  // the view is caught by the sanitizer.
  MarkupNodes flat;
  ParseMarkup(std::string_view(reinterpret_cast<const char*>(data), size), &flat);
  if (flat.nodes.size() != nodes.size()) std::abort();
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    if (Describe(*MakeMsgNode(flat.nodes[n])) != Describe(*nodes[n])) std::abort();
  }
  return 0;
}
