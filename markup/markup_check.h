// Checks that the markup parser's tests and its fuzz target share: a full description of a node
// (Dump leaves out the reset target and most of a substitution field), and whether the nodes
// account for every byte of their text.
#pragma once

#include <cstddef>
#include <string>

#include "format/formatter.h"
#include "markup/markup_parser.h"
#include "markup/msg_node.h"

namespace quillex::markup_check {

inline std::string DescribePlaceholder(const PlaceholderSpec& s) {
  return "Subst " + std::to_string(s.index) + " " + std::to_string(s.width) + " " +
         std::to_string(s.precision) + " " + std::to_string(s.comma) + std::to_string(s.plus) +
         std::to_string(s.tilde) + " " + std::to_string(static_cast<unsigned char>(s.fill)) + " " +
         std::to_string(s.hexMode) + " " + std::to_string(s.hexDigits);
}

/// Dump, plus what Dump leaves out: the reset target and the whole substitution field.
inline std::string Describe(const MsgNode& node) {
  if (node.GetType() == MsgNodeType::Subst) {
    return DescribePlaceholder(static_cast<const SubstMsgNode&>(node).spec);
  }
  if (node.GetType() != MsgNodeType::Reset) return node.Dump();
  return node.Dump() + " " +
         std::to_string(static_cast<int>(static_cast<const ResetMsgNode&>(node).target));
}

/// Where the walk of `nodes` over `s` stopped: complete when every byte is accounted for, in
/// order, by a text byte, an escape or the tag of a node; else the node and byte it failed at.
struct ByteAccount {
  bool complete = false;
  std::size_t node = 0;
  std::size_t byte = 0;
};

/// `s` is the parsed text up to its first NUL.
inline ByteAccount AccountForEveryByte(const std::string& s, const MsgNodeList& nodes) {
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
        ok = placeholder.closed && i <= s.size() &&
             DescribePlaceholder(placeholder) == Describe(node);
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
    if (!ok) return {false, n, i};
  }
  return {i == s.size(), nodes.size(), i};
}

}  // namespace quillex::markup_check
