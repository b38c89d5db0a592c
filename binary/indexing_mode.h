// How binary output stores its messages: as UTF-8 text, or as 16-bit character indexes.
#pragma once

#include <cstdint>

namespace quillex {

/// Fixed values.
enum class IndexingMode : std::int32_t {
  NoIndexing = 0,
  PerLanguage = 1,   // --indexing: one character table per language
  AllLanguages = 2,  // --indexing-all: one table shared by all languages
};

}  // namespace quillex
