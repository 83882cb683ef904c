#include "sim/scenario_object.h"

#include <cctype>

#include "sys/duration_text.h"

namespace ebbwise::sim::scenario_object {

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw Problem{path.empty() ? what : path + ": " + what};
}

namespace {

const char* typeName(const Value& v) {
  switch (v.type()) {
    case Value::value_t::null:
      return "null";
    case Value::value_t::boolean:
      return "a boolean";
    case Value::value_t::string:
      return "a string";
    case Value::value_t::array:
      return "a list";
    case Value::value_t::object:
      return "an object";
    case Value::value_t::binary:
      return "data";
    default:
      return "a number";
  }
}

}  // namespace

[[noreturn]] void wrongType(const std::string& path, const char* expected, const Value& v) {
  fail(path, std::string("expected ") + expected + ", found " + typeName(v));
}

std::string join(const std::string& path, std::string_view key) {
  return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string index(const std::string& path, std::size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

double timeValue(const Object& o, std::string_view key, double min, double max) {
  const Value& v = o.required(key);
  std::optional<double> t;
  if (v.is_number()) {
    t = v.get<double>();
  } else if (v.is_string()) {
    t = sys::DurationText::parse(v.get<std::string>());
    if (!t) fail(o.at(key), "not a time: \"" + v.get<std::string>() + "\" (use seconds or 1h30m)");
  } else {
    wrongType(o.at(key), "a time (seconds or \"1h30m\")", v);
  }
  if (!std::isfinite(*t) || *t < min || *t > max) {
    std::ostringstream s;
    s << "must be between " << min << " and " << max << " seconds";
    fail(o.at(key), s.str());
  }
  return *t;
}

AudioUse audioUse(const Object& o, AudioUse current) {
  return choice(o, "audio", current,
                {{"none", AudioUse::none}, {"hold", AudioUse::hold}, {"play", AudioUse::play}});
}

AudioOutput audioOutput(const Object& o, std::string_view key, AudioOutput current) {
  return choice(o, key, current,
                {{"speakers", AudioOutput::speakers},
                 {"headphones", AudioOutput::headphones},
                 {"bluetooth", AudioOutput::bluetooth}});
}

void readLoad(const Object& o, Load& load) {
  o.number("cpu", load.cpu, 0, kMaxWatts);
  o.number("gpu", load.gpu, 0, kMaxWatts);
  o.number("ane", load.neuralEngine, 0, kMaxWatts);
  o.number("decode", load.videoDecode, 0, kMaxWatts);
  o.number("encode", load.videoEncode, 0, kMaxWatts);
  o.number("camera", load.camera, 0, kMaxWatts);
  o.number("fluctuation", load.fluctuation, 0, 1);
  load.audio = audioUse(o, load.audio);
  load.pattern = choice(o, "pattern", load.pattern,
                        {{"steady", LoadPattern::steady}, {"bursty", LoadPattern::bursty}});
}

LoadChange readLoadChange(const Object& o) {
  LoadChange c;
  c.cpu = o.number("cpu", 0, kMaxWatts);
  c.gpu = o.number("gpu", 0, kMaxWatts);
  c.neuralEngine = o.number("ane", 0, kMaxWatts);
  c.videoDecode = o.number("decode", 0, kMaxWatts);
  c.videoEncode = o.number("encode", 0, kMaxWatts);
  c.camera = o.number("camera", 0, kMaxWatts);
  c.fluctuation = o.number("fluctuation", 0, 1);
  if (o.has("audio")) c.audio = audioUse(o, AudioUse::none);
  return c;
}

std::vector<std::string> stringList(const Object& o, std::string_view key) {
  std::vector<std::string> out;
  auto* v = o.find(key);
  if (!v) return out;
  if (!v->is_array()) wrongType(o.at(key), "a list of strings", *v);
  for (std::size_t i = 0; i < v->size(); ++i) {
    if (!(*v)[i].is_string()) wrongType(index(o.at(key), i), "a string", (*v)[i]);
    out.push_back((*v)[i].get<std::string>());
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> stringMap(const Object& o, std::string_view key) {
  std::vector<std::pair<std::string, std::string>> out;
  auto* v = o.find(key);
  if (!v) return out;
  if (!v->is_object()) wrongType(o.at(key), "an object of strings", *v);
  for (const auto& [k, value] : v->items()) {
    if (!value.is_string()) wrongType(join(o.at(key), k), "a string", value);
    out.emplace_back(k, value.get<std::string>());
  }
  return out;
}

namespace {

// A colour written "#RRGGBB".
std::uint32_t hexColor(const std::string& text, const std::string& path) {
  const bool valid = text.size() == 7 && text[0] == '#' &&
                     std::all_of(text.begin() + 1, text.end(),
                                 [](unsigned char c) { return std::isxdigit(c) != 0; });
  if (!valid) fail(path, "expected a colour \"#RRGGBB\"");
  return static_cast<std::uint32_t>(std::stoul(text.substr(1), nullptr, 16));
}

}  // namespace

std::vector<ScenarioProcess> readProcess(const Value& v, const std::string& path) {
  Object o(v, path, {"id",          "pid",        "path",
                     "args",        "env",        "cwd",
                     "tty",         "root",       "parent",
                     "responsible", "start",      "end",
                     "pattern",     "gpuClients", "efficiency",
                     "compositor",  "row",        "count",
                     "bundle",      "icon",       SCENARIO_LOAD_KEYS});
  ScenarioProcess p;
  p.path = o.string("path").value_or("");
  if (p.path.empty() || p.path.front() != '/') fail(o.at("path"), "expected an absolute path");
  p.id = o.string("id").value_or(p.path.substr(p.path.rfind('/') + 1));
  if (auto pid = o.integer("pid", 0, 99998)) p.pid = static_cast<sys::Pid>(*pid);
  p.args = stringList(o, "args");
  p.env = stringMap(o, "env");
  o.string("cwd", p.cwd);
  if (p.cwd.empty() || p.cwd.front() != '/') fail(o.at("cwd"), "expected an absolute path");
  o.boolean("tty", p.tty);
  o.boolean("root", p.root);
  o.string("parent", p.parent);
  o.string("responsible", p.responsible);
  if (o.has("start")) p.start = timeValue(o, "start", -kMaxTime, kMaxTime);
  if (o.has("end")) p.end = timeValue(o, "end", 0, kMaxTime);
  if (p.end && *p.end <= p.start.value_or(-kMaxTime)) fail(o.at("end"), "ends before it starts");
  readLoad(o, p.load);
  if (auto n = o.integer("gpuClients", 0, 16)) p.gpuClients = static_cast<int>(*n);
  p.efficiencyShare = o.number("efficiency", 0, 1);
  o.boolean("compositor", p.compositor);
  p.row = o.string("row");
  p.bundleId = o.string("bundle");
  if (auto icon = o.string("icon")) p.iconColor = hexColor(*icon, o.at("icon"));
  const auto count = o.integer("count", 1, 64).value_or(1);
  if (count > 1 && p.pid) fail(o.at("count"), "copies cannot share one pid");
  std::vector<ScenarioProcess> copies(static_cast<std::size_t>(count), p);
  for (std::size_t k = 1; k < copies.size(); ++k) copies[k].id += "#" + std::to_string(k + 1);
  return copies;
}

Charger readCharger(const Object& o) {
  Charger c;
  o.string("name", c.name);
  o.required("watts");
  o.number("watts", c.watts, 1, 300);
  if (auto v = o.integer("vendor", 0, 0xFFFF)) c.vendor = *v;
  if (auto p = o.integer("port", 1, 8)) c.port = static_cast<int>(*p);
  if (o.has("hold")) c.holdSeconds = timeValue(o, "hold", 0, kMaxTime);
  return c;
}

USBDevice readDevice(const Object& o) {
  USBDevice d;
  d.port = static_cast<int>(o.integer("port", 1, 8).value_or(d.port));
  o.string("name", d.name);
  o.number("watts", d.watts, 0, 100);
  if (auto v = o.integer("vendor", 0, 0xFFFF)) d.vendor = *v;
  d.reportsWatts = choice(o, "key", false, {{"FilteredPower", false}, {"Watts", true}});
  o.string("hub", d.hub);
  return d;
}

LowPowerSetting lowPowerSetting(const Object& o, std::string_view key, LowPowerSetting current) {
  return choice(o, key, current,
                {{"never", LowPowerSetting::never},
                 {"always", LowPowerSetting::always},
                 {"battery", LowPowerSetting::onBattery},
                 {"adapter", LowPowerSetting::onAdapter}});
}

}  // namespace ebbwise::sim::scenario_object
