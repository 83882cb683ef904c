#include "linux/audio_graph.h"

#include <map>

#include "base/json_fields.h"
#include "base/utf8.h"
#include "linux/sysfs_file.h"
#include "sys/value.h"

namespace ebbwise::linux_host {

namespace {

using sys::Value;

std::optional<Value> document(std::string_view text) {
  // A name that is not UTF-8 spoils no more than that name.
  return JSONFields::parse(Utf8::decode(text));
}

std::string text(const Value* props, std::string_view key) {
  return sys::asString(sys::member(props, key)).value_or("");
}

// Servers write ids and pids as numbers or as decimal text.
std::optional<std::int64_t> integer(const Value* props, std::string_view key) {
  const Value* v = sys::member(props, key);
  if (auto n = sys::asInteger(v)) return n;
  if (auto s = sys::asString(v)) return SysfsFile::parseInteger(*s);
  return std::nullopt;
}

std::optional<std::int32_t> pidIn(const Value* props, std::string_view key) {
  const auto pid = integer(props, key);
  if (!pid || *pid < 1 || *pid > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(*pid);
}

bool contains(std::string_view haystack, std::string_view needle) {
  return Utf8::asciiLowercase(haystack).find(needle) != std::string::npos;
}

// The default sink's name from the "default" metadata: its value is
// {"name": …}, as an object or as JSON text, depending on the writer.
std::optional<std::string> defaultSinkName(const Value& metadata) {
  const Value* entries = sys::asList(sys::member(metadata, "metadata"));
  if (!entries) return std::nullopt;
  std::optional<std::string> configured;
  for (const Value& entry : *entries) {
    const auto key = sys::asString(sys::member(entry, "key"));
    if (key != "default.audio.sink" && key != "default.configured.audio.sink") continue;
    const Value* value = sys::member(entry, "value");
    std::optional<Value> parsed;
    if (auto s = sys::asString(value)) {
      parsed = JSONFields::parse(*s);
      value = parsed ? &*parsed : nullptr;
    }
    auto name = sys::asString(sys::member(value, "name"));
    if (!name || name->empty()) continue;
    if (key == "default.audio.sink") return name;
    configured = name;
  }
  return configured;
}

}  // namespace

AudioGraph::Port AudioGraph::portNamed(std::string_view name, std::string_view type) {
  for (std::string_view s : {type, name}) {
    if (contains(s, "headset")) return Port::headset;
    if (contains(s, "headphone")) return Port::headphones;
    if (contains(s, "speaker")) return Port::speaker;
    if (contains(s, "hdmi")) return Port::hdmi;
    if (contains(s, "displayport") || contains(s, "dp-output")) return Port::displayPort;
    if (contains(s, "iec958") || contains(s, "spdif")) return Port::spdif;
    if (contains(s, "lineout") || contains(s, "line-out") || contains(s, "line")) return Port::line;
  }
  return Port::unknown;
}

AudioGraph::Transport AudioGraph::transportOf(std::string_view bus, std::string_view api,
                                              std::string_view formFactor) {
  if (api == "bluez5" || api == "bluez" || bus == "bluetooth") return Transport::bluetooth;
  if (bus == "usb") return Transport::usb;
  if (bus == "pci" || bus == "platform" || bus == "isa" || formFactor == "internal") {
    return Transport::builtIn;
  }
  if (api.empty() && bus.empty()) return Transport::virtualDevice;  // a null or loopback sink
  return Transport::unknown;
}

std::optional<AudioGraph> AudioGraph::fromPipeWireDump(std::string_view json) {
  const auto root = document(json);
  if (!root || !root->is_array()) return std::nullopt;
  std::map<std::int64_t, const Value*> byId;
  for (const Value& object : *root) {
    if (auto id = sys::asInteger(sys::member(object, "id"))) byId[*id] = &object;
  }
  auto props = [](const Value* object) {
    return sys::asDictionary(sys::member(sys::member(object, "info"), "props"));
  };
  auto typeOf = [](const Value& object) { return text(&object, "type"); };

  AudioGraph graph;
  std::optional<std::string> sinkName;
  for (const Value& object : *root) {
    const std::string type = typeOf(object);
    if (type == "PipeWire:Interface:Metadata") {
      if (text(sys::member(object, "props"), "metadata.name") == "default" && !sinkName) {
        sinkName = defaultSinkName(object);
      }
      continue;
    }
    if (type != "PipeWire:Interface:Node") continue;
    const Value* p = props(&object);
    const std::string mediaClass = text(p, "media.class");
    if (mediaClass != "Stream/Output/Audio" && mediaClass != "Stream/Input/Audio") continue;
    // The stream's own process, else its client's; the kernel's word for
    // the client's end of the socket last (a sandboxed app sees other pids).
    auto pid = pidIn(p, "application.process.id");
    if (!pid) {
      const auto client = integer(p, "client.id");
      const auto it = client ? byId.find(*client) : byId.end();
      if (it != byId.end()) {
        pid = pidIn(props(it->second), "application.process.id");
        if (!pid) pid = pidIn(props(it->second), "pipewire.sec.pid");
      }
    }
    if (!pid) continue;
    graph.streams.push_back({*pid, mediaClass == "Stream/Output/Audio",
                             text(sys::member(object, "info"), "state") == "running"});
  }

  if (!sinkName) return graph;
  for (const Value& object : *root) {
    if (typeOf(object) != "PipeWire:Interface:Node") continue;
    const Value* p = props(&object);
    if (text(p, "node.name") != *sinkName || text(p, "media.class") != "Audio/Sink") continue;
    Output output;
    output.name = *sinkName;
    // The card the sink belongs to, when it has one, says how it is attached.
    const Value* device = nullptr;
    if (auto deviceId = integer(p, "device.id")) {
      auto it = byId.find(*deviceId);
      if (it != byId.end() && typeOf(*it->second) == "PipeWire:Interface:Device") {
        device = it->second;
      }
    }
    const Value* dp = device ? props(device) : p;
    output.transport = transportOf(text(dp, "device.bus"), text(dp, "device.api"),
                                   text(dp, "device.form-factor"));
    // The active output route of the card's profile device this sink plays on.
    const auto profileDevice = integer(p, "card.profile.device");
    const Value* routes =
        sys::asList(sys::member(sys::member(sys::member(device, "info"), "params"), "Route"));
    if (routes) {
      for (const Value& route : *routes) {
        if (text(&route, "direction") != "Output") continue;
        const auto routeDevice = integer(&route, "device");
        if (profileDevice && routeDevice && *routeDevice != *profileDevice) continue;
        std::string portType;
        // "info" is a count followed by key, value pairs.
        if (const Value* info = sys::asList(sys::member(route, "info"))) {
          for (std::size_t i = 1; i + 1 < info->size(); i += 2) {
            if (sys::asString(&(*info)[i]) == "port.type") {
              portType = sys::asString(&(*info)[i + 1]).value_or("");
            }
          }
        }
        output.port = portNamed(text(&route, "name"), portType);
        break;
      }
    }
    if (output.port == Port::unknown) {
      // Bluetooth and USB sinks say what they are by their form factor.
      output.port = portNamed(text(dp, "device.form-factor"));
    }
    if (output.port == Port::hdmi) output.transport = Transport::hdmi;
    if (output.port == Port::displayPort) output.transport = Transport::displayPort;
    graph.defaultOutput = std::move(output);
    break;
  }
  return graph;
}

std::optional<AudioGraph> AudioGraph::fromPulseAudio(std::string_view sinkInputs,
                                                     std::string_view sinks,
                                                     std::string_view info) {
  const auto inputs = document(sinkInputs);
  if (!inputs || !inputs->is_array()) return std::nullopt;
  AudioGraph graph;
  for (const Value& input : *inputs) {
    const Value* p = sys::asDictionary(sys::member(input, "properties"));
    auto pid = pidIn(p, "application.process.id");
    if (!pid) continue;
    // A stream that is not paused plays on; the server does not say more.
    graph.streams.push_back({*pid, true, sys::asBool(sys::member(input, "corked")) == false});
  }
  const auto server = document(info);
  const auto sinkList = document(sinks);
  const auto name = server ? sys::asString(sys::member(*server, "default_sink_name")) : std::nullopt;
  if (!name || !sinkList || !sinkList->is_array()) return graph;
  for (const Value& sink : *sinkList) {
    if (sys::asString(sys::member(sink, "name")) != name) continue;
    const Value* p = sys::asDictionary(sys::member(sink, "properties"));
    Output output;
    output.name = *name;
    output.transport = transportOf(text(p, "device.bus"), text(p, "device.api"),
                                   text(p, "device.form_factor"));
    output.port = portNamed(text(&sink, "active_port"));
    if (output.port == Port::unknown) output.port = portNamed(text(p, "device.form_factor"));
    if (output.port == Port::hdmi) output.transport = Transport::hdmi;
    if (output.port == Port::displayPort) output.transport = Transport::displayPort;
    graph.defaultOutput = std::move(output);
    break;
  }
  return graph;
}

}  // namespace ebbwise::linux_host
