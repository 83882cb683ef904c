// The hardware-state providers on a recorded laptop's sysfs tree, through the
// platform bundle and the readers the monitor uses: the panel's and the
// keyboard's backlights, the displays, the thermal zones and the sound
// server's streams. Without a login manager on the bus, settings go straight
// to the device files, which the fixture lets the user write.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "linux/fixture_tree.h"
#include "linux/linux_platform.h"
#include "linux/sysfs_file.h"
#include "linux/thermal_zones.h"
#include "sensors/hardware/audio_playback.h"
#include "sensors/hardware/keyboard_light.h"
#include "sensors/hardware/screen.h"
#include "support/stub_environment.h"
#include "sys/virtual_run_loop.h"

namespace ebbwise::linux_host {
namespace {

using test::FixtureTree;

constexpr const char* kNoBus = "unix:path=/nonexistent/ebbwise-test-bus";

class HardwareStateTest : public ::testing::Test {
 protected:
  LinuxPlatform& host(SoundServerAudio::Options sound = {.pwDump = "/nonexistent/pw-dump",
                                                         .pactl = "/nonexistent/pactl"}) {
    if (!host_) {
      host_ = std::make_unique<LinuxPlatform>(loop.clock(), loop, environment,
                                              LinuxPlatform::Roots{.sys = sys.root(),
                                                                   .proc = proc.root(),
                                                                   .settings = settings.root(),
                                                                   .config = settings.root(),
                                                                   .executable = "/usr/bin/ebbwise",
                                                                   .systemBus = kNoBus,
                                                                   .sound = std::move(sound)},
                                              Notice{});
    }
    return *host_;
  }
  std::string read(const std::string& relative) {
    return SysfsFile::readLine(sys.path(relative)).value_or("(unreadable)");
  }

  FixtureTree sys{"sys/hardware-laptop"};
  FixtureTree proc{"proc/laptop"};
  FixtureTree settings;
  sys::VirtualRunLoop loop;
  test::StubEnvironment environment;
  std::unique_ptr<LinuxPlatform> host_;
};

TEST_F(HardwareStateTest, TheScreenIsTheFirmwareBacklightOfTheBuiltInPanel) {
  const sys::Platform p = host().platform();
  Screen screen(p.displays, p.displayServices);
  EXPECT_EQ(screen.builtInDisplay(), DrmDisplays::kBuiltInDisplay);
  EXPECT_NEAR(*screen.builtInBrightness(), 0.4, 1e-6);

  ASSERT_TRUE(screen.setBuiltInBrightness(0.75));
  EXPECT_EQ(read("class/backlight/acpi_video0/brightness"), "8");  // 0.75 × 10, rounded
  EXPECT_EQ(read("class/backlight/intel_backlight/brightness"), "38400");
  EXPECT_NEAR(*screen.builtInBrightness(), 0.8, 1e-6);
  ASSERT_TRUE(screen.setBuiltInBrightness(7.0));  // clamped
  EXPECT_EQ(read("class/backlight/acpi_video0/brightness"), "10");
}

TEST_F(HardwareStateTest, DisplaysFollowTheirConnectors) {
  sys::Displays& displays = host().platform().displays;
  auto active = displays.activeDisplays(8);
  ASSERT_TRUE(active);
  ASSERT_EQ(active->size(), 2u);  // the panel and the DisplayPort monitor, not the empty HDMI port
  EXPECT_EQ(active->front(), DrmDisplays::kBuiltInDisplay);
  EXPECT_TRUE(displays.isBuiltin(active->front()));
  EXPECT_FALSE(displays.isBuiltin(active->back()));
  EXPECT_EQ(displays.activeDisplays(1)->size(), 1u);
  const auto monitor = active->back();
  const auto uuid = displays.displayUUID(monitor);
  ASSERT_TRUE(uuid);
  EXPECT_EQ(uuid->size(), 36u);

  // The monitor sleeps; the lid closes: the panel is off, not asleep.
  sys.write("class/drm/card0-DP-1/dpms", "Off\n");
  sys.write("class/drm/card0-eDP-1/enabled", "disabled\n");
  EXPECT_TRUE(displays.isAsleep(monitor));
  EXPECT_EQ(displays.onlineDisplays(8), std::vector<sys::DisplayID>{monitor});
  EXPECT_EQ(displays.activeDisplays(8), std::vector<sys::DisplayID>{});
  EXPECT_EQ(displays.displayUUID(monitor), uuid);  // same port, same identity

  // A driver without connectors: the panel is known by its backlight alone.
  std::filesystem::remove_all(sys.path("class/drm"));
  EXPECT_EQ(displays.activeDisplays(8), std::vector<sys::DisplayID>{DrmDisplays::kBuiltInDisplay});
  sys.write("class/backlight/acpi_video0/bl_power", "4\n");
  sys.write("class/backlight/intel_backlight/bl_power", "4\n");
  EXPECT_TRUE(displays.isAsleep(DrmDisplays::kBuiltInDisplay));
}

TEST_F(HardwareStateTest, GarbledOrVanishingBacklightsReadAsAbsent) {
  const sys::Platform p = host().platform();
  Screen screen(p.displays, p.displayServices);
  // The firmware's device is unusable, so the raw register serves.
  sys.write("class/backlight/acpi_video0/max_brightness", "0\n");
  EXPECT_NEAR(*screen.builtInBrightness(), 0.4, 1e-6);
  for (const char* garbled : {"", "12abc\n", "99999999999999999999999\n", "-3\n", "96001\n"}) {
    sys.write("class/backlight/intel_backlight/brightness", garbled);
    EXPECT_FALSE(screen.builtInBrightness()) << '"' << garbled << '"';
  }
  std::filesystem::remove_all(sys.path("class/backlight"));
  EXPECT_FALSE(screen.builtInBrightness());
  EXPECT_FALSE(screen.setBuiltInBrightness(0.5));

  // The entry points refuse other displays and answer only their own names.
  auto getter = p.displayServices.brightnessGetter(BacklightDisplayServices::kFramework,
                                                   "DisplayServicesGetBrightness");
  float level = -1;
  ASSERT_TRUE(getter);
  EXPECT_EQ(getter(7, level), BacklightDisplayServices::kIllegalArgument);
  EXPECT_FALSE(p.displayServices.brightnessGetter(BacklightDisplayServices::kFramework,
                                                  "DisplayServicesCanChangeBrightness"));
}

TEST_F(HardwareStateTest, TheKeyboardLightIsTheKbdBacklightLed) {
  sys::CoreBrightness& core = host().platform().coreBrightness;
  KeyboardLight light(core);
  EXPECT_NEAR(*light.level(), 0.5, 1e-6);
  ASSERT_TRUE(light.setLevel(1.0));
  EXPECT_EQ(read("class/leds/tpacpi::kbd_backlight/brightness"), "2");
  EXPECT_EQ(read("class/leds/input3::capslock/brightness"), "0");

  auto client = core.makeKeyboardClient(LedKeyboardBrightness::kFramework,
                                        LedKeyboardBrightness::kClientClass);
  ASSERT_TRUE(client);
  EXPECT_EQ(*client->copyKeyboardBacklightIDs(), sys::Value::array({1}));
  EXPECT_TRUE(std::isnan(client->brightnessForKeyboard(2)));
  EXPECT_FALSE(client->setBrightness(0.5, 0));

  sys.write("class/leds/tpacpi::kbd_backlight/brightness", "lots\n");
  EXPECT_TRUE(std::isnan(client->brightnessForKeyboard(1)));
  // Unplugged (a detachable keyboard): no keyboard, as on a Mac without one.
  std::filesystem::remove_all(sys.path("class/leds/tpacpi::kbd_backlight"));
  EXPECT_EQ(*client->copyKeyboardBacklightIDs(), sys::Value::array());
  EXPECT_FALSE(light.level());
  EXPECT_FALSE(client->setBrightness(0.5, 1));
}

TEST_F(HardwareStateTest, HeatIsJudgedAgainstEachZonesTripPoints) {
  sys::ProcessInfo& info = host().platform().processInfo;
  EXPECT_EQ(info.thermalState(), sys::ThermalState::nominal);
  const auto zones = ThermalZones::read(sys.root());
  ASSERT_EQ(zones.size(), 4u);  // the cooling device is not a zone
  EXPECT_FALSE(zones[1].trips.size() != 1u) << "an unused trip slot at 0 is left out";
  EXPECT_FALSE(zones[2].milliCelsius) << "below absolute zero";

  struct Case {
    const char* zone;
    const char* temp;
    sys::ThermalState state;
  };
  for (const Case& c : {
           Case{"thermal_zone0", "70000", sys::ThermalState::fair},     // the fan's trip
           Case{"thermal_zone1", "95000", sys::ThermalState::serious},  // the kernel throttles
           Case{"thermal_zone3", "70500", sys::ThermalState::fair},  // 20 degrees short of critical
           Case{"thermal_zone3", "80000", sys::ThermalState::serious},    // 10 degrees short
           Case{"thermal_zone0", "105000", sys::ThermalState::critical},  // the critical trip
           Case{"thermal_zone2", "150000", sys::ThermalState::nominal},   // a disabled zone
           Case{"thermal_zone0", "hot!", sys::ThermalState::nominal},     // garbled
           Case{"thermal_zone0", "", sys::ThermalState::nominal},         // truncated
       }) {
    FixtureTree fresh("sys/hardware-laptop");
    fresh.write(std::string("class/thermal/") + c.zone + "/temp", c.temp);
    EXPECT_EQ(ThermalZones::judge(ThermalZones::read(fresh.root())), c.state)
        << c.zone << " at " << c.temp;
  }
  std::filesystem::remove_all(sys.path("class/thermal"));
  EXPECT_EQ(info.thermalState(), sys::ThermalState::nominal);
}

TEST_F(HardwareStateTest, ThermalChangesAreAnnouncedWhileSomeoneListens) {
  sys::ProcessInfo& info = host().platform().processInfo;
  int changes = 0;
  const auto id =
      info.addObserver(sys::ProcessInfoNotification::thermalStateDidChange, [&] { ++changes; });
  loop.runFor(LinuxProcessInfo::kThermalPollSeconds * 2);
  EXPECT_EQ(changes, 0);
  sys.write("class/thermal/thermal_zone1/temp", "96000\n");
  loop.runFor(LinuxProcessInfo::kThermalPollSeconds + 1);
  EXPECT_EQ(changes, 1);
  info.removeObserver(id);
  sys.write("class/thermal/thermal_zone1/temp", "40000\n");
  loop.runFor(LinuxProcessInfo::kThermalPollSeconds * 3);
  EXPECT_EQ(changes, 1);
}

// The sound server through a recorded dump, run as the real tool would be.
class SoundServerTest : public HardwareStateTest {
 protected:
  std::string dumpTool(const std::string& fixture) {
    const std::string tool = sys.path("pw-dump");
    std::ofstream(tool) << "#!/bin/sh\nexec cat '" << test::fixturePath(fixture) << "'\n";
    ::chmod(tool.c_str(), 0755);
    return tool;
  }
  // Runs the reading the first call starts on the provider's queue.
  void settle(sys::AudioSystem& audio) {
    std::uint32_t size = 0;
    audio.propertyDataSize(sys::kAudioObjectSystemObject, {AudioPlayback::kProcessObjectList},
                           size);
    loop.runFor(0.1);
  }
};

TEST_F(SoundServerTest, ARecordedDumpTellsWhoPlaysAndWhere) {
  const auto graph = AudioGraph::fromPipeWireDump(
      *SysfsFile::read(test::fixturePath("audio/pw-dump-laptop.json"), 1 << 20));
  ASSERT_TRUE(graph);
  // Firefox by its client, mpv by its own pid (paused), the sandboxed
  // capture by its socket's pid; the stream without a client is left out.
  const std::vector<AudioGraph::Stream> streams = {
      {4242, true, true}, {6001, true, false}, {5120, false, true}};
  EXPECT_EQ(graph->streams, streams);
  ASSERT_TRUE(graph->defaultOutput);
  // The default sink, not the one configured before it, on the card's speaker route.
  EXPECT_EQ(graph->defaultOutput->name, "alsa_output.pci-0000_00_1f.3.analog-stereo");
  EXPECT_EQ(graph->defaultOutput->transport, AudioGraph::Transport::builtIn);
  EXPECT_EQ(graph->defaultOutput->port, AudioGraph::Port::speaker);

  sys::Platform p =
      host({.pwDump = dumpTool("audio/pw-dump-laptop.json"), .pactl = "/nonexistent/pactl"})
          .platform();
  settle(p.audio);
  EXPECT_EQ(AudioPlayback::playingPIDs(p.audio, p.environment), (std::set<std::int32_t>{4242}));
  EXPECT_TRUE(AudioPlayback::outputIsBuiltInSpeakers(p.audio));
}

TEST_F(SoundServerTest, WithoutPipeWireThePulseAudioListingsServe) {
  const std::string tool = sys.path("pactl");
  const std::string fixtures = test::fixturePath("audio");
  std::ofstream(tool) << "#!/bin/sh\n"
                         "[ \"$1\" = --format=json ] || exit 1\n"
                         "case \"$2 $3\" in\n"
                         "  'list sink-inputs') exec cat '"
                      << fixtures
                      << "/pactl-sink-inputs.json' ;;\n"
                         "  'list sinks') exec cat '"
                      << fixtures
                      << "/pactl-sinks.json' ;;\n"
                         "  'info ') exec cat '"
                      << fixtures
                      << "/pactl-info.json' ;;\n"
                         "esac\n"
                         "exit 1\n";
  ::chmod(tool.c_str(), 0755);
  sys::Platform p = host({.pwDump = "/nonexistent/pw-dump", .pactl = tool}).platform();
  settle(p.audio);
  // Spotify plays; the film is paused; the nameless stream has no process.
  EXPECT_EQ(AudioPlayback::playingPIDs(p.audio, p.environment), (std::set<std::int32_t>{7310}));
  // The default sink is the USB interface, not the built-in speakers.
  EXPECT_FALSE(AudioPlayback::outputIsBuiltInSpeakers(p.audio));
  const auto graph =
      AudioGraph::fromPulseAudio(*SysfsFile::read(fixtures + "/pactl-sink-inputs.json", 1 << 20),
                                 *SysfsFile::read(fixtures + "/pactl-sinks.json", 1 << 20),
                                 *SysfsFile::read(fixtures + "/pactl-info.json", 1 << 20));
  ASSERT_TRUE(graph && graph->defaultOutput);
  EXPECT_EQ(graph->defaultOutput->transport, AudioGraph::Transport::usb);
  // Without the server's info there is no default output, but the streams stand.
  const auto partial = AudioGraph::fromPulseAudio(
      *SysfsFile::read(fixtures + "/pactl-sink-inputs.json", 1 << 20), "", "");
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->streams.size(), 2u);
  EXPECT_FALSE(partial->defaultOutput);
}

TEST_F(SoundServerTest, NoServerOrAGarbledDumpMeansNothingPlays) {
  FixtureTree dumps;
  const std::string full =
      *SysfsFile::read(test::fixturePath("audio/pw-dump-laptop.json"), 1 << 20);
  for (const std::string& text :
       {full.substr(0, full.size() / 2), std::string("{\"not\": \"a list\"}"),
        std::string("\xff\xfe garbage")}) {
    EXPECT_FALSE(AudioGraph::fromPipeWireDump(text)) << text.substr(0, 20);
  }
  // Objects of the wrong shape are skipped, not trusted.
  const auto odd = AudioGraph::fromPipeWireDump(
      R"([1, "x", {"type": 5}, {"type": "PipeWire:Interface:Node", "info": {"props":
          {"media.class": "Stream/Output/Audio", "application.process.id": -4}}}])");
  ASSERT_TRUE(odd);
  EXPECT_TRUE(odd->streams.empty());

  sys::Platform p = host().platform();  // neither tool is there
  settle(p.audio);
  EXPECT_TRUE(AudioPlayback::playingPIDs(p.audio, p.environment).empty());
  EXPECT_FALSE(AudioPlayback::outputIsBuiltInSpeakers(p.audio));
}

// Starting the tools is the dearest thing the monitor does: a machine without
// a sound server is asked again only now and then, one with a server at
// every refresh.
TEST_F(SoundServerTest, AnAbsentServerIsAskedSeldom) {
  struct CountingTools final : sys::ToolRunner {
    int runs = 0;
    std::optional<sys::ToolRun> answer;
    std::optional<sys::ToolRun> run(std::string_view, std::span<const std::string>) override {
      ++runs;
      return answer;
    }
  } tools;
  SoundServerAudio audio(tools, loop, loop.clock(),
                         {.refreshSeconds = 5, .staleSeconds = 90, .retrySeconds = 60});
  auto askEverySecond = [&](int seconds) {
    for (int i = 0; i < seconds; ++i) {
      settle(audio);
      loop.runFor(0.9);
    }
  };
  askEverySecond(30);
  EXPECT_EQ(tools.runs, 2);  // the dump, then the listing: once
  askEverySecond(35);
  EXPECT_EQ(tools.runs, 4);

  tools.answer = sys::ToolRun{R"([{"id": 0, "type": "PipeWire:Interface:Core"}])", 0};
  askEverySecond(61);
  const int found = tools.runs;
  askEverySecond(20);
  EXPECT_EQ(tools.runs - found, 4);  // every 5 seconds
}

}  // namespace
}  // namespace ebbwise::linux_host
