// Test helper: sets an environment variable for one scope and puts the old value back, so tests
// that steer the locale queries leave the process as they found it.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace quillex {

class ScopedEnv {
 public:
  /// Sets `name` to `value`, or removes it when `value` is nullptr.
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const char* value) {
    if (value != nullptr) {
      ::setenv(name_.c_str(), value, 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace quillex
