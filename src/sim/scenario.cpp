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
#include "sim/machine_setup_reader.h"
#include "sim/scenario_object.h"
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

using namespace scenario_object;
using sys::Value;

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
      {"load", EventType::load, {"process", SCENARIO_LOAD_KEYS}},
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
