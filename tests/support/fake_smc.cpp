#include "support/fake_smc.h"

#include <algorithm>
#include <bit>

namespace ebbwise::test {

namespace {

std::uint32_t le32(std::span<const std::uint8_t> in, std::size_t at) {
  return std::uint32_t(in[at]) | std::uint32_t(in[at + 1]) << 8 | std::uint32_t(in[at + 2]) << 16 |
         std::uint32_t(in[at + 3]) << 24;
}

void putLe32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t code(const std::string& key) {
  std::uint32_t c = 0;
  for (char ch : key) c = (c << 8) | static_cast<std::uint8_t>(ch);
  return c;
}

std::string name(std::uint32_t c) {
  return {char(c >> 24), char(c >> 16), char(c >> 8), char(c)};
}

}  // namespace

void FakeSMC::setFloat(const std::string& key, float value) {
  auto raw = std::bit_cast<std::uint32_t>(value);
  setKey(key, Key{code("flt "),
                  4,
                  0xD4,
                  {std::uint8_t(raw), std::uint8_t(raw >> 8), std::uint8_t(raw >> 16),
                   std::uint8_t(raw >> 24)}});
}

void FakeSMC::setKey(const std::string& key, Key value) {
  keys_[key] = std::move(value);
}

void FakeSMC::removeKey(const std::string& key) {
  keys_.erase(key);
}

std::optional<sys::SMCConnection> FakeSMC::open() {
  if (serviceMissing) return std::nullopt;
  openConnections.insert(next_);
  return next_++;
}

void FakeSMC::close(sys::SMCConnection connection) {
  openConnections.erase(connection);
  ++closed;
}

int FakeSMC::callStructMethod(sys::SMCConnection connection, std::uint32_t selector,
                              std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  if (!openConnections.contains(connection) || selector != 2 || input.size() != 80 ||
      output.size() != 80) {
    return kBadArgument;
  }
  inputs.emplace_back(input.begin(), input.end());
  const std::string key = name(le32(input, 0));
  if (kernelErrorKeys.contains(key)) return kBadArgument;

  std::fill(output.begin(), output.end(), 0);
  std::copy_n(input.begin(), 4, output.begin());  // the key travels back
  const std::uint8_t command = input[42];
  auto found = keys_.find(key);
  std::uint8_t result = found == keys_.end() ? kKeyNotFound : 0;
  if (auto forced = resultByteForKey.find(key); forced != resultByteForKey.end()) {
    result = forced->second;
  }
  if (found == keys_.end() && result == 0) result = kKeyNotFound;
  if (command == 9) {
    ++infoCalls;
    if (result == 0) {
      putLe32(output, 28, found->second.size);
      putLe32(output, 32, found->second.type);
      output[36] = found->second.attributes;
    }
  } else if (command == 5) {
    ++readCalls;
    // The controller wants the size it described; anything else is refused.
    if (result == 0 && le32(input, 28) != found->second.size) result = 0x85;
    if (result == 0) {
      const auto& bytes = found->second.bytes;
      std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 32), output.begin() + 48);
    }
  } else {
    result = 0x82;
  }
  output[40] = result;
  return 0;
}

}  // namespace ebbwise::test
