#include "replace/text_replace_context.h"

#include "console/catalog.h"

namespace quillex {

// Replace files are not processed yet: refuse them plainly instead of reporting a success that
// wrote nothing.
bool TextReplaceContext::Execute(const platform::Path&, const platform::Path& replaceFile) {
  (void)processor;
  (void)binaryFlag;
  (void)sourceFlag;
  (void)indexedFlag;
  PrintError(Msg::FailedToReadFile, {PathArg(replaceFile)});
  return false;
}

}  // namespace quillex
