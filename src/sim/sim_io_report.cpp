#include "sim/sim_io_report.h"

namespace ebbwise::sim {

using sys::Value;

namespace {

const Value* channelList(const Value& v) {
  return sys::asList(sys::member(v, "IOReportChannels"));
}

}  // namespace

std::string SimIOReport::unitLabelOf(std::size_t channel) const {
  const std::string& unit = model_.channels()[channel].unit;
  if (!model_.scenario().machine.platform.variedUnitLabels) return unit;
  // Neighbouring channels spell micro with the micro sign and with the Greek
  // letter mu; some millijoule labels carry a space before or after.
  if (unit == "uJ") return channel % 2 == 0 ? "\u00B5J" : "\u03BCJ";
  if (unit == "mJ" && channel % 4 == 1) return "mJ ";
  if (unit == "mJ" && channel % 4 == 3) return " mJ";
  return unit;
}

bool SimIOReport::sampleFails() {
  return faults_.fails(model_.time(), model_.scenario().machine.platform.failedSamples);
}

Value SimIOReport::describe(std::size_t channel) const {
  const EnergyChannel& c = model_.channels()[channel];
  return Value{{"LegendChannel", Value::array({channel, kGroup, c.name})},
               {"ChannelID", channel},
               {"ChannelName", c.name},
               {"UnitLabel", unitLabelOf(channel)}};
}

std::optional<std::size_t> SimIOReport::channelOf(const Value& entry) const {
  auto id = sys::asUnsigned(sys::member(entry, "ChannelID"));
  if (!id || *id >= model_.channels().size()) return std::nullopt;
  return static_cast<std::size_t>(*id);
}

std::optional<Value> SimIOReport::copyChannelsInGroup(std::string_view group,
                                                      std::optional<std::string_view> subgroup) {
  auto lock = model_.sync();
  if (group != kGroup || (subgroup && !subgroup->empty())) return std::nullopt;
  Value list = Value::array();
  for (std::size_t c = 0; c < model_.channels().size(); ++c) list.push_back(describe(c));
  return Value{{"IOReportChannels", std::move(list)}};
}

std::optional<sys::IOReportSubscription> SimIOReport::createSubscription(const Value& channels,
                                                                         Value& subscribed) {
  auto lock = model_.sync();
  const Value* list = channelList(channels);
  if (!list) return std::nullopt;
  Value kept = Value::array();
  for (const Value& entry : *list) {
    if (auto c = channelOf(entry)) kept.push_back(describe(*c));
  }
  if (kept.empty()) return std::nullopt;
  subscribed = Value{{"IOReportChannels", std::move(kept)}};
  auto id = next_++;
  subscriptions_.insert(id);
  return id;
}

std::optional<Value> SimIOReport::createSamples(sys::IOReportSubscription subscription,
                                                const Value& subscribed) {
  auto lock = model_.sync();
  if (!subscriptions_.count(subscription)) return std::nullopt;
  const Value* list = channelList(subscribed);
  if (!list || sampleFails()) return std::nullopt;
  Value out = Value::array();
  for (const Value& entry : *list) {
    auto c = channelOf(entry);
    if (!c) continue;
    Value sample = describe(*c);
    sample["Value"] = model_.channelValue(*c);
    out.push_back(std::move(sample));
  }
  return Value{{"IOReportChannels", std::move(out)}};
}

std::optional<Value> SimIOReport::createSamplesDelta(const Value& earlier, const Value& later) {
  const Value* a = channelList(earlier);
  const Value* b = channelList(later);
  if (!a || !b || a->size() != b->size()) return std::nullopt;
  Value out = Value::array();
  for (std::size_t i = 0; i < b->size(); ++i) {
    const Value& x = (*a)[i];
    const Value& y = (*b)[i];
    auto idX = sys::asUnsigned(sys::member(x, "ChannelID"));
    auto idY = sys::asUnsigned(sys::member(y, "ChannelID"));
    auto vx = sys::asInteger(sys::member(x, "Value"));
    auto vy = sys::asInteger(sys::member(y, "Value"));
    std::int64_t diff = 0;
    if (!idX || idX != idY || !vx || !vy || __builtin_sub_overflow(*vy, *vx, &diff)) {
      return std::nullopt;
    }
    Value d = y;
    d["Value"] = diff;
    out.push_back(std::move(d));
  }
  return Value{{"IOReportChannels", std::move(out)}};
}

std::optional<std::string> SimIOReport::channelName(const Value& channel) {
  return sys::asString(sys::member(channel, "ChannelName"));
}

std::optional<std::string> SimIOReport::unitLabel(const Value& channel) {
  return sys::asString(sys::member(channel, "UnitLabel"));
}

std::int64_t SimIOReport::simpleIntegerValue(const Value& channel) {
  return sys::asInteger(sys::member(channel, "Value")).value_or(0);
}

}  // namespace ebbwise::sim
