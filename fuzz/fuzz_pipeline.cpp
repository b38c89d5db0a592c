// The whole default pipeline, from CSV bytes to the output files in a temporary folder. A run
// fails exactly when the bytes do not parse as CSV (or build no pools); a run that succeeds
// leaves the three outputs and no temporary file, and its binary file has the size and markers
// its layout demands, with every offset pointing at a NUL-terminated text inside the pool.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "binary/binary_format.h"
#include "binary/binary_generator.h"
#include "input/csv_table.h"
#include "input/hash.h"

namespace {

namespace fs = std::filesystem;
using namespace quillex;

fs::path folder;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t Field(const std::string& bytes, std::uint64_t at) {
  Check(at + 4 <= bytes.size());
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void CheckBinaryFile(const std::string& bytes, std::uint32_t seed) {
  using namespace binary_format;
  Check(Field(bytes, 0) == seed);
  Check(Field(bytes, 4) == HashString(kStartMarkerText, seed));
  Check(Field(bytes, 8) == kReserved);
  const std::uint64_t languages = Field(bytes, 12);
  const std::uint64_t ids = Field(bytes, 16);
  Check(Field(bytes, 20) == static_cast<std::uint32_t>(PoolKind::Utf8Text));
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
  for (std::uint64_t k = 0; k < ids * languages; ++k) {
    std::uint64_t offset = Field(bytes, table + 4 * k);
    Check(offset < poolSize);
    Check(bytes.find('\0', pool + offset) < pool + poolSize);  // its text ends inside the pool
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/quillex_fuzz_pipeline_XXXXXX";
  if (::mkdtemp(pattern) == nullptr) std::abort();
  folder = pattern;
  std::atexit([] {
    std::error_code error;
    fs::remove_all(folder, error);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(folder / "in.csv", std::ios::binary) << bytes;
  // The seed varies with the input, so that markers and hashes are checked under many seeds.
  const std::uint32_t seed = kDefaultHashSeed ^ static_cast<std::uint32_t>(size * 2654435761u);

  BinaryRequest request;
  request.inputPath = folder / "in.csv";
  request.outputDirectory = folder;
  request.prefix = "msg";
  request.hashSeed = seed;
  bool succeeded = false;
  {
    BinaryGenerator generator;
    succeeded = generator.Generate(request);
  }
  std::fflush(stdout);

  CsvTable table;
  auto reader = CodePointReader::ForBuffer(data, size);
  const bool parses = table.Parse(reader);
  if (!parses) Check(!succeeded);

  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    Check(name == "in.csv" || name == "msg.bin" || name == "msg_id_hash.inc" ||
          name == "msg_lang_hash.inc");  // no temporary file is ever left
    ++files;
  }
  if (!succeeded) return 0;
  Check(files == 4);
  CheckBinaryFile(Read(folder / "msg.bin"), seed);
  return 0;
}
