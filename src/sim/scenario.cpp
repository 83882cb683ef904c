#include "sim/scenario.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/embedded_scenarios.h"
#include "sys/duration_text.h"
#include "sys/value.h"

namespace ebbwise::sim {

void LoadChange::applyTo(Load& load) const {
  if (cpu) load.cpu = *cpu;
  if (gpu) load.gpu = *gpu;
  if (neuralEngine) load.neuralEngine = *neuralEngine;
  if (videoDecode) load.videoDecode = *videoDecode;
  if (videoEncode) load.videoEncode = *videoEncode;
  if (camera) load.camera = *camera;
  if (fluctuation) load.fluctuation = *fluctuation;
  if (audio) load.audio = *audio;
}

namespace {

using sys::Value;

// Thrown inside this file only; `parse` turns it into a message.
struct Problem {
  std::string message;
};

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw Problem{path.empty() ? what : path + ": " + what};
}

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

[[noreturn]] void wrongType(const std::string& path, const char* expected, const Value& v) {
  fail(path, std::string("expected ") + expected + ", found " + typeName(v));
}

std::string join(const std::string& path, std::string_view key) {
  return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string index(const std::string& path, std::size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

// An object whose keys are checked against the ones the reader knows, so a
// misspelt key is reported instead of silently ignored.
class Object {
 public:
  Object(const Value& v, std::string path, const std::vector<std::string_view>& known)
      : v_(v), path_(std::move(path)) {
    if (!v.is_object()) wrongType(path_, "an object", v);
    for (const auto& [key, _] : v.items()) {
      if (std::find(known.begin(), known.end(), key) == known.end()) {
        fail(join(path_, key), "unknown key");
      }
    }
  }

  const std::string& path() const { return path_; }
  std::string at(std::string_view key) const { return join(path_, key); }
  const Value* find(std::string_view key) const {
    auto it = v_.find(key);
    return it == v_.end() ? nullptr : &*it;
  }
  bool has(std::string_view key) const { return find(key) != nullptr; }

  const Value& required(std::string_view key) const {
    if (auto* v = find(key)) return *v;
    fail(path_, "missing \"" + std::string(key) + "\"");
  }

  std::optional<double> number(std::string_view key, double min, double max) const {
    auto* v = find(key);
    if (!v) return std::nullopt;
    if (!v->is_number()) wrongType(at(key), "a number", *v);
    double d = v->get<double>();
    if (!std::isfinite(d) || d < min || d > max) {
      std::ostringstream s;
      s << "must be between " << min << " and " << max;
      fail(at(key), s.str());
    }
    return d;
  }
  void number(std::string_view key, double& out, double min, double max) const {
    if (auto d = number(key, min, max)) out = *d;
  }
  std::optional<std::int64_t> integer(std::string_view key, std::int64_t min,
                                      std::int64_t max) const {
    auto d = number(key, static_cast<double>(min), static_cast<double>(max));
    if (!d) return std::nullopt;
    if (*d != std::floor(*d)) fail(at(key), "expected a whole number");
    return static_cast<std::int64_t>(*d);
  }
  std::optional<std::string> string(std::string_view key) const {
    auto* v = find(key);
    if (!v) return std::nullopt;
    if (!v->is_string()) wrongType(at(key), "a string", *v);
    return v->get<std::string>();
  }
  void string(std::string_view key, std::string& out) const {
    if (auto s = string(key)) out = *s;
  }
  std::optional<bool> boolean(std::string_view key) const {
    auto* v = find(key);
    if (!v) return std::nullopt;
    if (!v->is_boolean()) wrongType(at(key), "true or false", *v);
    return v->get<bool>();
  }
  void boolean(std::string_view key, bool& out) const {
    if (auto b = boolean(key)) out = *b;
  }

 private:
  const Value& v_;
  std::string path_;
};

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

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// "2024-11-12T09:00:00Z", optionally with fractional seconds or a "+01:00"
// offset; a date without a zone is UTC.
std::optional<double> parseISODate(std::string_view s) {
  auto num = [&](std::size_t pos, std::size_t len) -> std::optional<int> {
    if (pos + len > s.size()) return std::nullopt;
    int v = 0;
    for (std::size_t i = pos; i < pos + len; ++i) {
      if (s[i] < '0' || s[i] > '9') return std::nullopt;
      v = v * 10 + (s[i] - '0');
    }
    return v;
  };
  auto y = num(0, 4), mo = num(5, 2), d = num(8, 2), h = num(11, 2), mi = num(14, 2),
       se = num(17, 2);
  if (!y || !mo || !d || !h || !mi || !se || s[4] != '-' || s[7] != '-' ||
      (s[10] != 'T' && s[10] != ' ') || s[13] != ':' || s[16] != ':') {
    return std::nullopt;
  }
  if (*mo < 1 || *mo > 12 || *d < 1 || *d > 31 || *h > 23 || *mi > 59 || *se > 60) {
    return std::nullopt;
  }
  double seconds =
      static_cast<double>(daysFromCivil(*y, *mo, *d)) * 86400.0 + *h * 3600 + *mi * 60 + *se;
  std::size_t pos = 19;
  if (pos < s.size() && s[pos] == '.') {
    double scale = 0.1;
    for (++pos; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos, scale /= 10) {
      seconds += (s[pos] - '0') * scale;
    }
  }
  if (pos == s.size()) return seconds;
  if (s[pos] == 'Z' && pos + 1 == s.size()) return seconds;
  if ((s[pos] == '+' || s[pos] == '-') && pos + 6 == s.size() && s[pos + 3] == ':') {
    auto oh = num(pos + 1, 2), om = num(pos + 4, 2);
    if (!oh || !om) return std::nullopt;
    double offset = *oh * 3600 + *om * 60;
    return s[pos] == '+' ? seconds - offset : seconds + offset;
  }
  return std::nullopt;
}

template <typename E>
E choice(const Object& o, std::string_view key, E current,
         std::initializer_list<std::pair<std::string_view, E>> options) {
  auto s = o.string(key);
  if (!s) return current;
  for (const auto& [name, value] : options) {
    if (*s == name) return value;
  }
  std::string names;
  for (const auto& [name, _] : options)
    names += (names.empty() ? "\"" : ", \"") + std::string(name) + "\"";
  fail(o.at(key), "unknown value \"" + *s + "\" (expected one of " + names + ")");
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

constexpr double kMaxWatts = 200;
constexpr double kMaxTime = 400 * 24 * 3600.0;

#define LOAD_KEYS "cpu", "gpu", "ane", "decode", "encode", "camera", "fluctuation", "audio"

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

// A process, or `count` copies of it: "id", "id#2", "id#3"…
std::vector<ScenarioProcess> readProcess(const Value& v, const std::string& path) {
  Object o(
      v, path,
      {"id", "pid", "path", "args", "env", "cwd", "tty", "root", "parent", "responsible", "start",
       "end", "pattern", "gpuClients", "efficiency", "compositor", "row", "count", "bundle",
       LOAD_KEYS});
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

BluetoothDevice readBluetooth(const Object& o) {
  BluetoothDevice d;
  o.required("name");
  o.string("name", d.name);
  o.string("kind", d.kind);
  auto level = [&](std::string_view key) -> std::optional<int> {
    if (auto v = o.integer(key, 0, 100)) return static_cast<int>(*v);
    return std::nullopt;
  };
  d.main = level("main");
  d.left = level("left");
  d.right = level("right");
  d.caseLevel = level("case");
  o.boolean("connected", d.connected);
  return d;
}

BrowserSetup readBrowser(const Object& o) {
  BrowserSetup b;
  o.required("name");
  o.string("name", b.name);
  b.tabs = stringList(o, "tabs");
  o.boolean("automation", b.automationAllowed);
  return b;
}

sys::OSVersion parseOS(const Object& o) {
  auto s = o.string("os");
  if (!s) return {15, 1, 0};
  sys::OSVersion v;
  int* parts[] = {&v.major, &v.minor, &v.patch};
  std::size_t part = 0;
  bool digits = false;
  for (char c : *s) {
    if (c >= '0' && c <= '9' && part < 3) {
      *parts[part] = *parts[part] * 10 + (c - '0');
      digits = true;
      if (*parts[part] > 1000) digits = false;
    } else if (c == '.' && digits && part < 2) {
      ++part;
      digits = false;
    } else {
      digits = false;
      break;
    }
  }
  if (!digits) fail(o.at("os"), "not a version: \"" + *s + "\" (use 15.1 or 14.2.1)");
  return v;
}

PlatformQuirks readPlatform(const Value& v, const std::string& path) {
  Object o(v, path,
           {"privileged", "unitLabels", "failedSamples", "cpuTotal", "chargerPowerKey", "smcErrors",
            "smcOpenFailures", "idleGPUClients", "keyboardBacklightIDs", "outputDataSource",
            "brightnessSettable", "keyboardBacklight", "audioEngineStarts"});
  PlatformQuirks q;
  o.boolean("privileged", q.privileged);
  q.variedUnitLabels =
      choice(o, "unitLabels", q.variedUnitLabels, {{"varied", true}, {"plain", false}});
  o.number("failedSamples", q.failedSamples, 0, 1);
  q.cpuTotalOwnCounter =
      choice(o, "cpuTotal", q.cpuTotalOwnCounter, {{"own", true}, {"sum", false}});
  q.chargerPowerKey = o.boolean("chargerPowerKey");
  o.number("smcErrors", q.smcErrors, 0, 1);
  q.smcOpenFailures =
      static_cast<int>(o.integer("smcOpenFailures", 0, 1000).value_or(q.smcOpenFailures));
  o.boolean("idleGPUClients", q.idleGPUClients);
  q.keyboardBacklightIDs = o.boolean("keyboardBacklightIDs");
  o.boolean("outputDataSource", q.outputDataSource);
  o.boolean("brightnessSettable", q.brightnessSettable);
  o.boolean("keyboardBacklight", q.keyboardBacklight);
  o.boolean("audioEngineStarts", q.audioEngineStarts);
  return q;
}

LowPowerSetting lowPowerSetting(const Object& o, std::string_view key, LowPowerSetting current) {
  return choice(o, key, current,
                {{"never", LowPowerSetting::never},
                 {"always", LowPowerSetting::always},
                 {"battery", LowPowerSetting::onBattery},
                 {"adapter", LowPowerSetting::onAdapter}});
}

ServiceSetup readServices(const Value& v, const std::string& path) {
  Object o(v, path, {"notifications", "password", "passwordTime", "loginItem", "separateSpaces"});
  ServiceSetup s;
  s.notifications = choice(o, "notifications", s.notifications,
                           {{"allow", PermissionAnswer::allow},
                            {"deny", PermissionAnswer::deny},
                            {"fail", PermissionAnswer::fail}});
  if (auto* p = o.find("password")) {
    const bool many = p->is_array();
    if (many && p->empty()) fail(o.at("password"), "expected at least one answer");
    s.password.clear();
    for (std::size_t i = 0; i < (many ? p->size() : 1); ++i) {
      const Value& one = many ? (*p)[i] : *p;
      const std::string at = many ? index(o.at("password"), i) : o.at("password");
      if (!one.is_string()) wrongType(at, "\"grant\", \"cancel\", \"fail\" or \"hang\"", one);
      const std::string name = one.get<std::string>();
      if (name == "grant") {
        s.password.push_back(PasswordAnswer::grant);
      } else if (name == "cancel") {
        s.password.push_back(PasswordAnswer::cancel);
      } else if (name == "fail") {
        s.password.push_back(PasswordAnswer::fail);
      } else if (name == "hang") {
        s.password.push_back(PasswordAnswer::hang);
      } else {
        fail(at, "unknown answer \"" + name + "\" (expected grant, cancel, fail or hang)");
      }
    }
  }
  if (o.has("passwordTime")) s.passwordSeconds = timeValue(o, "passwordTime", 0, 3600);
  s.loginItem = choice(o, "loginItem", s.loginItem,
                       {{"ok", LoginItemBehaviour::normal},
                        {"approval", LoginItemBehaviour::needsApproval},
                        {"fail", LoginItemBehaviour::fail}});
  o.boolean("separateSpaces", s.separateSpaces);
  return s;
}

MachineSetup readMachine(const Value& v, const std::string& path) {
  Object o(v, path,
           {"chip", "user", "os", "seed", "start", "battery", "charger", "brightness", "keyboard",
            "lid", "externalDisplay", "output", "power", "backgroundDaemons", "usb", "files",
            "variables", "platform", "energyReadFailures", "model", "lowPowerMode", "heat",
            "services", "bluetooth", "browsers"});
  MachineSetup m;
  m.chip = static_cast<int>(o.integer("chip", 1, 4).value_or(m.chip));
  o.string("user", m.user);
  if (m.user.empty() || m.user.find('/') != std::string::npos)
    fail(o.at("user"), "not a user name");
  m.os = parseOS(o);
  if (auto seed = o.integer("seed", 0, 9007199254740991))
    m.seed = static_cast<std::uint64_t>(*seed);
  if (auto* start = o.find("start")) {
    if (start->is_number()) {
      m.start = sys::Date{start->get<double>()};
    } else if (start->is_string()) {
      auto d = parseISODate(start->get<std::string>());
      if (!d)
        fail(o.at("start"),
             "not a date: \"" + start->get<std::string>() + "\" (use 2024-11-12T09:00:00Z)");
      m.start = sys::Date{*d};
    } else {
      wrongType(o.at("start"), "a date", *start);
    }
    // Far dates overflow the machine's integer timestamps, and at very large
    // magnitudes a second no longer moves a double at all.
    if (!isPlausibleStart(m.start)) {
      fail(o.at("start"), "must be between 2001-01-01 and 2100-01-01 (seconds " +
                              std::to_string(static_cast<long long>(kEarliestStart)) + " to " +
                              std::to_string(static_cast<long long>(kLatestStart)) + ")");
    }
  }
  if (auto* b = o.find("battery")) {
    Object bo(*b, o.at("battery"), {"design", "full", "percent", "cycles", "ambient"});
    bo.number("design", m.battery.designMAh, 500, 30000);
    bo.number("full", m.battery.fullMAh, 100, 30000);
    bo.number("percent", m.battery.percent, 0, 100);
    m.battery.cycleCount =
        static_cast<int>(bo.integer("cycles", 0, 10000).value_or(m.battery.cycleCount));
    bo.number("ambient", m.battery.ambientC, -20, 50);
    if (m.battery.fullMAh > m.battery.designMAh * 1.2) {
      fail(bo.at("full"), "more than the design capacity allows");
    }
  }
  if (auto* c = o.find("charger"); c && !c->is_null()) {
    m.charger =
        readCharger(Object(*c, o.at("charger"), {"name", "watts", "vendor", "port", "hold"}));
  }
  o.number("brightness", m.brightness, 0, 1);
  o.number("keyboard", m.keyboard, 0, 1);
  m.lidOpen = choice(o, "lid", m.lidOpen, {{"open", true}, {"closed", false}});
  o.boolean("externalDisplay", m.externalDisplay);
  m.output = audioOutput(o, "output", m.output);
  if (auto* p = o.find("power")) {
    Object po(*p, o.at("power"),
              {"screenMin", "screenMax", "keyboardMax", "speakersHold", "speakersPlay",
               "headphones", "wifi", "board", "externalDisplay", "chipIdle", "displayEngine",
               "memoryBase", "sleep", "chargingLoss", "storageBursts", "radioBursts"});
    auto& w = m.power;
    po.number("screenMin", w.screenMin, 0, 50);
    po.number("screenMax", w.screenMax, 0, 50);
    po.number("keyboardMax", w.keyboardMax, 0, 10);
    po.number("speakersHold", w.speakersHold, 0, 10);
    po.number("speakersPlay", w.speakersPlay, 0, 10);
    po.number("headphones", w.headphones, 0, 10);
    po.number("wifi", w.wifi, 0, 10);
    po.number("board", w.board, 0, 20);
    po.number("externalDisplay", w.externalDisplay, 0, 10);
    po.number("chipIdle", w.chipIdle, 0, 10);
    po.number("displayEngine", w.displayEngine, 0, 10);
    po.number("memoryBase", w.memoryBase, 0, 10);
    po.number("sleep", w.sleep, 0, 5);
    po.number("chargingLoss", w.chargingLoss, 0, 0.5);
    po.number("storageBursts", w.storageBursts, 0, 2);
    po.number("radioBursts", w.radioBursts, 0, 2);
    if (w.screenMax < w.screenMin) fail(po.at("screenMax"), "below screenMin");
  }
  m.backgroundDaemons =
      static_cast<int>(o.integer("backgroundDaemons", 0, 5000).value_or(m.backgroundDaemons));
  if (auto* u = o.find("usb")) {
    if (!u->is_array()) wrongType(o.at("usb"), "a list", *u);
    for (std::size_t i = 0; i < u->size(); ++i) {
      m.usb.push_back(readDevice(Object((*u)[i], index(o.at("usb"), i),
                                        {"port", "name", "watts", "vendor", "key", "hub"})));
    }
  }
  if (auto* b = o.find("bluetooth")) {
    if (!b->is_array()) wrongType(o.at("bluetooth"), "a list", *b);
    for (std::size_t i = 0; i < b->size(); ++i) {
      m.bluetooth.push_back(
          readBluetooth(Object((*b)[i], index(o.at("bluetooth"), i),
                               {"name", "kind", "main", "left", "right", "case", "connected"})));
    }
  }
  if (auto* b = o.find("browsers")) {
    if (!b->is_array()) wrongType(o.at("browsers"), "a list", *b);
    for (std::size_t i = 0; i < b->size(); ++i) {
      m.browsers.push_back(
          readBrowser(Object((*b)[i], index(o.at("browsers"), i), {"name", "tabs", "automation"})));
    }
  }
  o.number("energyReadFailures", m.energyReadFailures, 0, 0.5);
  m.files = stringList(o, "files");
  m.variables = stringMap(o, "variables");
  if (auto* q = o.find("platform")) m.platform = readPlatform(*q, o.at("platform"));
  m.model = choice(o, "model", m.model,
                   {{"notch", MacModel::notched},
                    {"notchless", MacModel::notchless},
                    {"desktop", MacModel::desktop}});
  if (m.model == MacModel::desktop) {
    // Mains power and an external display, nothing else.
    if (o.has("lid") || o.has("externalDisplay")) {
      fail(o.at(o.has("lid") ? "lid" : "externalDisplay"), "a desktop has no built-in screen");
    }
    m.lidOpen = false;
    m.externalDisplay = true;
    if (!m.charger) m.charger = Charger{"Power Supply", 150, 0x05AC, 1};
  }
  m.lowPowerMode = lowPowerSetting(o, "lowPowerMode", m.lowPowerMode);
  if (auto* h = o.find("heat")) {
    Object ho(*h, o.at("heat"), {"perWatt", "seconds"});
    ho.number("perWatt", m.heat.perWatt, 0, 20);
    ho.number("seconds", m.heat.seconds, 1, 3600);
  }
  if (auto* sv = o.find("services")) m.services = readServices(*sv, o.at("services"));
  return m;
}

}  // namespace

bool inGroup(std::string_view id, std::string_view group) {
  return id == group || (id.size() > group.size() && id.substr(0, group.size()) == group &&
                         id[group.size()] == '#');
}

namespace {

struct EventKind {
  std::string_view name;
  EventType type;
  std::vector<std::string_view> keys;  // besides "at" and "type"
};

const std::vector<EventKind>& eventKinds() {
  static const std::vector<EventKind> kinds = {
      {"plug", EventType::plug, {"name", "watts", "vendor", "port", "hold"}},
      {"unplug", EventType::unplug, {}},
      {"sleep", EventType::sleep, {"duration"}},
      {"lid", EventType::lid, {"open"}},
      {"display", EventType::display, {"asleep"}},
      {"brightness", EventType::brightness, {"level"}},
      {"keyboard", EventType::keyboard, {"level"}},
      {"output", EventType::output, {"device"}},
      {"usb-attach", EventType::usbAttach, {"port", "name", "watts", "vendor", "key", "hub"}},
      {"usb-detach", EventType::usbDetach, {"port"}},
      {"external-display", EventType::externalDisplay, {"connected"}},
      {"load", EventType::load, {"process", LOAD_KEYS}},
      {"low-power", EventType::lowPower, {"mode"}},
      {"activate", EventType::activate, {"process"}},
      {"fullscreen", EventType::fullscreen, {"process", "on", "space"}},
      // Folded into the process list rather than kept as events.
      {"start", EventType::load, {"process"}},
      {"exit", EventType::load, {"process"}},
  };
  return kinds;
}

void readEvent(const Value& v, const std::string& path, Scenario& s) {
  if (!v.is_object()) wrongType(path, "an object", v);
  auto typeIt = v.find("type");
  if (typeIt == v.end()) fail(path, "missing \"type\"");
  if (!typeIt->is_string()) wrongType(join(path, "type"), "a string", *typeIt);
  const std::string type = typeIt->get<std::string>();
  auto kind = std::find_if(eventKinds().begin(), eventKinds().end(),
                           [&](const EventKind& k) { return k.name == type; });
  if (kind == eventKinds().end()) fail(join(path, "type"), "unknown event \"" + type + "\"");

  std::vector<std::string_view> keys{"at", "type"};
  keys.insert(keys.end(), kind->keys.begin(), kind->keys.end());
  Object o(v, path, keys);
  Event e;
  e.type = kind->type;
  e.at = timeValue(o, "at", 0, kMaxTime);
  auto flag = [&](std::string_view key) {
    o.required(key);
    return *o.boolean(key);
  };
  auto level = [&] {
    o.required("level");
    return *o.number("level", 0, 1);
  };

  if (type == "start") {
    for (ScenarioProcess& p : readProcess(o.required("process"), o.at("process"))) {
      if (p.start) fail(join(o.at("process"), "start"), "a started process takes the event's time");
      p.start = e.at;
      if (p.end && *p.end <= e.at) fail(join(o.at("process"), "end"), "ends before it starts");
      s.processes.push_back(std::move(p));
    }
    return;
  }
  if (type == "exit") {
    o.required("process");
    std::string id = *o.string("process");
    bool found = false;
    for (ScenarioProcess& p : s.processes) {
      if (!inGroup(p.id, id)) continue;
      found = true;
      if (e.at <= p.start.value_or(-kMaxTime)) fail(o.at("at"), "exits before it starts");
      if (!p.end || e.at < *p.end) p.end = e.at;
    }
    if (!found) fail(o.at("process"), "no process \"" + id + "\"");
    return;
  }
  switch (e.type) {
    case EventType::plug:
      e.charger = readCharger(o);
      break;
    case EventType::unplug:
      break;
    case EventType::sleep:
      e.value = timeValue(o, "duration", 1, kMaxTime);
      break;
    case EventType::lid:
      e.flag = flag("open");
      break;
    case EventType::display:
      e.flag = flag("asleep");
      break;
    case EventType::externalDisplay:
      e.flag = flag("connected");
      break;
    case EventType::brightness:
    case EventType::keyboard:
      e.value = level();
      break;
    case EventType::output:
      o.required("device");
      e.output = audioOutput(o, "device", AudioOutput::speakers);
      break;
    case EventType::usbAttach:
      e.device = readDevice(o);
      break;
    case EventType::usbDetach:
      o.required("port");
      e.device.port = static_cast<int>(*o.integer("port", 1, 8));
      break;
    case EventType::load:
      o.required("process");
      e.process = *o.string("process");
      e.change = readLoadChange(o);
      break;
    case EventType::lowPower:
      o.required("mode");
      e.lowPower = lowPowerSetting(o, "mode", LowPowerSetting::never);
      break;
    case EventType::activate:
      o.required("process");
      e.process = *o.string("process");
      break;
    case EventType::fullscreen:
      o.required("process");
      e.process = *o.string("process");
      e.flag = flag("on");
      o.boolean("space", e.space);
      break;
  }
  s.events.push_back(std::move(e));
}

void validate(Scenario& s) {
  std::map<std::string, std::size_t> ids;
  for (std::size_t i = 0; i < s.processes.size(); ++i) {
    if (!ids.emplace(s.processes[i].id, i).second) {
      fail(index("processes", i) + ".id", "duplicate id \"" + s.processes[i].id + "\"");
    }
  }
  for (std::size_t i = 0; i < s.processes.size(); ++i) {
    const auto& p = s.processes[i];
    for (const auto& [key, link] :
         {std::pair{"parent", &p.parent}, {"responsible", &p.responsible}}) {
      if (!link->empty() && !ids.count(*link)) {
        fail(index("processes", i) + "." + key, "no process \"" + *link + "\"");
      }
    }
  }
  // Explicit pids: the same pid may come back only after its holder exited.
  for (std::size_t i = 0; i < s.processes.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const auto &a = s.processes[i], &b = s.processes[j];
      if (!a.pid || a.pid != b.pid) continue;
      double aStart = a.start.value_or(-1e18), bStart = b.start.value_or(-1e18);
      double aEnd = a.end.value_or(1e18), bEnd = b.end.value_or(1e18);
      if (aStart < bEnd && bStart < aEnd) {
        fail(index("processes", i) + ".pid",
             "pid " + std::to_string(*a.pid) + " is in use by \"" + b.id + "\" at that time");
      }
    }
  }
  for (const auto& e : s.events) {
    if (e.type == EventType::load && !ids.count(e.process)) {
      fail("events", "no process \"" + e.process + "\" (load)");
    }
    if ((e.type == EventType::activate || e.type == EventType::fullscreen) &&
        !ids.count(e.process)) {
      fail("events", "no process \"" + e.process + "\" (" +
                         (e.type == EventType::activate ? "activate" : "fullscreen") + ")");
    }
    if (s.machine.model == MacModel::desktop &&
        (e.type == EventType::plug || e.type == EventType::unplug || e.type == EventType::lid ||
         e.type == EventType::externalDisplay)) {
      fail("events", "a desktop takes no plug, unplug, lid or display events");
    }
  }
  std::stable_sort(s.events.begin(), s.events.end(),
                   [](const Event& a, const Event& b) { return a.at < b.at; });
  for (const auto& e : s.events) {
    if (e.type == EventType::sleep) s.sleeps.push_back({e.at, e.value});
  }
  for (std::size_t i = 1; i < s.sleeps.size(); ++i) {
    if (s.sleeps[i].at < s.sleeps[i - 1].at + s.sleeps[i - 1].seconds) {
      std::ostringstream m;
      m << "sleep at " << s.sleeps[i].at << " s starts before the one at " << s.sleeps[i - 1].at
        << " s ends";
      fail("events", m.str());
    }
  }
}

std::string jsonErrorMessage(const Value::parse_error& e, std::string_view text) {
  std::string what = e.what();
  // "[json.exception.parse_error.101] parse error at line 3, column 5: …"
  if (auto at = what.find("parse error at "); at != std::string::npos) {
    return "invalid JSON " + what.substr(at + 12);
  }
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i + 1 < e.byte && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "invalid JSON at line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

Scenario::Parsed Scenario::parse(std::string_view text, std::string_view name) {
  const std::string prefix = std::string(name) + ": ";
  Value root;
  try {
    root = Value::parse(text.begin(), text.end(), nullptr, true, /*ignore_comments=*/true);
  } catch (const Value::parse_error& e) {
    return {std::nullopt, prefix + jsonErrorMessage(e, text)};
  } catch (const std::exception& e) {
    return {std::nullopt, prefix + "invalid JSON: " + e.what()};
  }
  try {
    Object o(root, "", {"name", "description", "duration", "machine", "processes", "events"});
    Scenario s;
    s.name = o.string("name").value_or(std::string(name));
    o.string("description", s.description);
    if (o.has("duration")) s.duration = timeValue(o, "duration", 1, kMaxTime);
    if (auto* m = o.find("machine")) s.machine = readMachine(*m, "machine");
    if (auto* ps = o.find("processes")) {
      if (!ps->is_array()) wrongType("processes", "a list", *ps);
      for (std::size_t i = 0; i < ps->size(); ++i) {
        for (ScenarioProcess& p : readProcess((*ps)[i], index("processes", i))) {
          s.processes.push_back(std::move(p));
        }
      }
    }
    if (auto* es = o.find("events")) {
      if (!es->is_array()) wrongType("events", "a list", *es);
      // Starts first, so that exits and load changes may name processes that
      // an event starts later in the file.
      for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < es->size(); ++i) {
          const Value& e = (*es)[i];
          bool isStart = e.is_object() && e.contains("type") && e["type"] == "start";
          if ((pass == 0) == isStart) readEvent(e, index("events", i), s);
        }
      }
    }
    validate(s);
    return {std::move(s), {}};
  } catch (const Problem& p) {
    return {std::nullopt, prefix + p.message};
  } catch (const std::exception& e) {
    return {std::nullopt, prefix + e.what()};
  }
}

Scenario::Parsed Scenario::load(const std::string& path) {
  // Opened without waiting (a FIFO would block until a writer comes) and
  // checked on the open descriptor, so the file read is the file checked: a
  // device such as /dev/zero never ends, and no scenario is megabytes long.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // The reason matters to the user: a typo in the name reads differently
    // from a file they may not open.
    const int error = errno;
    std::string reason = error == ENOENT ? "no such file" : std::strerror(error);
    return {std::nullopt, path + ": cannot read the file (" + reason + ")"};
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) return {std::nullopt, path + ": cannot read the file"};
  if (S_ISDIR(info.st_mode)) return {std::nullopt, path + ": is a folder, not a file"};
  if (!S_ISREG(info.st_mode)) return {std::nullopt, path + ": is not a regular file"};
  const std::string tooLarge =
      path + ": is too large for a scenario (over " + std::to_string(kMaxFileBytes >> 20) + " MiB)";
  if (info.st_size > static_cast<off_t>(kMaxFileBytes)) return {std::nullopt, tooLarge};
  // The file may grow while it is read; one byte past the limit is enough to
  // tell.
  std::string text;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return {std::nullopt, path + ": cannot read the file (" + std::strerror(errno) + ")"};
    }
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > kMaxFileBytes) return {std::nullopt, tooLarge};
  }
  return parse(text, path);
}

Scenario::Parsed Scenario::embedded(std::string_view name) {
  const auto& all = embeddedScenarios();
  auto it = all.find(std::string(name));
  if (it == all.end()) {
    std::string names;
    for (const auto& [n, _] : all) names += (names.empty() ? "" : ", ") + n;
    return {std::nullopt,
            std::string(name) + ": no such built-in scenario (built in: " + names + ")"};
  }
  return parse(it->second, name);
}

}  // namespace ebbwise::sim
