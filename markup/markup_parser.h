// The markup parser: one message text into message nodes. It never fails and never loses a byte;
// whatever is not a well-formed tag is text.
#pragma once

#include <string>

#include "markup/msg_node.h"

namespace quillex {

/// Parses `text` up to its first NUL byte and appends the nodes to `nodes` (the caller passes an
/// empty list). Never fails and takes time linear in the length of the text, whatever its content.
void ParseMarkup(const std::string& text, MsgNodeList* nodes);

namespace detail {
/// ParseMarkup without remembering its look-ahead scans: quadratic on unlucky input. For tests
/// that show the remembering changes no result.
void ParseMarkupRescanning(const std::string& text, MsgNodeList* nodes);
}  // namespace detail

}  // namespace quillex
