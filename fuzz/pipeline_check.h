// What the pipeline targets share: a work folder, running binary output on CSV bytes, and the
// checks of the binary file's layout (docs/binary_format.md).
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "binary/binary_format.h"
#include "binary/binary_generator.h"
#include "input/csv_table.h"
#include "input/hash.h"

namespace quillex::fuzz {

namespace fs = std::filesystem;

inline void Check(bool condition) {
  if (!condition) std::abort();
}

/// A fresh folder for the whole fuzzing run, removed at exit.
inline const fs::path& Folder() {
  static const fs::path* folder = [] {
    // TMPDIR may name a memory file system: every run creates, renames and removes files.
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                          "/quillex_fuzz_pipeline_XXXXXX";
    Check(::mkdtemp(pattern.data()) != nullptr);
    auto* path = new fs::path(pattern);
    std::atexit([] {
      std::error_code error;
      fs::remove_all(Folder(), error);
    });
    return path;
  }();
  return *folder;
}

/// Empties the folder and writes `csv` to in.csv: the input of a run.
inline void WriteInput(const std::string& csv) {
  for (const auto& entry : fs::directory_iterator(Folder())) fs::remove_all(entry.path());
  std::ofstream(Folder() / "in.csv", std::ios::binary) << csv;
}

/// WriteInput, then binary output with `indexing` and `seed` into the folder, prefix "msg".
/// Returns what Generate returned.
inline bool RunBinaryOutput(const std::string& csv, IndexingMode indexing, std::uint32_t seed) {
  WriteInput(csv);
  BinaryRequest request;
  request.inputPath = Folder() / "in.csv";
  request.outputDirectory = Folder();
  request.prefix = "msg";
  request.indexing = indexing;
  request.hashSeed = seed;
  bool succeeded = false;
  {
    BinaryGenerator generator;
    succeeded = generator.Generate(request);
  }
  std::fflush(stdout);
  return succeeded;
}

/// Whether the bytes parse as a CSV table at all.
inline bool ParsesAsCsv(const std::string& csv) {
  CsvTable table;
  auto reader =
      CodePointReader::ForBuffer(reinterpret_cast<const unsigned char*>(csv.data()), csv.size());
  return table.Parse(reader);
}

/// The names in the folder other than in.csv.
inline std::set<std::string> Outputs() {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(Folder())) {
    std::string name = entry.path().filename().string();
    if (name != "in.csv") names.insert(name);
  }
  return names;
}

inline std::string ReadOutput(const std::string& name) {
  std::ifstream in(Folder() / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::uint32_t Field(const std::string& bytes, std::uint64_t at, int size = 4) {
  Check(at + size <= bytes.size());
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

/// Checks the layout of a binary file written with `seed`: size, markers, sorted identifier
/// hashes, and every offset at a string that ends inside the pool (a 0 byte for UTF-8 texts, a
/// 0xFFFF unit for unit strings). Returns the number of languages.
inline std::uint64_t CheckBinaryFile(const std::string& bytes, std::uint32_t seed,
                                     binary_format::PoolKind kind) {
  using namespace binary_format;
  Check(Field(bytes, 0) == seed);
  Check(Field(bytes, 4) == HashString(kStartMarkerText, seed));
  Check(Field(bytes, 8) == kReserved);
  const std::uint64_t languages = Field(bytes, 12);
  const std::uint64_t ids = Field(bytes, 16);
  Check(Field(bytes, 20) == static_cast<std::uint32_t>(kind));
  std::uint64_t at = 24 + 4 * languages;
  for (std::uint64_t j = 1; j < ids; ++j) {
    Check(Field(bytes, at + 4 * (j - 1)) <= Field(bytes, at + 4 * j));  // sorted for the search
  }
  at += 4 * ids;
  Check(Field(bytes, at) == 4 * ids * languages);
  const std::uint64_t table = at + 4;
  at = table + 4 * ids * languages;
  const std::uint64_t poolSize = Field(bytes, at);
  const std::uint64_t pool = at + 4;
  Check(bytes.size() == kFixedFieldsSize + 4 * (languages + ids + ids * languages) + poolSize);
  Check(Field(bytes, pool + poolSize) == HashString(kEndMarkerText, seed));
  const bool units = kind == PoolKind::UnitStrings;
  if (units) Check(poolSize % 2 == 0);
  for (std::uint64_t k = 0; k < ids * languages; ++k) {
    std::uint64_t offset = Field(bytes, table + 4 * k);
    Check(offset < poolSize);
    if (!units) {
      Check(bytes.find('\0', pool + offset) < pool + poolSize);  // its text ends in the pool
      continue;
    }
    Check(offset % 2 == 0);
    std::uint64_t end = offset;
    while (end < poolSize && Field(bytes, pool + end, 2) != 0xFFFF) end += 2;
    Check(end < poolSize);
  }
  return languages;
}

}  // namespace quillex::fuzz
