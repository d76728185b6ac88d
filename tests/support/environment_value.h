// An environment variable set (or, given null, unset) while the object
// lives, then put back as it was.
#pragma once
#include <cstdlib>
#include <string>

class EnvironmentValue {
 public:
  EnvironmentValue(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvironmentValue() {
    if (hadOld_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }
  EnvironmentValue(const EnvironmentValue&) = delete;
  EnvironmentValue& operator=(const EnvironmentValue&) = delete;

 private:
  const char* name_;
  bool hadOld_;
  std::string old_;
};
