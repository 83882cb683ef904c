#include "linux/power_supply_smc.h"

#include <time.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>

#include "linux/battery_status.h"

namespace ebbwise::linux_host {

namespace {

// Offsets in the request record.
constexpr std::size_t kKeyAt = 0, kInfoSizeAt = 28, kInfoTypeAt = 32, kResultAt = 40,
                      kCommandAt = 42, kBytesAt = 48;
constexpr std::uint8_t kReadValue = 5, kReadInfo = 9;

constexpr std::uint32_t code(const char (&key)[5]) {
  return std::uint32_t(std::uint8_t(key[0])) << 24 | std::uint32_t(std::uint8_t(key[1])) << 16 |
         std::uint32_t(std::uint8_t(key[2])) << 8 | std::uint32_t(std::uint8_t(key[3]));
}

constexpr std::uint32_t kSystemPower = code("PSTR");
constexpr std::uint32_t kChargerPower = code("PDTR");
constexpr std::uint32_t kFloatType = code("flt ");

// A power figure is a rate over an interval; shorter intervals than this
// reuse the previous figure rather than divide noise by almost nothing.
constexpr double kMinInterval = 0.2;

std::uint32_t readLE32(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
         std::uint32_t(b[at + 3]) << 24;
}

void writeLE32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void sleepFor(double seconds) {
  timespec pause{static_cast<time_t>(seconds),
                 static_cast<long>((seconds - std::floor(seconds)) * 1e9)};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

}  // namespace

PowerSupplySMC::PowerSupplySMC(std::string sysRoot, RaplCounters* counters, const sys::Clock& clock,
                               PowerSupplyCache* shared)
    : sysRoot_(std::move(sysRoot)), shared_(shared), counters_(counters), clock_(clock) {
  platformWatts();  // the base of the first measured interval
}

std::optional<sys::SMCConnection> PowerSupplySMC::open() {
  std::lock_guard hold(mutex_);
  const sys::SMCConnection c = next_++;
  open_.insert(c);
  return c;
}

void PowerSupplySMC::close(sys::SMCConnection connection) {
  std::lock_guard hold(mutex_);
  open_.erase(connection);
}

std::optional<double> PowerSupplySMC::platformWatts() {
  if (!counters_) return std::nullopt;
  auto measure = [&]() -> std::optional<Sample> {
    const auto total = counters_->read().psys;
    if (!total) return std::nullopt;
    return Sample{*total, clock_.timebase().ticksToSeconds(clock_.monotonicTicks())};
  };
  auto now = measure();
  if (!now) return std::nullopt;
  if (!lastPlatform_) {
    lastPlatform_ = now;
    return std::nullopt;
  }
  double interval = now->seconds - lastPlatform_->seconds;
  if (interval < kMinInterval) {
    if (platformWatts_) return platformWatts_;
    // The very first figure: wait out the shortest interval once.
    sleepFor(kMinInterval - interval);
    now = measure();
    if (!now) return std::nullopt;
    interval = now->seconds - lastPlatform_->seconds;
    if (!(interval > 0)) return std::nullopt;
  }
  const double joules = static_cast<double>(now->microjoules - lastPlatform_->microjoules) / 1e6;
  lastPlatform_ = now;
  platformWatts_ = joules / interval;
  return platformWatts_;
}

std::vector<PowerSupply> PowerSupplySMC::readAll() {
  return shared_ ? shared_->readAll() : PowerSupply::readAll(sysRoot_);
}

std::optional<double> PowerSupplySMC::systemWatts() {
  const auto battery = BatteryStatus::of(readAll());
  if (battery && !battery->externalConnected) return battery->systemWatts();
  return platformWatts();
}

std::optional<double> PowerSupplySMC::chargerWatts() {
  const auto battery = BatteryStatus::of(readAll());
  if (battery && !battery->externalConnected) return 0.0;
  const auto platform = platformWatts();
  if (!platform) return std::nullopt;
  const double intoBattery = battery ? battery->watts.value_or(0.0) : 0.0;
  return std::max(0.0, *platform + intoBattery);
}

int PowerSupplySMC::callStructMethod(sys::SMCConnection connection, std::uint32_t selector,
                                     std::span<const std::uint8_t> input,
                                     std::span<std::uint8_t> output) {
  std::lock_guard hold(mutex_);
  if (!open_.count(connection)) return kIOReturnNotOpen;
  if (selector != kSelector) return kIOReturnUnsupported;
  if (input.size() != kRecordSize || output.size() != kRecordSize) return kIOReturnBadArgument;

  std::fill(output.begin(), output.end(), std::uint8_t{0});
  const std::uint32_t key = readLE32(input, kKeyAt);
  const std::uint8_t command = input[kCommandAt];
  writeLE32(output, kKeyAt, key);
  output[kCommandAt] = command;
  if (command != kReadInfo && command != kReadValue) {
    output[kResultAt] = kBadCommand;
    return 0;
  }
  if (key != kSystemPower && key != kChargerPower) {
    output[kResultAt] = kKeyNotFound;
    return 0;
  }
  writeLE32(output, kInfoSizeAt, 4);
  writeLE32(output, kInfoTypeAt, kFloatType);
  if (command == kReadInfo) return 0;
  if (readLE32(input, kInfoSizeAt) != 4) {
    output[kResultAt] = kBadArgument;
    return 0;
  }
  const auto watts = key == kSystemPower ? systemWatts() : chargerWatts();
  if (!watts || !std::isfinite(*watts)) {
    output[kResultAt] = kNotReadable;
    return 0;
  }
  writeLE32(output, kBytesAt, std::bit_cast<std::uint32_t>(static_cast<float>(*watts)));
  return 0;
}

}  // namespace ebbwise::linux_host
