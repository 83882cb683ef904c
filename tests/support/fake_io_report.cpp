#include "support/fake_io_report.h"

namespace ebbwise::test {

namespace {
constexpr sys::IOReportSubscription kSubscription = 7;
}

std::size_t FakeIOReport::add(std::optional<std::string> name, std::optional<std::string> unit,
                              std::int64_t value) {
  sys::Value entry = {{"Value", value}};
  if (name) entry["ChannelName"] = *name;
  if (unit) entry["UnitLabel"] = *unit;
  channels.push_back(std::move(entry));
  return channels.size() - 1;
}

void FakeIOReport::advance(std::size_t channel, std::int64_t amount) {
  channels[channel]["Value"] = channels[channel]["Value"].get<std::int64_t>() + amount;
}

std::optional<sys::Value> FakeIOReport::copyChannelsInGroup(
    std::string_view wanted, std::optional<std::string_view> subgroup) {
  if (wanted != group || subgroup) return std::nullopt;
  return sys::Value{{"IOReportChannels", channels}};
}

std::optional<sys::IOReportSubscription> FakeIOReport::createSubscription(
    const sys::Value& requested, sys::Value& subscribedChannels) {
  if (refuseSubscription) return std::nullopt;
  subscribedChannels = requested;
  return kSubscription;
}

std::optional<sys::Value> FakeIOReport::createSamples(sys::IOReportSubscription subscription,
                                                      const sys::Value& subscribedChannels) {
  if (subscription != kSubscription || !subscribedChannels.is_object() || failSamples-- > 0) {
    return std::nullopt;
  }
  return sys::Value{{"IOReportChannels", channels}};
}

std::optional<sys::Value> FakeIOReport::createSamplesDelta(const sys::Value& earlier,
                                                           const sys::Value& later) {
  const sys::Value& before = earlier.at("IOReportChannels");
  sys::Value entries = later.at("IOReportChannels");
  if (failDeltas-- > 0 || before.size() != entries.size()) return std::nullopt;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i]["Value"] =
        entries[i]["Value"].get<std::int64_t>() - before[i]["Value"].get<std::int64_t>();
  }
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
