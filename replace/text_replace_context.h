// One replace run: turns one replace file into its replaced file, asking the generator for the
// lines of its list commands.
#pragma once

#include <list>

#include "replace/replace_command.h"

namespace quillex {

class TextReplaceContext {
 public:
  /// `processor` answers the list commands and must outlive the context. The flags are the
  /// values of the conditions BINARY, SOURCE and INDEXED.
  TextReplaceContext(TextReplaceCommandProcessor* processor, bool binaryFlag, bool sourceFlag,
                     bool indexedFlag)
      : processor(processor),
        binaryFlag(binaryFlag),
        sourceFlag(sourceFlag),
        indexedFlag(indexedFlag) {}

  /// Reads the replace file and writes its replaced file into `outputDirectory`. Prints its
  /// progress line and any error; false when the run failed.
  [[nodiscard]] bool Execute(const platform::Path& outputDirectory,
                             const platform::Path& replaceFile);

 private:
  TextReplaceCommandProcessor* processor;
  std::list<ReplaceCommand> commands;
  bool binaryFlag;
  bool sourceFlag;
  bool indexedFlag;
  platform::Path outputName;
};

}  // namespace quillex
