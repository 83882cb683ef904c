#include "sensors/power/chip_power_reader.h"

#include <map>
#include <string>
#include <utility>

namespace ebbwise {

namespace {

constexpr std::string_view kChannels = "IOReportChannels";

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

bool hasChannels(const sys::Value& description) {
  const sys::Value* list = sys::asList(sys::member(description, kChannels));
  return list && !list->empty();
}

}  // namespace

std::optional<double> ChipPowerReader::unitsPerJoule(std::string_view unit) {
  unit = trimmed(unit);
  if (unit == "mJ") return 1e3;
  // Micro arrives UTF-8 encoded, spelt with the micro sign (U+00B5) or with
  // the Greek letter mu (U+03BC) it is equivalent to.
  if (unit == "uJ" || unit == "\xC2\xB5J" || unit == "\xCE\xBCJ") return 1e6;
  if (unit == "nJ") return 1e9;
  return std::nullopt;
}

std::unique_ptr<ChipPowerReader> ChipPowerReader::create(sys::IOReport& ioReport) {
  auto channels = ioReport.copyChannelsInGroup(kGroup, std::nullopt);
  // A group without a single channel would read as an idle chip forever.
  if (!channels || !hasChannels(*channels)) return nullptr;
  sys::Value subscribed;
  auto subscription = ioReport.createSubscription(*channels, subscribed);
  if (!subscription || subscribed.is_null()) return nullptr;
  std::unique_ptr<ChipPowerReader> reader(
      new ChipPowerReader(ioReport, *subscription, std::move(subscribed)));
  reader->last_ = ioReport.createSamples(reader->subscription_, reader->channels_);
  return reader;
}

std::optional<ChipEnergy> ChipPowerReader::read() {
  auto now = ioReport_.createSamples(subscription_, channels_);
  if (!now) {
    // Differencing the next sample against the old base would hand the caller
    // two intervals' energy for one; start afresh from the next good sample.
    last_.reset();
    return std::nullopt;
  }
  // From here on `now` becomes the base of the next read whatever happens.
  auto previous = std::exchange(last_, std::move(now));
  if (!previous) return std::nullopt;

  auto delta = ioReport_.createSamplesDelta(*previous, *last_);
  if (!delta) return std::nullopt;
  const sys::Value* entries = sys::asList(sys::member(*delta, kChannels));
  if (!entries) return std::nullopt;

  std::map<std::string, double> joules;
  for (const sys::Value& entry : *entries) {
    auto name = ioReport_.channelName(entry);
    if (!name) continue;
    auto perJoule = unitsPerJoule(ioReport_.unitLabel(entry).value_or(""));
    if (!perJoule) continue;
    joules[*name] += static_cast<double>(ioReport_.simpleIntegerValue(entry)) / *perJoule;
  }
  return ChipEnergy::fromChannels(joules);
}

}  // namespace ebbwise
