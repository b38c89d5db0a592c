// Source output: the identifier list and one escaped message table per language.
#pragma once

#include "app/options.h"
#include "replace/replace_command.h"

namespace quillex {

class SourceGenerator : public TextReplaceCommandProcessor {
 public:
  /// Runs source output with `options`. Prints its progress lines and errors; true when every
  /// output was written.
  [[nodiscard]] bool Generate(const Options& options);

  bool ProcessCommand(std::FILE* out, const ReplaceCommand& command,
                      const platform::Path& replaceFile) override;
};

}  // namespace quillex
