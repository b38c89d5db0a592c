// The command line: turns the tool's argument strings into the `Options` record and reports
// usage errors. One left-to-right pass with exact, case-sensitive matching of whole arguments;
// any argument that is not an option word is the input file.
#pragma once

#include <cstdint>
#include <string_view>

#include "console/catalog.h"
#include "app/options.h"

namespace quillex {

/// Parses `argv[1]` to `argv[argc - 1]` into `options`, which holds its defaults (or earlier
/// settings) and is only overwritten. No arguments at all ask for the help. Stops at the first
/// "-v"/"--version" or "--help". Returns true to go on; on the first usage error prints its
/// error line and returns false.
[[nodiscard]] bool ParseCommandLine(Options* options, int argc, const char* const* argv);

/// Reads a hash seed: optional leading white space and sign, then decimal, "0x" hexadecimal or
/// "0" octal digits; text after the digits is ignored, and "-" negates modulo 2^32. Returns
/// false, leaving `value` unchanged, when no digit is found (a bare "0x" included) or the
/// magnitude exceeds 0xFFFFFFFF. Prints nothing.
[[nodiscard]] bool ParseHashSeed(std::string_view text, std::uint32_t* value);

/// Prints catalog message `message` as an error line, with `argument` as its one string.
void PrintOptionError(Msg message, std::string_view argument);

}  // namespace quillex
