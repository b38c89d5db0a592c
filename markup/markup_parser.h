// The markup parser: one message text into message nodes. It never fails and never loses a byte;
// whatever is not a well-formed tag is text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "format/formatter.h"
#include "markup/msg_node.h"

namespace quillex {

/// One node as a plain record: the fields of the node class of `type`, the strings as views.
struct MarkupNode {
  MsgNodeType type = MsgNodeType::Text;
  std::string_view text = {};  // Text: the text; Color, Face: the name; Ruby: the base
  std::string_view ruby = {};  // Ruby: the reading
  bool equalsSeparator = false;             // Ruby
  ResetTarget target = ResetTarget::Unknown;  // Reset
  char character = 0;                       // Reset
  PlaceholderSpec spec = {};                // Subst
};

/// The nodes of one text, for passes that read every message: filled again for each text, so
/// that once its buffers have grown a parse allocates nothing. A view points into the parsed
/// text, or into `unescaped` where an escape ("{{", "<<", "::", "==") made the bytes differ.
struct MarkupNodes {
  std::vector<MarkupNode> nodes;
  std::string unescaped;
};

/// Parses `text` up to its first NUL byte (or its end) into `out`, replacing what it held. Never
/// reads outside `text`. The views are valid while `text` and `out` are unchanged.
void ParseMarkup(std::string_view text, MarkupNodes* out);

/// Parses `text` up to its first NUL byte and appends the nodes to `nodes` (the caller passes an
/// empty list). Never fails and takes time linear in the length of the text, whatever its content.
void ParseMarkup(const std::string& text, MsgNodeList* nodes);

/// The node object of `node`.
std::unique_ptr<MsgNode> MakeMsgNode(const MarkupNode& node);

namespace detail {
/// ParseMarkup without remembering its look-ahead scans: quadratic on unlucky input. For tests
/// that show the remembering changes no result.
void ParseMarkupRescanning(const std::string& text, MsgNodeList* nodes);
void ParseMarkupRescanning(std::string_view text, MarkupNodes* out);
}  // namespace detail

}  // namespace quillex
