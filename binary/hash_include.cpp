#include "binary/hash_include.h"

#include "input/output_file.h"

namespace quillex {
namespace {

template <typename Entry>
void WriteLines(std::FILE* out, const std::string& indentation, const std::vector<Entry>& entries) {
  for (const Entry& entry : entries) {
    std::fprintf(out, "%s%s = 0x%08X,\n", indentation.c_str(), entry.name.c_str(),
                 static_cast<unsigned>(entry.hash));
  }
}

template <typename Entry>
bool WriteInclude(const platform::Path& path, const std::vector<Entry>& entries) {
  OutputFile file;
  if (!file.Open(path, "w")) return false;
  WriteLines(file.Stream(), std::string(), entries);
  return file.Commit();
}

}  // namespace

void WriteHashLines(std::FILE* out, const std::string& indentation,
                    const std::vector<MessageIdEntry>& entries) {
  WriteLines(out, indentation, entries);
}

void WriteHashLines(std::FILE* out, const std::string& indentation,
                    const std::vector<LanguageEntry>& entries) {
  WriteLines(out, indentation, entries);
}

bool WriteHashInclude(const platform::Path& path, const std::vector<MessageIdEntry>& entries) {
  return WriteInclude(path, entries);
}

bool WriteHashInclude(const platform::Path& path, const std::vector<LanguageEntry>& entries) {
  return WriteInclude(path, entries);
}

}  // namespace quillex
