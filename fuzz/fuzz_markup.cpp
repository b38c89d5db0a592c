// The markup parser: any bytes parse, every byte before the first NUL is accounted for, in order,
// by a text byte, an escape or the tag of a node, and the parser gives the same nodes as its
// plain rescanning form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "markup/markup_check.h"
#include "markup/markup_parser.h"
#include "markup/msg_node.h"

using namespace quillex;
using quillex::markup_check::Describe;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  MsgNodeList nodes;
  ParseMarkup(input, &nodes);
  if (!markup_check::AccountForEveryByte(input.substr(0, input.find('\0')), nodes).complete) {
    std::abort();
  }
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
