#include "markup/msg_node.h"

#include <gtest/gtest.h>

namespace quillex {
namespace {

// The type codes are what the output stage dispatches on, so they are pinned here.
TEST(MsgNodeTest, TypeCodesAndDumps) {
  MsgNodeList nodes;
  nodes.push_back(std::make_unique<TextMsgNode>("a \"b\""));
  nodes.push_back(std::make_unique<SubstMsgNode>(PlaceholderSpec{}));
  nodes.push_back(std::make_unique<ColorMsgNode>(""));
  nodes.push_back(std::make_unique<FaceMsgNode>("bold"));
  nodes.push_back(std::make_unique<RubyMsgNode>("a", "b", true));
  nodes.push_back(std::make_unique<ResetMsgNode>(ResetTarget::All, 'a'));
  const char* dumps[] = {"Text: \"a \"b\"\"",   "Subst",       "Color: \"\"", "Face: \"bold\"",
                         "Ruby: \"a\" = \"b\"", "Reset: \"a\""};
  for (std::uint32_t code = 0; code < nodes.size(); ++code) {
    EXPECT_EQ(static_cast<std::uint32_t>(nodes[code]->GetType()), code);
    EXPECT_EQ(nodes[code]->Dump(), dumps[code]);
  }
}

TEST(MsgNodeTest, RubyDumpIsNotReformatted) {
  // The base and ruby are arguments of the dump pattern, never part of it.
  EXPECT_EQ(RubyMsgNode("{0}", "x", false).Dump(), "Ruby: \"{0}\" : \"x\"");
  EXPECT_EQ(static_cast<std::int32_t>(ResetTarget::Unknown), 0);
  EXPECT_EQ(static_cast<std::int32_t>(ResetTarget::Color), 1);
  EXPECT_EQ(static_cast<std::int32_t>(ResetTarget::Face), 2);
  EXPECT_EQ(static_cast<std::int32_t>(ResetTarget::All), 3);
}

}  // namespace
}  // namespace quillex
