// The chip's "Energy Model" channels. The input is a JSON document
// {"channels": [entry…], "reads": [[entry…] or null, …]}: the group's
// channels, then what each sample delta holds (null: the sample fails).
// Entries are {"ChannelName", "UnitLabel", "Value"} as the library reads them.

#include <cmath>
#include <cstdint>

#include "fuzz_input.h"
#include "sensors/power/chip_energy.h"
#include "sensors/power/chip_power_reader.h"
#include "sys/io_report.h"
#include "sys/value.h"

using namespace ebbwise;

namespace {

class ScriptedIOReport final : public sys::IOReport {
 public:
  explicit ScriptedIOReport(const sys::Value& document) : document_(document) {}

  std::optional<sys::Value> copyChannelsInGroup(std::string_view,
                                                std::optional<std::string_view>) override {
    const sys::Value* channels = sys::member(document_, "channels");
    if (!channels) return std::nullopt;
    return sys::Value{{"IOReportChannels", *channels}};
  }
  std::optional<sys::IOReportSubscription> createSubscription(const sys::Value& channels,
                                                              sys::Value& subscribed) override {
    subscribed = channels;
    return 1;
  }
  std::optional<sys::Value> createSamples(sys::IOReportSubscription, const sys::Value&) override {
    const sys::Value* reads = sys::asList(sys::member(document_, "reads"));
    if (!reads || sample_ >= reads->size()) return std::nullopt;
    const sys::Value& read = (*reads)[sample_];
    if (read.is_null()) {
      ++sample_;
      return std::nullopt;
    }
    return sys::Value(sample_++);
  }
  std::optional<sys::Value> createSamplesDelta(const sys::Value&,
                                               const sys::Value& later) override {
    const sys::Value* reads = sys::asList(sys::member(document_, "reads"));
    const auto index = later.get<std::size_t>();
    if (!reads || index >= reads->size()) return std::nullopt;
    return sys::Value{{"IOReportChannels", (*reads)[index]}};
  }
  std::optional<std::string> channelName(const sys::Value& channel) override {
    return sys::asString(sys::member(channel, "ChannelName"));
  }
  std::optional<std::string> unitLabel(const sys::Value& channel) override {
    return sys::asString(sys::member(channel, "UnitLabel"));
  }
  std::int64_t simpleIntegerValue(const sys::Value& channel) override {
    return sys::asInteger(sys::member(channel, "Value")).value_or(0);
  }

 private:
  const sys::Value& document_;
  std::size_t sample_ = 0;
};

bool sound(const ChipEnergy& e) {
  for (double part : {e.processor, e.graphics, e.video, e.memoryAndChip}) {
    if (!std::isfinite(part) || part < 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  const sys::Value document = sys::Value::parse(input.remainingText(), nullptr, false);
  if (!document.is_object()) return 0;
  ScriptedIOReport ioReport(document);
  if (auto reader = ChipPowerReader::create(ioReport)) {
    for (int i = 0; i < 8; ++i) {
      if (auto energy = reader->read()) FUZZ_CHECK(sound(*energy));
    }
  }
  return 0;
}
