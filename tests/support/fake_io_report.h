#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sys/io_report.h"

namespace ebbwise::test {

// An IOReport library with one group of simple integer channels. Entries are
// dictionaries {"ChannelName", "UnitLabel", "Value"} read back only through
// the channel accessors; a sample holds the cumulative counters, and a delta
// subtracts them entry by entry.
class FakeIOReport final : public sys::IOReport {
 public:
  std::string group = "Energy Model";
  sys::Value channels = sys::Value::array();

  // Adds a channel, without a name or a unit label when they are absent, and
  // returns its index.
  std::size_t add(std::optional<std::string> name, std::optional<std::string> unit,
                  std::int64_t value = 0);
  // Moves a channel's counter on by `amount` (negative: it went backwards).
  void advance(std::size_t channel, std::int64_t amount);

  // Hooks for failures.
  bool refuseSubscription = false;
  int failSamples = 0;  // the next this many samples fail
  int failDeltas = 0;   // the next this many deltas fail

  std::optional<sys::Value> copyChannelsInGroup(std::string_view group,
                                                std::optional<std::string_view> subgroup) override;
  std::optional<sys::IOReportSubscription> createSubscription(
      const sys::Value& channels, sys::Value& subscribedChannels) override;
  std::optional<sys::Value> createSamples(sys::IOReportSubscription subscription,
                                          const sys::Value& subscribedChannels) override;
  std::optional<sys::Value> createSamplesDelta(const sys::Value& earlier,
                                               const sys::Value& later) override;
  std::optional<std::string> channelName(const sys::Value& channel) override;
  std::optional<std::string> unitLabel(const sys::Value& channel) override;
  std::int64_t simpleIntegerValue(const sys::Value& channel) override;
};

}  // namespace ebbwise::test
