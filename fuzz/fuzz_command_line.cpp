// The command-line parser: any argument list parses or fails with a usage error; an accepted run
// has its input file among the arguments; and the hash seed reader agrees with a plain model.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/options.h"
#include "input/hash.h"
#include "platform/platform.h"

namespace {

// The seed grammar by the C library's reader (base 0: the same white space, sign and prefixes),
// not a second copy of the parser's loop. Where the tool differs: "0x" without a hexadecimal
// digit fails rather than reading the "0", and the magnitude must fit in 32 bits.
std::optional<std::uint32_t> ModelHashSeed(const std::string& text) {
  const char* const begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const unsigned long long read = std::strtoull(begin, &end, 0);
  if (end == begin || errno == ERANGE) return std::nullopt;
  const char* digits = begin;
  while (*digits == ' ' || (*digits >= '\t' && *digits <= '\r')) ++digits;
  const bool negative = *digits == '-';
  if (*digits == '+' || *digits == '-') ++digits;
  if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X') && end == digits + 1) {
    return std::nullopt;  // the library read the "0" alone
  }
  const unsigned long long magnitude = negative ? 0 - read : read;
  if (magnitude > 0xFFFFFFFFu) return std::nullopt;
  const auto value = static_cast<std::uint32_t>(magnitude);
  return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Arguments are separated by NUL bytes.
  std::vector<std::string> words = {"zorb-quillex"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (size > 0) words.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());

  for (std::size_t i = 1; i < words.size(); ++i) {
    std::uint32_t value = 0x12345678;
    bool ok = quillex::ParseHashSeed(words[i], &value);
    std::optional<std::uint32_t> model = ModelHashSeed(words[i]);
    if (ok != model.has_value() || (ok && value != *model) || (!ok && value != 0x12345678)) {
      std::abort();
    }
  }

  quillex::Options options;
  if (!quillex::ParseCommandLine(&options, static_cast<int>(argv.size()), argv.data())) return 0;
  if (options.showVersion || options.showHelp) return 0;
  bool found = false;
  bool seedGiven = false;
  for (std::size_t i = 1; i < words.size(); ++i) {
    found = found || (!words[i].empty() &&
                      quillex::platform::PathFromArgument(words[i]) == options.inputPath);
    seedGiven = seedGiven || words[i] == "--hash-seed";
  }
  if (!found) std::abort();
  if (!seedGiven && options.hashSeed != quillex::kDefaultHashSeed) std::abort();
  return 0;
}
