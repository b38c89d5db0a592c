#include "markup/msg_node.h"

namespace quillex {

std::string TextMsgNode::Dump() const { return "Text: \"" + text + "\""; }

std::string SubstMsgNode::Dump() const { return "Subst"; }

std::string ColorMsgNode::Dump() const { return "Color: \"" + name + "\""; }

std::string FaceMsgNode::Dump() const { return "Face: \"" + name + "\""; }

std::string RubyMsgNode::Dump() const {
  return FormatString("Ruby: \"{}\" {} \"{}\"",
                      {FormatArg::OfString(base), FormatArg::OfString(equalsSeparator ? "=" : ":"),
                       FormatArg::OfString(ruby)});
}

std::string ResetMsgNode::Dump() const { return std::string("Reset: \"") + character + "\""; }

}  // namespace quillex
