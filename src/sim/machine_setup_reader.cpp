#include "sim/machine_setup_reader.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include "sim/scenario_object.h"

namespace ebbwise::sim::scenario_object {

namespace {

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

}  // namespace

MachineSetup readMachine(const Value& v, const std::string& path) {
  Object o(v, path,
           {"chip",
            "user",
            "os",
            "seed",
            "start",
            "battery",
            "charger",
            "brightness",
            "keyboard",
            "lid",
            "externalDisplay",
            "output",
            "power",
            "backgroundDaemons",
            "usb",
            "files",
            "variables",
            "platform",
            "energyReadFailures",
            "model",
            "lowPowerMode",
            "heat",
            "services",
            "bluetooth",
            "browsers"});
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
    if (!m.charger) m.charger = Charger{"Power Supply", 150, 0x05AC, 1, std::nullopt};
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

}  // namespace ebbwise::sim::scenario_object
