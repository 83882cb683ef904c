#include "linux/sound_server_audio.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>

namespace ebbwise::linux_host {

namespace {

// The properties served (Core Audio's selectors).
namespace AP {
constexpr std::uint32_t kProcessObjectList = sys::fourCharCode("prs#");
constexpr std::uint32_t kProcessIsRunningOutput = sys::fourCharCode("piro");
constexpr std::uint32_t kProcessPID = sys::fourCharCode("ppid");
constexpr std::uint32_t kDefaultOutputDevice = sys::fourCharCode("dOut");
constexpr std::uint32_t kTransportType = sys::fourCharCode("tran");
constexpr std::uint32_t kDataSource = sys::fourCharCode("ssrc");
constexpr std::uint32_t kDeviceStreams = sys::fourCharCode("stm#");
constexpr std::uint32_t kStreamTerminalType = sys::fourCharCode("term");
}  // namespace AP

// Core Audio's codes for what the sound server tells.
std::uint32_t transportCode(AudioGraph::Transport t) {
  switch (t) {
    case AudioGraph::Transport::builtIn:
      return sys::fourCharCode("bltn");
    case AudioGraph::Transport::usb:
      return sys::fourCharCode("usb ");
    case AudioGraph::Transport::bluetooth:
      return sys::fourCharCode("blue");
    case AudioGraph::Transport::hdmi:
      return sys::fourCharCode("hdmi");
    case AudioGraph::Transport::displayPort:
      return sys::fourCharCode("dprt");
    case AudioGraph::Transport::virtualDevice:
      return sys::fourCharCode("virt");
    case AudioGraph::Transport::unknown:
      break;
  }
  return 0;
}

std::optional<std::uint32_t> dataSourceCode(AudioGraph::Port p) {
  switch (p) {
    case AudioGraph::Port::speaker:
      return sys::fourCharCode("ispk");
    case AudioGraph::Port::headphones:
    case AudioGraph::Port::headset:
      return sys::fourCharCode("hdpn");
    case AudioGraph::Port::line:
      return sys::fourCharCode("line");
    default:
      return std::nullopt;
  }
}

std::uint32_t terminalCode(AudioGraph::Port p) {
  switch (p) {
    case AudioGraph::Port::speaker:
      return sys::fourCharCode("spkr");
    case AudioGraph::Port::headphones:
      return sys::fourCharCode("hdph");
    case AudioGraph::Port::headset:
      return 0x0402;  // the USB audio class's headset
    case AudioGraph::Port::line:
      return sys::fourCharCode("line");
    case AudioGraph::Port::hdmi:
      return sys::fourCharCode("hdmi");
    case AudioGraph::Port::displayPort:
      return sys::fourCharCode("dprt");
    case AudioGraph::Port::spdif:
      return sys::fourCharCode("spdf");
    case AudioGraph::Port::unknown:
      break;
  }
  return 0;  // unknown terminal
}

template <typename T>
std::vector<std::uint8_t> bytesOf(const std::vector<T>& values) {
  std::vector<std::uint8_t> bytes(values.size() * sizeof(T));
  if (!values.empty()) std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

template <typename T>
std::vector<std::uint8_t> bytesOf(T value) {
  return bytesOf(std::vector<T>{value});
}

std::set<std::int32_t> pidsOf(const AudioGraph& graph) {
  std::set<std::int32_t> pids;
  for (const auto& s : graph.streams) pids.insert(s.pid);
  return pids;
}

}  // namespace

SoundServerAudio::SoundServerAudio(sys::ToolRunner& tools, sys::RunLoop& loop, sys::Clock& clock,
                                   Options options)
    : tools_(tools),
      clock_(clock),
      options_(std::move(options)),
      queue_(loop.makeSerialQueue("ebbwise.sound-server")) {}

SoundServerAudio::~SoundServerAudio() {
  queue_.reset();  // waits for the reading in progress
}

std::optional<AudioGraph> SoundServerAudio::readGraph(sys::ToolRunner& tools,
                                                      const Options& options) {
  auto succeeded = [](const std::optional<sys::ToolRun>& run) {
    return run && run->exitStatus == 0 && !run->timedOut && !run->outputTruncated;
  };
  if (auto dump = tools.run(options.pwDump, {}); succeeded(dump)) {
    if (auto graph = AudioGraph::fromPipeWireDump(dump->output)) return graph;
  }
  auto pactl = [&](std::initializer_list<const char*> words) {
    std::vector<std::string> arguments = {"--format=json"};
    for (const char* w : words) arguments.emplace_back(w);
    auto run = tools.run(options.pactl, arguments);
    return succeeded(run) ? std::optional(std::move(run->output)) : std::nullopt;
  };
  auto inputs = pactl({"list", "sink-inputs"});
  if (!inputs) return std::nullopt;
  return AudioGraph::fromPulseAudio(*inputs, pactl({"list", "sinks"}).value_or(""),
                                    pactl({"info"}).value_or(""));
}

bool SoundServerAudio::refresh() {
  auto graph = readGraph(tools_, options_);
  const double at = clock_.timebase().ticksToSeconds(clock_.monotonicTicks());
  std::lock_guard lock(mutex_);
  const bool answered = graph.has_value();
  reading_ = Reading{std::move(graph), at};
  pending_ = false;
  return answered;
}

void SoundServerAudio::refreshIfStale() {
  const double now = clock_.timebase().ticksToSeconds(clock_.monotonicTicks());
  {
    std::lock_guard lock(mutex_);
    const double wait =
        reading_ && !reading_->graph ? options_.retrySeconds : options_.refreshSeconds;
    if (pending_ || (reading_ && now - reading_->at < wait)) return;
    pending_ = true;
  }
  queue_->async([this] { refresh(); });
}

std::int32_t SoundServerAudio::answer(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                                      std::vector<std::uint8_t>& bytes) {
  if (object == sys::kAudioObjectSystemObject) refreshIfStale();
  const double now = clock_.timebase().ticksToSeconds(clock_.monotonicTicks());
  std::lock_guard lock(mutex_);
  if (!reading_ || !reading_->graph || now - reading_->at > options_.staleSeconds) {
    return kNotRunning;
  }
  const AudioGraph& graph = *reading_->graph;
  const auto& output = graph.defaultOutput;

  if (object == sys::kAudioObjectSystemObject) {
    if (address.selector == AP::kProcessObjectList) {
      std::vector<sys::AudioObjectID> ids;
      for (std::int32_t pid : pidsOf(graph)) ids.push_back(kProcessBase + pid);
      bytes = bytesOf(ids);
      return 0;
    }
    if (address.selector == AP::kDefaultOutputDevice) {
      // kAudioObjectUnknown when nothing plays anywhere.
      bytes = bytesOf<sys::AudioObjectID>(output ? kDefaultDevice : 0);
      return 0;
    }
    return kUnknownProperty;
  }
  if (object > kProcessBase) {
    const auto pid = static_cast<std::int32_t>(object - kProcessBase);
    if (!pidsOf(graph).contains(pid)) return kBadObject;
    if (address.selector == AP::kProcessPID) {
      bytes = bytesOf(pid);
      return 0;
    }
    if (address.selector == AP::kProcessIsRunningOutput) {
      const bool running = std::any_of(graph.streams.begin(), graph.streams.end(), [&](auto& s) {
        return s.pid == pid && s.output && s.running;
      });
      bytes = bytesOf<std::uint32_t>(running ? 1 : 0);
      return 0;
    }
    return kUnknownProperty;
  }
  if (!output || (object != kDefaultDevice && object != kDefaultStream)) return kBadObject;
  if (object == kDefaultStream) {
    if (address.selector != AP::kStreamTerminalType) return kUnknownProperty;
    bytes = bytesOf(terminalCode(output->port));
    return 0;
  }
  if (address.selector == AP::kTransportType) {
    bytes = bytesOf(transportCode(output->transport));
    return 0;
  }
  if (address.selector == AP::kDataSource &&
      address.scope == sys::kAudioObjectPropertyScopeOutput) {
    // Only a built-in card chooses between sources of its own.
    const auto source = dataSourceCode(output->port);
    if (output->transport != AudioGraph::Transport::builtIn || !source) return kUnknownProperty;
    bytes = bytesOf(*source);
    return 0;
  }
  if (address.selector == AP::kDeviceStreams &&
      address.scope == sys::kAudioObjectPropertyScopeOutput) {
    bytes = bytesOf<sys::AudioObjectID>(kDefaultStream);
    return 0;
  }
  return kUnknownProperty;
}

std::int32_t SoundServerAudio::propertyDataSize(sys::AudioObjectID object,
                                                sys::AudioPropertyAddress address,
                                                std::uint32_t& size) {
  std::vector<std::uint8_t> bytes;
  const std::int32_t status = answer(object, address, bytes);
  if (status == 0) size = static_cast<std::uint32_t>(bytes.size());
  return status;
}

std::int32_t SoundServerAudio::propertyData(sys::AudioObjectID object,
                                            sys::AudioPropertyAddress address,
                                            std::span<std::uint8_t> data, std::uint32_t& size) {
  std::vector<std::uint8_t> bytes;
  const std::int32_t status = answer(object, address, bytes);
  if (status != 0) return status;
  const std::size_t n = std::min(bytes.size(), data.size());
  if (n) std::memcpy(data.data(), bytes.data(), n);
  size = static_cast<std::uint32_t>(n);
  return 0;
}

}  // namespace ebbwise::linux_host
