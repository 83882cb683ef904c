#pragma once

#include <set>

#include "sim/machine_model.h"
#include "sim/transient_faults.h"
#include "sys/io_report.h"

namespace ebbwise::sim {

// The chip's "Energy Model" report group. A channel entry is a dictionary
// {"LegendChannel": [id, group, name], "ChannelID", "ChannelName",
// "UnitLabel"} and, in a sample, "Value": the cumulative integer in the
// channel's unit. A delta subtracts channel by channel. As on a real chip,
// unit labels may be padded and spell micro two ways, and now and then a
// sample fails (both as the scenario's platform says).
class SimIOReport final : public sys::IOReport {
 public:
  explicit SimIOReport(MachineModel& model)
      : model_(model), faults_(model.scenario().machine.seed, kFaultStream) {}

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

  static constexpr const char* kGroup = "Energy Model";

 private:
  // The channel index an entry stands for, when it is one of ours.
  std::optional<std::size_t> channelOf(const sys::Value& entry) const;
  sys::Value describe(std::size_t channel) const;
  std::string unitLabelOf(std::size_t channel) const;
  bool sampleFails();

  MachineModel& model_;
  std::set<sys::IOReportSubscription> subscriptions_;
  sys::IOReportSubscription next_ = 1;
  TransientFaults faults_;
  static constexpr std::uint64_t kFaultStream = 301;
};

}  // namespace ebbwise::sim
