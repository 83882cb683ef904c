#include "app/defaults_writer.h"

#include <utility>

namespace ebbwise {

bool DefaultsWriter::set(std::string_view key, sys::Value value) {
  auto it = known_.find(key);
  if (it == known_.end()) {
    it = known_.emplace(std::string(key), defaults_.object(key).value_or(sys::Value())).first;
  }
  if (it->second == value) return false;
  if (value.is_null()) {
    defaults_.removeObject(key);
  } else {
    bytes_ += key.size() + value.dump(-1, ' ', false, sys::Value::error_handler_t::replace).size();
    defaults_.setObject(key, value);
  }
  ++writes_;
  it->second = std::move(value);
  return true;
}

void DefaultsWriter::remove(std::string_view key) {
  set(key, sys::Value());
}

}  // namespace ebbwise
