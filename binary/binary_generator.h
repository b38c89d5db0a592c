// Binary output: the binary message table, the hash include files, and the answers to the list
// commands of replace files.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "binary/binary_file.h"
#include "binary/character_table.h"
#include "binary/indexing_mode.h"
#include "binary/message_pool.h"
#include "input/hash.h"
#include "input/message_table.h"
#include "platform/platform.h"
#include "replace/replace_command.h"

namespace quillex {

/// The files a binary run writes under `base` other than replaced ones, in the order it writes
/// them: the character lists (with --indexing one per language of `languages` that names a file,
/// with --indexing-all one for all), the binary file, and the hash include files when
/// `hashIncludes`.
std::vector<platform::Path> BinaryOutputFiles(const platform::Path& base, IndexingMode indexing,
                                              std::span<const std::string_view> languages,
                                              bool hashIncludes);

/// What one binary output run reads.
struct BinaryRequest {
  platform::Path inputPath;
  platform::Path outputDirectory;
  platform::Path prefix;
  std::vector<platform::Path> replaceFiles;  // run in this order instead of the include files
  IndexingMode indexing = IndexingMode::NoIndexing;
  std::uint32_t hashSeed = kDefaultHashSeed;
};

class BinaryGenerator : public TextReplaceCommandProcessor {
 public:
  /// Runs binary output: prints the seed, loads the table, builds the pools, writes the
  /// character usage lists (indexing only) and the binary file, then runs the replace files or
  /// writes the two hash include files. Prints its progress lines and errors; true when every
  /// output was written. Stops at the first failure with the step's error
  /// (Msg::FailedToReadCsvFile, FailedToBuildMessagePool, FailedToBuildOffsetPool,
  /// FailedToOutputBinaryFile, FailedToOutputIdHashTable, FailedToOutputLanguageHashTable; the
  /// character list writer and a replace run print their own); files of earlier steps stay.
  [[nodiscard]] bool Generate(const BinaryRequest& request);

  /// The paths Generate would write for `request`, in the order it writes them (a path written
  /// twice is listed twice): the character usage lists of an indexed run, the binary file, then
  /// the replaced files or the two hash include files. Writes nothing and prints no progress
  /// line. Reads the CSV file and the replace files as Generate does and fails as it does, with
  /// the same error line. `replaceTexts`: as for ListReplacedFiles.
  [[nodiscard]] bool ListOutputs(const BinaryRequest& request, std::vector<platform::Path>* outputs,
                                 std::vector<std::optional<std::string>>* replaceTexts = nullptr);

  /// ID_LIST and LANGUAGE_LIST: one hash line per identifier or language, each starting with the
  /// command's indentation. Any other command warns (Msg::CommandNoBinaryOutput) and appends
  /// nothing. Returns true.
  bool ProcessCommand(std::string& out, const ReplaceCommand& command,
                      const platform::Path& replaceFile) override;

  /// Loads `table` from the CSV file with `hashSeed`. False when the file cannot be read or
  /// parsed; prints nothing then. Prints a Msg::HashCollision error for each pair of neighbouring
  /// identifiers with equal hashes, which is no failure: the application can still load the
  /// table, it just cannot tell the two messages apart.
  [[nodiscard]] bool LoadMessageTable(const platform::Path& inputPath);

  /// Builds `messagePool` and its offsets for `indexing`: UTF-8 texts, or the character tables
  /// and the 16-bit unit strings (after parsing the markup of every message). Either pool is
  /// laid out here (an indexed one checked, with every warning and error of its encoding) and
  /// its bytes are made as the binary file is written (MessagePool::produce): `table` and
  /// `characterTables` must stay unchanged until then. False after the step's errors; for an
  /// indexed pool that fails to encode, Msg::FailedToBuildMessagePool follows the encoder's own
  /// errors.
  [[nodiscard]] bool BuildMessagePool(IndexingMode indexing);

  /// The file contents as they stand; valid while the generator is unchanged.
  BinaryImage Image() const;

  // The run's data, filled by Generate step by step (tests may fill it directly). The pool bytes
  // and the offset table are released once the binary file is written.
  std::uint32_t hashSeed = kDefaultHashSeed;
  MessageTable table;
  CharacterTables characterTables;  // indexing only
  MessagePool messagePool;
  std::vector<std::uint32_t> offsetPool;

 private:
  [[nodiscard]] bool RunReplaceFiles(const BinaryRequest& request);
  /// BinaryOutputFiles for the table's languages.
  std::vector<platform::Path> GeneratedFiles(const platform::Path& base, IndexingMode indexing,
                                             bool hashIncludes) const;
  [[nodiscard]] bool WriteHashIncludes(const platform::Path& base) const;
};

}  // namespace quillex
