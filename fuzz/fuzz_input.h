#pragma once

// Shared by the fuzz targets: a reader that splits one input into the
// answers a target hands its parser, and a check that stops the run loudly.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace ebbwise::fuzz {

// Takes values off the front of the input; past its end every value is zero
// and every byte run empty, so a target never has to count.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

  bool empty() const { return rest_.empty(); }

  template <typename T>
  T take() {
    T value{};
    const std::size_t n = std::min(sizeof value, rest_.size());
    if (n > 0) std::memcpy(&value, rest_.data(), n);
    rest_ = rest_.subspan(n);
    return value;
  }

  std::span<const std::uint8_t> bytes(std::size_t count) {
    count = std::min(count, rest_.size());
    auto out = rest_.first(count);
    rest_ = rest_.subspan(count);
    return out;
  }

  std::span<const std::uint8_t> remaining() { return bytes(rest_.size()); }

  std::string_view text(std::size_t count) {
    auto b = bytes(count);
    return {reinterpret_cast<const char*>(b.data()), b.size()};
  }
  std::string_view remainingText() { return text(rest_.size()); }

 private:
  std::span<const std::uint8_t> rest_;
};

[[noreturn]] inline void failed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}

}  // namespace ebbwise::fuzz

// A property every input must keep; a broken one aborts like a crash, so the
// fuzzer saves the input and the replay test fails on it.
#define FUZZ_CHECK(condition) \
  ((condition) ? void(0) : ::ebbwise::fuzz::failed(#condition, __FILE__, __LINE__))
