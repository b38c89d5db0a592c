// The command-line parser: any argument list parses or fails with a usage error; an accepted run
// has its input file among the arguments; and the hash seed reader agrees with a plain model.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/options.h"
#include "input/hash.h"
#include "platform/platform.h"

namespace {

// The seed grammar, written out plainly: white space, a sign, a base prefix, digits of the base.
std::optional<std::uint32_t> ModelHashSeed(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  } else if (i < text.size() && text[i] == '0') {
    base = 8;
  }
  std::uint64_t value = 0;
  bool digits = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : 99;
    if (digit >= base) break;
    digits = true;
    value = value * base + digit;
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  if (!digits) return std::nullopt;
  auto result = static_cast<std::uint32_t>(value);
  return negative ? static_cast<std::uint32_t>(0u - result) : result;
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
