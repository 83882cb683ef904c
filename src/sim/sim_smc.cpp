#include "sim/sim_smc.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "sys/audio_system.h"

namespace ebbwise::sim {

namespace {

// Offsets in the request record.
constexpr std::size_t kKeyAt = 0, kInfoSizeAt = 28, kInfoTypeAt = 32, kInfoAttributesAt = 36,
                      kResultAt = 40, kCommandAt = 42, kBytesAt = 48;
constexpr std::uint8_t kReadValue = 5, kReadInfo = 9;

enum class KeyType { flt, ui8, si16, ui32 };

struct Key {
  std::uint32_t code;
  KeyType type;
};

constexpr std::array<Key, 6> kKeys = {{
    {sys::fourCharCode("PSTR"), KeyType::flt},
    {sys::fourCharCode("PDTR"), KeyType::flt},
    {sys::fourCharCode("TB0T"), KeyType::flt},
    {sys::fourCharCode("BNum"), KeyType::ui8},
    {sys::fourCharCode("B0AC"), KeyType::si16},
    {sys::fourCharCode("#KEY"), KeyType::ui32},
}};

std::uint32_t typeCode(KeyType t) {
  switch (t) {
    case KeyType::flt:
      return sys::fourCharCode("flt ");
    case KeyType::ui8:
      return sys::fourCharCode("ui8 ");
    case KeyType::si16:
      return sys::fourCharCode("si16");
    case KeyType::ui32:
      return sys::fourCharCode("ui32");
  }
  return 0;
}

std::uint32_t typeSize(KeyType t) {
  switch (t) {
    case KeyType::flt:
      return 4;
    case KeyType::ui8:
      return 1;
    case KeyType::si16:
      return 2;
    case KeyType::ui32:
      return 4;
  }
  return 0;
}

std::uint32_t readLE32(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
         std::uint32_t(b[at + 3]) << 24;
}

void writeLE32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

bool SimSMC::hasKey(std::uint32_t code) const {
  if (code == sys::fourCharCode("PDTR")) {
    const MachineSetup& m = model_.scenario().machine;
    return m.platform.hasChargerPowerKey(m.chip);
  }
  // A desktop has no battery to measure.
  if (model_.scenario().machine.model == MacModel::desktop &&
      (code == sys::fourCharCode("TB0T") || code == sys::fourCharCode("BNum") ||
       code == sys::fourCharCode("B0AC"))) {
    return false;
  }
  return std::any_of(kKeys.begin(), kKeys.end(), [&](const Key& k) { return k.code == code; });
}

std::optional<std::pair<int, std::uint8_t>> SimSMC::transientFailure() {
  const MachineSetup& m = model_.scenario().machine;
  if (!(m.platform.smcErrors > 0)) return std::nullopt;
  const double u = faults_.draw(model_.time());
  if (u >= m.platform.smcErrors) return std::nullopt;
  // Half of them the kernel reports, half the controller's result byte.
  if (u < m.platform.smcErrors / 2) return std::pair{kIOReturnBusy, std::uint8_t{0}};
  return std::pair{0, kCommCollision};
}

std::optional<sys::SMCConnection> SimSMC::open() {
  auto lock = model_.sync();
  if (refusedOpens_ < model_.scenario().machine.platform.smcOpenFailures) {
    ++refusedOpens_;
    return std::nullopt;
  }
  sys::SMCConnection c = next_++;
  open_.insert(c);
  return c;
}

void SimSMC::close(sys::SMCConnection connection) {
  auto lock = model_.sync();
  open_.erase(connection);
}

int SimSMC::callStructMethod(sys::SMCConnection connection, std::uint32_t selector,
                             std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  auto lock = model_.sync();
  if (!open_.count(connection)) return kIOReturnNotOpen;
  if (selector != kSelector) return kIOReturnUnsupported;
  if (input.size() != kRecordSize || output.size() != kRecordSize) return kIOReturnBadArgument;

  std::fill(output.begin(), output.end(), std::uint8_t{0});
  const std::uint32_t code = readLE32(input, kKeyAt);
  const std::uint8_t command = input[kCommandAt];
  writeLE32(output, kKeyAt, code);
  output[kCommandAt] = command;

  if (auto failure = transientFailure()) {
    if (failure->first != 0) return failure->first;
    output[kResultAt] = failure->second;
    return 0;
  }
  auto key = std::find_if(kKeys.begin(), kKeys.end(), [&](const Key& k) { return k.code == code; });
  if (command != kReadInfo && command != kReadValue) {
    output[kResultAt] = kBadCommand;
    return 0;
  }
  if (key == kKeys.end() || !hasKey(code)) {
    output[kResultAt] = kKeyNotFound;
    return 0;
  }
  const std::uint32_t size = typeSize(key->type);
  writeLE32(output, kInfoSizeAt, size);
  writeLE32(output, kInfoTypeAt, typeCode(key->type));
  output[kInfoAttributesAt] = 0xD0;
  if (command == kReadInfo) return 0;

  if (readLE32(input, kInfoSizeAt) != size) {
    output[kResultAt] = kBadArgument;
    return 0;
  }
  auto bytes = output.subspan(kBytesAt);
  switch (key->type) {
    case KeyType::flt: {
      float value = 0;
      if (code == sys::fourCharCode("PSTR")) value = static_cast<float>(model_.systemWatts());
      if (code == sys::fourCharCode("PDTR")) value = static_cast<float>(model_.chargerWatts());
      if (code == sys::fourCharCode("TB0T")) value = static_cast<float>(model_.temperatureC());
      std::uint32_t raw;
      std::memcpy(&raw, &value, sizeof raw);
      writeLE32(bytes, 0, raw);  // floats travel little-endian
      break;
    }
    case KeyType::ui8:
      bytes[0] = 1;
      break;  // one battery
    case KeyType::si16: {
      // Integers travel big-endian.
      double amps = model_.batteryWatts() /
                    model_.pack().terminalVoltage(model_.charge(), model_.batteryWatts()) * 1000;
      auto v = static_cast<std::int16_t>(std::clamp(std::lround(amps), -32768L, 32767L));
      auto u = static_cast<std::uint16_t>(v);
      bytes[0] = static_cast<std::uint8_t>(u >> 8);
      bytes[1] = static_cast<std::uint8_t>(u);
      break;
    }
    case KeyType::ui32: {
      auto n = static_cast<std::uint32_t>(
          std::count_if(kKeys.begin(), kKeys.end(), [&](const Key& k) { return hasKey(k.code); }));
      for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(n >> (24 - 8 * i));
      break;
    }
  }
  return 0;
}

}  // namespace ebbwise::sim
