#include "sensors/power/smc.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace ebbwise {

namespace {

// Field offsets of the request record.
constexpr std::size_t kKey = 0;
constexpr std::size_t kVersion = 4;
constexpr std::size_t kLimits = 12;
constexpr std::size_t kInfo = 28;
constexpr std::size_t kResult = 40;
constexpr std::size_t kStatus = 41;
constexpr std::size_t kCommand = 42;
constexpr std::size_t kData32 = 44;
constexpr std::size_t kBytes = 48;

void put16(SMC::Request::Bytes& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(SMC::Request::Bytes& out, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint16_t get16(std::span<const std::uint8_t, SMC::Request::kSize> in, std::size_t at) {
  return static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
}

std::uint32_t get32(std::span<const std::uint8_t, SMC::Request::kSize> in, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v |= std::uint32_t(in[at + i]) << (8 * i);
  return v;
}

}  // namespace

SMC::Request::Bytes SMC::Request::encode() const {
  Bytes out{};
  put32(out, kKey, key);
  out[kVersion] = version.major;
  out[kVersion + 1] = version.minor;
  out[kVersion + 2] = version.build;
  out[kVersion + 3] = version.reserved;
  put16(out, kVersion + 4, version.release);
  put16(out, kLimits, limits.version);
  put16(out, kLimits + 2, limits.length);
  put32(out, kLimits + 4, limits.cpu);
  put32(out, kLimits + 8, limits.gpu);
  put32(out, kLimits + 12, limits.mem);
  put32(out, kInfo, info.size);
  put32(out, kInfo + 4, info.type);
  out[kInfo + 8] = info.attributes;
  out[kResult] = result;
  out[kStatus] = status;
  out[kCommand] = command;
  put32(out, kData32, data32);
  std::copy(bytes.begin(), bytes.end(), out.begin() + kBytes);
  return out;
}

SMC::Request SMC::Request::decode(std::span<const std::uint8_t, kSize> raw) {
  Request r;
  r.key = get32(raw, kKey);
  r.version = {raw[kVersion], raw[kVersion + 1], raw[kVersion + 2], raw[kVersion + 3],
               get16(raw, kVersion + 4)};
  r.limits = {get16(raw, kLimits), get16(raw, kLimits + 2), get32(raw, kLimits + 4),
              get32(raw, kLimits + 8), get32(raw, kLimits + 12)};
  r.info = {get32(raw, kInfo), get32(raw, kInfo + 4), raw[kInfo + 8]};
  r.result = raw[kResult];
  r.status = raw[kStatus];
  r.command = raw[kCommand];
  r.data32 = get32(raw, kData32);
  std::copy(raw.begin() + kBytes, raw.end(), r.bytes.begin());
  return r;
}

std::unique_ptr<SMC> SMC::open(sys::SMCUserClient& client) {
  auto connection = client.open();
  if (!connection) return nullptr;
  return std::unique_ptr<SMC>(new SMC(client, *connection));
}

SMC::~SMC() {
  client_.close(connection_);
}

std::optional<SMC::Request> SMC::call(const Request& request) {
  Request::Bytes input = request.encode();
  Request::Bytes output{};
  if (client_.callStructMethod(connection_, kSelector, input, output) != 0) return std::nullopt;
  Request answer = Request::decode(output);
  if (answer.result != 0) return std::nullopt;
  return answer;
}

std::optional<SMC::KeyInfo> SMC::keyInfo(std::uint32_t code) {
  if (auto it = infoCache_.find(code); it != infoCache_.end()) return it->second;
  Request request;
  request.key = code;
  request.command = kReadKeyInfo;
  auto answer = call(request);
  if (!answer) return std::nullopt;  // not cached: a failed call may succeed later
  infoCache_.emplace(code, answer->info);
  return answer->info;
}

std::optional<double> SMC::readFloat(std::string_view key) {
  // Longer names would silently lose their first characters in the packing
  // and read some other key.
  if (key.size() != 4) return std::nullopt;
  const std::uint32_t code = smcKeyCode(key);
  auto info = keyInfo(code);
  if (!info || info->type != kFloatType || info->size != 4) return std::nullopt;

  Request request;
  request.key = code;
  request.info.size = 4;
  request.command = kReadKey;
  auto answer = call(request);
  if (!answer) return std::nullopt;

  const std::uint32_t raw = std::uint32_t(answer->bytes[0]) | std::uint32_t(answer->bytes[1]) << 8 |
                            std::uint32_t(answer->bytes[2]) << 16 |
                            std::uint32_t(answer->bytes[3]) << 24;
  const double value = std::bit_cast<float>(raw);
  // A garbled answer must not poison sums that are integrated over time.
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace ebbwise
