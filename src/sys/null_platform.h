#pragma once

#include "sys/platform.h"

namespace ebbwise::sys {

// A platform with no sensors: every service answers absent, empty or
// failure. Time, the run loop and the surroundings come from the caller.
class NullPlatform {
 public:
  NullPlatform(Clock& clock, RunLoop& runLoop, Environment& environment);

  Platform platform();

 private:
  class NullRegistry final : public Registry {
   public:
    std::vector<RegistryEntry> matchingServices(std::string_view) override { return {}; }
    std::optional<Value> properties(RegistryEntry) override { return std::nullopt; }
    std::optional<Value> property(RegistryEntry, std::string_view) override { return std::nullopt; }
    std::vector<RegistryEntry> descendants(RegistryEntry) override { return {}; }
  };
  class NullProcesses final : public Processes {
   public:
    int listAllPids(std::span<Pid>) override { return -1; }
    std::optional<RusageV6> rusage(Pid) override { return std::nullopt; }
    std::optional<std::string> executablePath(Pid) override { return std::nullopt; }
    std::optional<BSDInfo> bsdInfo(Pid) override { return std::nullopt; }
    std::optional<std::string> currentDirectory(Pid) override { return std::nullopt; }
    std::optional<std::size_t> procArgsSize(Pid) override { return std::nullopt; }
    std::optional<std::size_t> procArgs(Pid, std::span<std::uint8_t>) override {
      return std::nullopt;
    }
    Pid responsiblePid(Pid) override { return -1; }
    Pid ownPid() override { return 0; }
    bool kill(Pid, int) override { return false; }
  };
  class NullSMC final : public SMCUserClient {
   public:
    std::optional<SMCConnection> open() override { return std::nullopt; }
    int callStructMethod(SMCConnection, std::uint32_t, std::span<const std::uint8_t>,
                         std::span<std::uint8_t>) override {
      return -1;
    }
    void close(SMCConnection) override {}
  };
  class NullIOReport final : public IOReport {
   public:
    std::optional<Value> copyChannelsInGroup(std::string_view,
                                             std::optional<std::string_view>) override {
      return std::nullopt;
    }
    std::optional<IOReportSubscription> createSubscription(const Value&, Value&) override {
      return std::nullopt;
    }
    std::optional<Value> createSamples(IOReportSubscription, const Value&) override {
      return std::nullopt;
    }
    std::optional<Value> createSamplesDelta(const Value&, const Value&) override {
      return std::nullopt;
    }
    std::optional<std::string> channelName(const Value&) override { return std::nullopt; }
    std::optional<std::string> unitLabel(const Value&) override { return std::nullopt; }
    std::int64_t simpleIntegerValue(const Value&) override { return 0; }
  };
  class NullDisplays final : public Displays {
   public:
    std::optional<std::vector<DisplayID>> activeDisplays(std::uint32_t) override {
      return std::nullopt;
    }
    bool isBuiltin(DisplayID) override { return false; }
    bool isAsleep(DisplayID) override { return false; }
    std::optional<std::vector<DisplayID>> onlineDisplays(std::uint32_t) override {
      return std::nullopt;
    }
    std::optional<std::string> displayUUID(DisplayID) override { return std::nullopt; }
  };
  class NullDisplayServices final : public DisplayServices {
   public:
    BrightnessGetter brightnessGetter(std::string_view, std::string_view) override { return {}; }
    BrightnessSetter brightnessSetter(std::string_view, std::string_view) override { return {}; }
  };
  class NullCoreBrightness final : public CoreBrightness {
   public:
    std::unique_ptr<KeyboardBrightnessClient> makeKeyboardClient(std::string_view,
                                                                 std::string_view) override {
      return nullptr;
    }
  };
  class NullAudio final : public AudioSystem {
   public:
    std::int32_t propertyDataSize(AudioObjectID, AudioPropertyAddress, std::uint32_t&) override {
      return kNotRunning;
    }
    std::int32_t propertyData(AudioObjectID, AudioPropertyAddress, std::span<std::uint8_t>,
                              std::uint32_t&) override {
      return kNotRunning;
    }
    static constexpr std::int32_t kNotRunning = fourCharCode("stop");
  };

  Clock& clock_;
  RunLoop& runLoop_;
  Environment& environment_;
  NullRegistry registry_;
  NullProcesses processes_;
  NullSMC smc_;
  NullIOReport ioReport_;
  NullDisplays displays_;
  NullDisplayServices displayServices_;
  NullCoreBrightness coreBrightness_;
  NullAudio audio_;
  NoToolRunner toolRunner_;
  NoUserDefaults userDefaults_;
  // Answers of the services that answer later come on the caller's loop.
  NoUserNotificationCenter notifications_{&runLoop_};
  NoWorkspace workspace_{&runLoop_};
  NoProcessInfo processInfo_;
  NoWindowServer windowServer_;
  NoScreens screens_;
  NoPrivilegedScriptRunner privilegedScripts_{&runLoop_};
  NoLoginItemService loginItem_;
  NoUpdater updater_;
};

}  // namespace ebbwise::sys
