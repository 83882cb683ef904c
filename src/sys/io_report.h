#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sys/value.h"

namespace ebbwise::sys {

using IOReportSubscription = std::uint64_t;

// The IOReport library. Channel descriptions and samples are property-list
// dictionaries whose "IOReportChannels" entry is the list of channel entries;
// what an entry holds inside is the library's own business, read only through
// the channel accessors below.
class IOReport {
 public:
  virtual ~IOReport() = default;

  // IOReportCopyChannelsInGroup: the channels of a group (and subgroup, when
  // given); nothing when the group is unknown.
  virtual std::optional<Value> copyChannelsInGroup(std::string_view group,
                                                   std::optional<std::string_view> subgroup) = 0;

  // IOReportCreateSubscription: subscribes to `channels` and fills
  // `subscribedChannels` with what will be sampled; nothing when refused.
  virtual std::optional<IOReportSubscription> createSubscription(const Value& channels,
                                                                 Value& subscribedChannels) = 0;

  // IOReportCreateSamples: the current counters of the subscribed channels;
  // nothing when sampling fails.
  virtual std::optional<Value> createSamples(IOReportSubscription subscription,
                                             const Value& subscribedChannels) = 0;

  // IOReportCreateSamplesDelta: the change from `earlier` to `later`; nothing
  // when the two cannot be differenced.
  virtual std::optional<Value> createSamplesDelta(const Value& earlier, const Value& later) = 0;

  // IOReportChannelGetChannelName; nothing when the entry has no name.
  virtual std::optional<std::string> channelName(const Value& channel) = 0;

  // IOReportChannelGetUnitLabel ("mJ", "uJ", "nJ"…); nothing when absent.
  virtual std::optional<std::string> unitLabel(const Value& channel) = 0;

  // IOReportSimpleGetIntegerValue: the channel's value in its unit; 0 when the
  // entry holds none.
  virtual std::int64_t simpleIntegerValue(const Value& channel) = 0;
};

}  // namespace ebbwise::sys
