// The markup parser: one message text into message nodes. It never fails and never loses a byte;
// whatever is not a well-formed tag is text.
#pragma once

#include <string>

#include "markup/msg_node.h"

namespace quillex {

/// Parses `text` up to its first NUL byte and appends the nodes to `nodes`.
void ParseMarkup(const std::string& text, MsgNodeList* nodes);

}  // namespace quillex
