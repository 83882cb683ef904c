#include "support/fake_io_report.h"

namespace ebbwise::test {

std::size_t FakeIOReport::add(std::optional<std::string> name, std::optional<std::string> unit,
                              std::int64_t value) {
  channels.push_back({std::move(name), std::move(unit), value});
  return channels.size() - 1;
}

sys::Value FakeIOReport::snapshot() const {
  sys::Value entries = sys::Value::array();
  for (const Channel& channel : channels) {
    sys::Value entry = {{"Value", channel.value}};
    if (channel.name) entry["ChannelName"] = *channel.name;
    if (channel.unit) entry["UnitLabel"] = *channel.unit;
    entries.push_back(std::move(entry));
  }
  return {{"IOReportChannels", std::move(entries)}};
}

std::optional<sys::Value> FakeIOReport::copyChannelsInGroup(
    std::string_view wanted, std::optional<std::string_view> subgroup) {
  if (wanted != group || subgroup) return std::nullopt;
  return snapshot();
}

std::optional<sys::IOReportSubscription> FakeIOReport::createSubscription(
    const sys::Value& requested, sys::Value& subscribedChannels) {
  if (refuseSubscription) return std::nullopt;
  if (!emptySubscribedChannels) subscribedChannels = requested;
  subscription_ = 7;
  return subscription_;
}

std::optional<sys::Value> FakeIOReport::createSamples(sys::IOReportSubscription subscription,
                                                      const sys::Value& subscribedChannels) {
  if (subscription != subscription_ || !subscribedChannels.is_object()) return std::nullopt;
  if (failSamples > 0) {
    --failSamples;
    return std::nullopt;
  }
  ++samplesTaken;
  return snapshot();
}

std::optional<sys::Value> FakeIOReport::createSamplesDelta(const sys::Value& earlier,
                                                           const sys::Value& later) {
  if (failDeltas > 0) {
    --failDeltas;
    return std::nullopt;
  }
  const sys::Value& before = earlier.at("IOReportChannels");
  const sys::Value& after = later.at("IOReportChannels");
  if (before.size() != after.size()) return std::nullopt;
  sys::Value entries = after;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i]["Value"] =
        after[i]["Value"].get<std::int64_t>() - before[i]["Value"].get<std::int64_t>();
  }
  if (deltaChannelsOverride) entries = *deltaChannelsOverride;
  return sys::Value{{"IOReportChannels", std::move(entries)}};
}

std::optional<std::string> FakeIOReport::channelName(const sys::Value& channel) {
  return sys::asString(sys::member(channel, "ChannelName"));
}

std::optional<std::string> FakeIOReport::unitLabel(const sys::Value& channel) {
  return sys::asString(sys::member(channel, "UnitLabel"));
}

std::int64_t FakeIOReport::simpleIntegerValue(const sys::Value& channel) {
  return sys::asInteger(sys::member(channel, "Value")).value_or(0);
}

}  // namespace ebbwise::test
