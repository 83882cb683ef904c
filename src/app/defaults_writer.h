#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "sys/user_defaults.h"
#include "sys/value.h"

namespace ebbwise {

// Writes settings and small stored models to the user-defaults store only
// when they change, so that a tick that changes nothing writes nothing, and
// counts what it wrote (each write as its key plus the value's JSON text).
class DefaultsWriter {
 public:
  explicit DefaultsWriter(sys::UserDefaults& defaults) : defaults_(defaults) {}
  DefaultsWriter(const DefaultsWriter&) = delete;
  DefaultsWriter& operator=(const DefaultsWriter&) = delete;

  // Stores `value` under `key` unless the store already holds exactly that;
  // true when it wrote. A null value removes the key.
  bool set(std::string_view key, sys::Value value);
  void remove(std::string_view key);

  std::uint64_t writes() const { return writes_; }
  std::uint64_t bytesWritten() const { return bytes_; }

  sys::UserDefaults& defaults() { return defaults_; }

 private:
  sys::UserDefaults& defaults_;
  // What the store holds under each key this writer touched: the last value
  // written, or read before the first write. A null value stands for none.
  std::map<std::string, sys::Value, std::less<>> known_;
  std::uint64_t writes_ = 0;
  std::uint64_t bytes_ = 0;
};

}  // namespace ebbwise
