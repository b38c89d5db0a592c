// The process entry point; the run itself is RunMain (app/run.h).
#include <string>
#include <vector>

#include "app/run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  quillex::platform::KeepStandardStreamsOpen();
  const std::vector<std::string> arguments = quillex::platform::CommandLineArguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  pointers.push_back(nullptr);
  return quillex::RunMain(static_cast<int>(arguments.size()), pointers.data());
}
