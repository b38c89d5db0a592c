// Message nodes: a parsed message is an ordered list of text runs and markup tags. Nodes are made
// by the markup parser and never change afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "format/formatter.h"

namespace quillex {

/// Node type codes. Fixed: the output stage dispatches on them.
enum class MsgNodeType : std::uint32_t {
  Text = 0,
  Subst = 1,
  Color = 2,
  Face = 3,
  Ruby = 4,
  Reset = 5,
};

class MsgNode {
 public:
  virtual ~MsgNode() = default;
  virtual MsgNodeType GetType() const = 0;
  /// A one-line description for diagnostics.
  virtual std::string Dump() const = 0;
};

using MsgNodeList = std::vector<std::unique_ptr<MsgNode>>;

class TextMsgNode final : public MsgNode {
 public:
  explicit TextMsgNode(std::string text) : text(std::move(text)) {}
  MsgNodeType GetType() const override { return MsgNodeType::Text; }
  std::string Dump() const override;
  const std::string text;  // never empty
};

class SubstMsgNode final : public MsgNode {
 public:
  explicit SubstMsgNode(const PlaceholderSpec& placeholder) : spec(placeholder) {}
  MsgNodeType GetType() const override { return MsgNodeType::Subst; }
  std::string Dump() const override;
  const PlaceholderSpec spec;  // the parsed field; `closed` is always true
};

class ColorMsgNode final : public MsgNode {
 public:
  explicit ColorMsgNode(std::string name) : name(std::move(name)) {}
  MsgNodeType GetType() const override { return MsgNodeType::Color; }
  std::string Dump() const override;
  const std::string name;  // may be empty
};

class FaceMsgNode final : public MsgNode {
 public:
  explicit FaceMsgNode(std::string name) : name(std::move(name)) {}
  MsgNodeType GetType() const override { return MsgNodeType::Face; }
  std::string Dump() const override;
  const std::string name;  // may be empty
};

class RubyMsgNode final : public MsgNode {
 public:
  RubyMsgNode(std::string base, std::string ruby, bool equalsSeparator)
      : base(std::move(base)), ruby(std::move(ruby)), equalsSeparator(equalsSeparator) {}
  MsgNodeType GetType() const override { return MsgNodeType::Ruby; }
  std::string Dump() const override;
  const std::string base;  // never empty
  const std::string ruby;  // never empty
  const bool equalsSeparator;
};

/// Fixed values, written into indexed output.
enum class ResetTarget : std::int32_t { Unknown = 0, Color = 1, Face = 2, All = 3 };

class ResetMsgNode final : public MsgNode {
 public:
  ResetMsgNode(ResetTarget target, char character) : target(target), character(character) {}
  MsgNodeType GetType() const override { return MsgNodeType::Reset; }
  std::string Dump() const override;
  const ResetTarget target;
  const char character;  // the byte that named the target ('a' for "</>")
};

}  // namespace quillex
