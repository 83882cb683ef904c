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

}  // namespace

void FakeSMC::setFloat(const std::string& key, float value) {
  std::vector<std::uint8_t> bytes(4);
  putLe32(bytes, 0, std::bit_cast<std::uint32_t>(value));
  setKey(key, 0x666C7420 /* "flt " */, std::move(bytes));
}

std::optional<sys::SMCConnection> FakeSMC::open() {
  if (serviceMissing) return std::nullopt;
  openConnections.insert(next_);
  return next_++;
}

int FakeSMC::callStructMethod(sys::SMCConnection connection, std::uint32_t selector,
                              std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  if (!openConnections.contains(connection) || selector != 2 || input.size() != 80 ||
      output.size() != 80) {
    return kBadArgument;
  }
  inputs.emplace_back(input.begin(), input.end());
  const std::uint32_t code = le32(input, 0);
  const std::string name = {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
  if (kernelErrorKeys.contains(name)) return kBadArgument;
  if (busyCalls > 0) {
    --busyCalls;
    return kBusy;
  }

  std::fill(output.begin(), output.end(), 0);
  std::copy_n(input.begin(), 4, output.begin());  // the key travels back
  const auto found = keys_.find(name);
  const auto forced = resultByteForKey.find(name);
  std::uint8_t& result = output[40];
  result = found == keys_.end()               ? kKeyNotFound
           : forced != resultByteForKey.end() ? forced->second
                                              : 0;
  if (result != 0) return 0;
  const Key& key = found->second;
  const auto size = static_cast<std::uint32_t>(key.bytes.size());
  if (input[42] == 9) {  // read the key's description
    putLe32(output, 28, size);
    putLe32(output, 32, key.type);
  } else if (input[42] == 5 && le32(input, 28) == size) {  // read the value, of the size described
    std::copy(key.bytes.begin(), key.bytes.end(), output.begin() + 48);
  } else if (input[42] == 5) {
    result = 0x85;  // any other size is refused
  } else {
    result = 0x82;
  }
  return 0;
}

}  // namespace ebbwise::test
