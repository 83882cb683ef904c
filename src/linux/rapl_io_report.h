#pragma once

#include <mutex>
#include <set>

#include "linux/rapl_counters.h"
#include "sys/io_report.h"

namespace ebbwise::linux_host {

// The chip's "Energy Model" report group, from the RAPL counters, in
// microjoules ("uJ"). The domains become the channels a chip's energy model
// has: the cores as "CPU Energy" (the whole package when the cores are not
// reported apart), the integrated graphics as "GPU", the rest of the package
// as "SoC" and memory as "DRAM". The platform domain (psys) is not a channel:
// it measures the whole machine, not the chip, and serves the SMC's system
// power instead.
//
// A channel entry is {"ChannelID", "ChannelName", "UnitLabel", "LegendChannel"}
// and, in a sample, "Value", the running total; a delta subtracts channel by
// channel. Without a readable counter the group does not exist.
class RaplIOReport final : public sys::IOReport {
 public:
  static constexpr const char* kGroup = "Energy Model";

  explicit RaplIOReport(RaplCounters& counters) : counters_(counters) {}

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

 private:
  enum Channel : std::uint64_t { cpu, gpu, soc, dram, channelCount };

  // The channels this machine has, with their running totals now.
  static std::vector<std::pair<Channel, std::int64_t>> channelValues(
      const RaplCounters::Totals& totals);
  static sys::Value describe(Channel channel);

  RaplCounters& counters_;
  std::mutex mutex_;
  std::set<sys::IOReportSubscription> subscriptions_;
  sys::IOReportSubscription next_ = 1;
};

}  // namespace ebbwise::linux_host
