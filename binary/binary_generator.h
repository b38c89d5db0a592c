// Binary output: the binary message table, the hash include files, and the answers to the list
// commands of replace files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/options.h"
#include "binary/binary_file.h"
#include "binary/message_pool.h"
#include "input/hash.h"
#include "input/message_table.h"
#include "replace/replace_command.h"

namespace quillex {

class BinaryGenerator : public TextReplaceCommandProcessor {
 public:
  /// Runs binary output with `options`: prints the seed, loads the table, builds the pools,
  /// writes the binary file, then runs the replace files or writes the two hash include files.
  /// Prints its progress lines and errors; true when every output was written. Stops at the
  /// first failure with the step's error ("Failed to read CSV file: {}", "Failed to build
  /// message pool.", "Failed to build offset pool.", "Failed to output binary file: {}",
  /// "Failed to output message identifier hash table: {}", "Failed to output language name hash
  /// table: {}"; a replace run prints its own); files of earlier steps stay.
  [[nodiscard]] bool Generate(const Options& options);

  /// ID_LIST and LANGUAGE_LIST: one hash line per identifier or language, each starting with the
  /// command's indentation. Any other command warns "{}: {}: The replace command {} does not
  /// support binary output." and writes nothing. Returns true.
  bool ProcessCommand(std::FILE* out, const ReplaceCommand& command,
                      const platform::Path& replaceFile) override;

  /// Loads `table` from the CSV file with `hashSeed`. False when the file cannot be read or
  /// parsed; prints nothing then (collision errors are printed, and are no failure).
  [[nodiscard]] bool LoadMessageTable(const platform::Path& inputPath);

  /// Builds `messagePool` and the records' offsets for `indexing`. Prints "Failed to build
  /// message pool." when it fails, as it does for every indexed mode for now.
  [[nodiscard]] bool BuildMessagePool(IndexingMode indexing);

  /// The file contents as they stand; valid while the generator is unchanged.
  BinaryImage Image() const;

  // The run's data, filled by Generate step by step (tests may fill it directly).
  std::uint32_t hashSeed = kDefaultHashSeed;
  MessageTable table;
  MessagePool messagePool;
  std::vector<std::uint32_t> offsetPool;

 private:
  [[nodiscard]] bool RunReplaceFiles(const Options& options);
  [[nodiscard]] bool WriteHashIncludes(const platform::Path& base) const;
};

}  // namespace quillex
