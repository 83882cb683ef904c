#include "sensors/power/battery_reading.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ebbwise {

namespace {

// 2^63 as a double: the first value beyond the int64 range.
constexpr double int64Limit = 9223372036854775808.0;

// The OS reports this many minutes (and more) while it is still estimating.
constexpr std::int64_t minutesUnknown = 65535;

double number(const sys::Value& dictionary, std::string_view key, double fallback) {
  return sys::asNumber(sys::member(dictionary, key)).value_or(fallback);
}

// A capacity as a whole count: absent unless above 0 and within int64.
std::optional<std::int64_t> truncatedCount(double value) {
  if (!(value > 0)) return std::nullopt;
  double whole = std::trunc(value);
  if (!(whole < int64Limit)) return std::nullopt;
  return static_cast<std::int64_t>(whole);
}

// A signed registry field. The battery's gauge keeps its current as a signed
// 64-bit count, but the registry hands it out as an unsigned one, so a
// draining battery's -483 mA arrives as 18446744073709551133: a value beyond
// the signed range is the two's complement of a negative one.
std::optional<std::int64_t> signedInteger(const sys::Value* value) {
  if (value && value->is_number_unsigned()) {
    return static_cast<std::int64_t>(value->get<std::uint64_t>());
  }
  return sys::asInteger(value);
}

std::optional<std::int64_t> minutes(const sys::Value& dictionary, std::string_view key) {
  auto value = sys::asInteger(sys::member(dictionary, key));
  if (!value || *value <= 0 || *value >= minutesUnknown) return std::nullopt;
  return value;
}

// Products of finite but absurd readings can overflow; a reading never
// carries an infinity, it falls back to the field's default instead.
double finiteOr(double value, double fallback) {
  return std::isfinite(value) ? value : fallback;
}

double percentOf(double current, double maximum) {
  return finiteOr(std::min(current / maximum * 100, 100.0), 0);
}

// Bytes of the white-space character starting at `i` (tab, line breaks, and
// the Unicode space separators in UTF-8), or 0.
std::size_t spaceLength(std::string_view s, std::size_t i) {
  auto at = [&](std::size_t k) -> unsigned {
    return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u;
  };
  unsigned c = at(i);
  if (c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r') return 1;
  if (c == 0xC2 && at(i + 1) == 0xA0) return 2;                       // no-break space
  if (c == 0xE1 && at(i + 1) == 0x9A && at(i + 2) == 0x80) return 3;  // ogham space
  if (c == 0xE3 && at(i + 1) == 0x80 && at(i + 2) == 0x80) return 3;  // ideographic space
  if (c == 0xE2 && at(i + 1) == 0x81 && at(i + 2) == 0x9F) return 3;  // math space
  if (c == 0xE2 && at(i + 1) == 0x80) {
    unsigned t = at(i + 2);
    if ((t >= 0x80 && t <= 0x8A) || t == 0xA8 || t == 0xA9 || t == 0xAF) return 3;
  }
  return 0;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view trimSpacesAndTabs(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

BatteryReading BatteryReading::make(double percent, double remainingWh, double watts, bool onAC,
                                    bool isCharging,
                                    std::optional<std::int64_t> systemMinutesToEmpty,
                                    std::optional<std::int64_t> systemMinutesToFull) {
  BatteryReading r;
  r.percent = percent;
  r.remainingWh = remainingWh;
  r.watts = watts;
  r.onAC = onAC;
  r.isCharging = isCharging;
  r.systemMinutesToEmpty = systemMinutesToEmpty;
  r.systemMinutesToFull = systemMinutesToFull;
  return r;
}

BatteryReading BatteryReading::fromProperties(const sys::Value& properties) {
  const sys::Value& p = properties;
  double currentCapacity = number(p, "CurrentCapacity", 0);
  double maxCapacity = number(p, "MaxCapacity", 100);
  double voltageMV = number(p, "Voltage", 0);
  std::int64_t amperageMA = signedInteger(sys::member(p, "Amperage")).value_or(0);
  double rawCurrent = number(p, "AppleRawCurrentCapacity", 0);
  double rawMax = number(p, "AppleRawMaxCapacity", 0);
  double nominal = number(p, "NominalChargeCapacity", 0);
  const sys::Value* adapter = sys::asDictionary(sys::member(p, "AdapterDetails"));

  BatteryReading r;
  double systemPercent = maxCapacity > 0 ? percentOf(currentCapacity, maxCapacity) : 0;
  r.systemPercent = systemPercent;
  r.percent = rawMax > 0 && rawCurrent > 0 ? percentOf(rawCurrent, rawMax) : systemPercent;

  r.onAC = sys::asBool(sys::member(p, "ExternalConnected")).value_or(false);
  r.isCharging = sys::asBool(sys::member(p, "IsCharging")).value_or(false);
  r.systemMinutesToEmpty = minutes(p, "AvgTimeToEmpty");
  r.systemMinutesToFull = minutes(p, "AvgTimeToFull");

  r.chargeMAh = truncatedCount(rawCurrent);
  r.fullMAh = truncatedCount(rawMax);
  if (rawMax > 0) r.capacityEstimates.push_back(rawMax);
  if (nominal > 0) r.capacityEstimates.push_back(nominal);

  r.powerOut = USBPowerOut::parse(sys::member(p, "PowerOutDetails"));

  if (adapter) {
    r.chargerWatts = sys::asInteger(sys::member(adapter, "Watts"));
    if (auto name = sys::asString(sys::member(adapter, "Name"))) {
      r.chargerRatedWatts = ratedWatts(*name);
      if (auto trimmed = trimSpacesAndTabs(*name); !trimmed.empty()) {
        r.chargerName = std::string(trimmed);
      }
    }
  }

  if (auto hundredths = sys::asNumber(sys::member(p, "Temperature"))) {
    r.temperatureC = *hundredths / 100;
  }

  r.voltage = voltageMV / 1000;
  r.fullWh = finiteOr(r.voltage * rawMax / 1000, 0);
  r.remainingWh = finiteOr(r.voltage * rawCurrent / 1000, 0);
  r.watts = finiteOr(r.voltage * (static_cast<double>(amperageMA) / 1000), 0);
  return r;
}

std::optional<BatteryReading> BatteryReading::read(sys::Registry& registry) {
  auto entry = registry.matchingService("AppleSmartBattery");
  if (!entry) return std::nullopt;
  auto properties = registry.properties(*entry);
  if (!properties || !properties->is_object()) return std::nullopt;
  // Desktops publish a battery entry too, flagged as not installed and full
  // of zeros; reading it would show an empty battery on a mains-only machine.
  if (sys::asBool(sys::member(*properties, "BatteryInstalled")) == false) return std::nullopt;
  return fromProperties(*properties);
}

std::optional<std::int64_t> BatteryReading::ratedWatts(std::string_view name) {
  // The first run of digits followed by "W", with at most one white-space
  // character between. Only a maximal run can match: a shorter one is followed
  // by another digit.
  std::size_t i = 0;
  while (i < name.size()) {
    if (!isDigit(name[i])) {
      ++i;
      continue;
    }
    std::size_t start = i;
    while (i < name.size() && isDigit(name[i])) ++i;
    std::size_t unit = i + spaceLength(name, i);
    if (unit >= name.size() || name[unit] != 'W') continue;
    std::int64_t watts = 0;
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    for (char c : name.substr(start, i - start)) {
      int digit = c - '0';
      if (watts > (max - digit) / 10) return std::nullopt;
      watts = watts * 10 + digit;
    }
    return watts;
  }
  return std::nullopt;
}

void BatteryReading::useFullCapacity(double mAh) {
  // Only a usable estimate replaces the capacity: NaN, infinities, zero and
  // values beyond the integer range leave the reading as it is.
  if (!(mAh > 0) || !chargeMAh) return;
  double rounded = std::round(mAh);
  if (!(rounded < int64Limit)) return;
  fullMAh = static_cast<std::int64_t>(rounded);
  fullWh = finiteOr(voltage * mAh / 1000, 0);
  percent = percentOf(static_cast<double>(*chargeMAh), mAh);
}

}  // namespace ebbwise
