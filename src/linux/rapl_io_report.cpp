#include "linux/rapl_io_report.h"

#include <array>

namespace ebbwise::linux_host {

namespace {

using sys::Value;

constexpr std::array<const char*, 4> kNames = {"CPU Energy", "GPU", "SoC", "DRAM"};

const Value* channelList(const Value& v) {
  return sys::asList(sys::member(v, "IOReportChannels"));
}

std::int64_t signedTotal(std::optional<std::uint64_t> microjoules) {
  // Totals stay far below 2^63 µJ (three hundred thousand years at a kilowatt).
  return static_cast<std::int64_t>(microjoules.value_or(0));
}

}  // namespace

std::vector<std::pair<RaplIOReport::Channel, std::int64_t>> RaplIOReport::channelValues(
    const RaplCounters::Totals& t) {
  std::vector<std::pair<Channel, std::int64_t>> out;
  if (t.core) {
    out.emplace_back(cpu, signedTotal(t.core));
  } else if (t.package) {
    out.emplace_back(cpu, signedTotal(t.package));
  }
  if (t.uncore) out.emplace_back(gpu, signedTotal(t.uncore));
  // What the package spent beyond its cores and graphics: caches, memory
  // controller, fabric. Its step may dip below zero when the counters were
  // read a moment apart; readers ignore such a step.
  if (t.package && t.core) {
    out.emplace_back(soc, signedTotal(t.package) - signedTotal(t.core) - signedTotal(t.uncore));
  }
  if (t.dram) out.emplace_back(dram, signedTotal(t.dram));
  return out;
}

Value RaplIOReport::describe(Channel channel) {
  return Value{{"LegendChannel", Value::array({channel, kGroup, kNames[channel]})},
               {"ChannelID", channel},
               {"ChannelName", kNames[channel]},
               {"UnitLabel", "uJ"}};
}

std::optional<Value> RaplIOReport::copyChannelsInGroup(std::string_view group,
                                                       std::optional<std::string_view> subgroup) {
  if (group != kGroup || (subgroup && !subgroup->empty())) return std::nullopt;
  const auto channels = channelValues(counters_.read());
  if (channels.empty()) return std::nullopt;
  Value list = Value::array();
  for (const auto& [channel, value] : channels) list.push_back(describe(channel));
  return Value{{"IOReportChannels", std::move(list)}};
}

std::optional<sys::IOReportSubscription> RaplIOReport::createSubscription(const Value& channels,
                                                                          Value& subscribed) {
  const Value* list = channelList(channels);
  if (!list) return std::nullopt;
  Value kept = Value::array();
  for (const Value& entry : *list) {
    const auto id = sys::asUnsigned(sys::member(entry, "ChannelID"));
    if (id && *id < channelCount) kept.push_back(describe(static_cast<Channel>(*id)));
  }
  if (kept.empty()) return std::nullopt;
  subscribed = Value{{"IOReportChannels", std::move(kept)}};
  std::lock_guard hold(mutex_);
  const auto id = next_++;
  subscriptions_.insert(id);
  return id;
}

std::optional<Value> RaplIOReport::createSamples(sys::IOReportSubscription subscription,
                                                 const Value& subscribed) {
  {
    std::lock_guard hold(mutex_);
    if (!subscriptions_.count(subscription)) return std::nullopt;
  }
  const Value* list = channelList(subscribed);
  if (!list) return std::nullopt;
  const auto values = channelValues(counters_.read());
  Value out = Value::array();
  for (const Value& entry : *list) {
    const auto id = sys::asUnsigned(sys::member(entry, "ChannelID"));
    if (!id) continue;
    for (const auto& [channel, value] : values) {
      if (channel != *id) continue;
      Value sample = describe(channel);
      sample["Value"] = value;
      out.push_back(std::move(sample));
    }
  }
  if (out.empty()) return std::nullopt;
  return Value{{"IOReportChannels", std::move(out)}};
}

std::optional<Value> RaplIOReport::createSamplesDelta(const Value& earlier, const Value& later) {
  const Value* a = channelList(earlier);
  const Value* b = channelList(later);
  if (!a || !b || a->size() != b->size()) return std::nullopt;
  Value out = Value::array();
  for (std::size_t i = 0; i < b->size(); ++i) {
    const auto idA = sys::asUnsigned(sys::member((*a)[i], "ChannelID"));
    const auto idB = sys::asUnsigned(sys::member((*b)[i], "ChannelID"));
    const auto va = sys::asInteger(sys::member((*a)[i], "Value"));
    const auto vb = sys::asInteger(sys::member((*b)[i], "Value"));
    std::int64_t difference = 0;
    if (!idA || idA != idB || !va || !vb || __builtin_sub_overflow(*vb, *va, &difference)) {
      return std::nullopt;
    }
    Value d = (*b)[i];
    d["Value"] = difference;
    out.push_back(std::move(d));
  }
  return Value{{"IOReportChannels", std::move(out)}};
}

std::optional<std::string> RaplIOReport::channelName(const Value& channel) {
  return sys::asString(sys::member(channel, "ChannelName"));
}

std::optional<std::string> RaplIOReport::unitLabel(const Value& channel) {
  return sys::asString(sys::member(channel, "UnitLabel"));
}

std::int64_t RaplIOReport::simpleIntegerValue(const Value& channel) {
  return sys::asInteger(sys::member(channel, "Value")).value_or(0);
}

}  // namespace ebbwise::linux_host
