// Binary output: the binary message table, the hash include files, and the answers to the list
// commands of replace files.
#pragma once

#include "app/options.h"
#include "replace/replace_command.h"

namespace quillex {

class BinaryGenerator : public TextReplaceCommandProcessor {
 public:
  /// Runs binary output with `options`. Prints its progress lines and errors; true when every
  /// output was written.
  [[nodiscard]] bool Generate(const Options& options);

  bool ProcessCommand(std::FILE* out, const ReplaceCommand& command,
                      const platform::Path& replaceFile) override;
};

}  // namespace quillex
