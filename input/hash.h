// The tool's 32-bit string hash. It is the one the applications' reader uses
// (reader/quillex/message_hash.h), so that the generated files and their readers cannot drift
// apart: FNV-1a with the seed as offset basis and each byte sign-extended.
#pragma once

#include <quillex/message_hash.h>
