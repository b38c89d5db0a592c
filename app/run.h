// The run flow of the tool: choose the console language, parse the command line, then do one
// thing (show the version, show the help, or run one generator) and turn it into an exit status.
#pragma once

namespace quillex {

/// Sets `useJapanese` when the user's language is Japanese and the console's code page is
/// UTF-8 (65001) or Shift_JIS (932); otherwise leaves it at 0. Call once, before any message.
void ChooseConsoleLanguage();

/// The whole run for the process arguments. Returns the exit status: 0 after showing the version
/// or the help or after a successful generation, 1 after a usage error or a failed generation
/// (whose error line the failing step has printed).
int RunMain(int argc, const char* const* argv);

}  // namespace quillex
