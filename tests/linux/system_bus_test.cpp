// The providers that talk to system daemons, against a private bus started
// by the test and a small service of the test's own on it that speaks the
// daemons' interfaces (the real ones do not run in a container): the login
// manager's SetBrightness, the power-profiles daemon's ActiveProfile and
// BlueZ's objects with their Battery1 interface.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "linux/linux_platform.h"
#include "linux/private_bus.h"
#include "linux/sysfs_file.h"
#include "linux/system_clock.h"
#include "sensors/devices/device_battery.h"
#include "sensors/hardware/keyboard_light.h"
#include "sensors/hardware/screen.h"
#include "support/stub_environment.h"

namespace ebbwise::linux_host {
namespace {

namespace fs = std::filesystem;
using test::FixtureTree;

// One D-Bus property value of BlueZ's objects.
struct Property {
  std::string key;
  char type;  // 's', 'o', 'b', 'y', 'q' or 'i'
  std::string text;
  double number = 0;
};
using Interfaces = std::map<std::string, std::vector<Property>>;

// The daemons' side of the bus, on a thread of its own: everything touching
// its connection runs there.
class FakeDaemons {
 public:
  struct BrightnessCall {
    std::string subsystem, name;
    std::uint32_t value;
    friend bool operator==(const BrightnessCall&, const BrightnessCall&) = default;
  };

  FakeDaemons(const std::string& address, std::string sysRoot)
      : sysRoot_(std::move(sysRoot)), service_(address) {
    sd_bus* bus = service_.bus();
    if (!bus) return;
    sd_bus_add_object(bus, nullptr, LoginBrightness::kSessionPath, &FakeDaemons::login, this);
    sd_bus_add_object(bus, nullptr, kProfilesPath, &FakeDaemons::profiles, this);
    sd_bus_add_object(bus, nullptr, "/", &FakeDaemons::bluez, this);
    for (const char* name : {LoginBrightness::kService, kProfilesService, "org.bluez"}) {
      sd_bus_request_name(bus, name, 0);
    }
    service_.start();
  }
  bool ready() const { return service_.running(); }
  void onBus(std::function<void(sd_bus*)> work) { service_.onBus(std::move(work)); }

  std::vector<BrightnessCall> calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  void refuseBrightness() {
    std::lock_guard lock(mutex_);
    refuse_ = true;
  }
  std::string profile() {
    std::lock_guard lock(mutex_);
    return profile_;
  }
  // The daemon switches by itself (the user chose in the desktop's menu).
  void switchProfile(const std::string& profile) {
    {
      std::lock_guard lock(mutex_);
      profile_ = profile;
    }
    onBus([&](sd_bus* bus) { announce(bus, profile); });
  }
  void stopProfilesDaemon() {
    onBus([](sd_bus* bus) { sd_bus_release_name(bus, kProfilesService); });
  }
  void setBluetooth(std::map<std::string, Interfaces> objects) {
    std::lock_guard lock(mutex_);
    objects_ = std::move(objects);
  }

  static constexpr const char* kProfilesService = "org.freedesktop.UPower.PowerProfiles";
  static constexpr const char* kProfilesPath = "/org/freedesktop/UPower/PowerProfiles";

 private:
  static void announce(sd_bus* bus, const std::string& profile) {
    BusMessage signal;
    sd_bus_message_new_signal(bus, &signal.m, kProfilesPath, "org.freedesktop.DBus.Properties",
                              "PropertiesChanged");
    sd_bus_message_append(signal.m, "sa{sv}as", kProfilesService, 1, "ActiveProfile", "s",
                          profile.c_str(), 0);
    sd_bus_send(bus, signal.m, nullptr);
  }

  // The login manager's session: SetBrightness writes the device's file.
  static int login(sd_bus_message* m, void* self, sd_bus_error*) {
    auto& d = *static_cast<FakeDaemons*>(self);
    if (!sd_bus_message_is_method_call(m, LoginBrightness::kSessionInterface, "SetBrightness")) {
      return 0;
    }
    const char *subsystem = nullptr, *name = nullptr;
    std::uint32_t value = 0;
    if (sd_bus_message_read(m, "ssu", &subsystem, &name, &value) < 0) return -EINVAL;
    std::lock_guard lock(d.mutex_);
    d.calls_.push_back({subsystem, name, value});
    if (d.refuse_) {
      return sd_bus_reply_method_errorf(m, "org.freedesktop.DBus.Error.AccessDenied",
                                        "Not in an active session");
    }
    std::ofstream(d.sysRoot_ + "/class/" + subsystem + "/" + name + "/brightness") << value << "\n";
    return sd_bus_reply_method_return(m, "");
  }

  static int profiles(sd_bus_message* m, void* self, sd_bus_error*) {
    auto& d = *static_cast<FakeDaemons*>(self);
    const char *interface = nullptr, *name = nullptr;
    if (sd_bus_message_is_method_call(m, "org.freedesktop.DBus.Properties", "Get")) {
      sd_bus_message_read(m, "ss", &interface, &name);
      std::lock_guard lock(d.mutex_);
      return sd_bus_reply_method_return(m, "v", "s", d.profile_.c_str());
    }
    if (sd_bus_message_is_method_call(m, "org.freedesktop.DBus.Properties", "Set")) {
      const char* value = nullptr;
      if (sd_bus_message_read(m, "ssv", &interface, &name, "s", &value) < 0) return -EINVAL;
      const std::string profile = value;
      if (profile != "power-saver" && profile != "balanced" && profile != "performance") {
        return sd_bus_reply_method_errorf(m, "org.freedesktop.DBus.Error.InvalidArgs",
                                          "Invalid profile");
      }
      {
        std::lock_guard lock(d.mutex_);
        d.profile_ = profile;
      }
      sd_bus_reply_method_return(m, "");
      announce(sd_bus_message_get_bus(m), profile);
      return 1;
    }
    return 0;
  }

  static int bluez(sd_bus_message* m, void* self, sd_bus_error*) {
    auto& d = *static_cast<FakeDaemons*>(self);
    if (!sd_bus_message_is_method_call(m, "org.freedesktop.DBus.ObjectManager",
                                       "GetManagedObjects")) {
      return 0;
    }
    BusMessage reply;
    sd_bus_message_new_method_return(m, &reply.m);
    sd_bus_message* r = reply.m;
    std::lock_guard lock(d.mutex_);
    sd_bus_message_open_container(r, 'a', "{oa{sa{sv}}}");
    for (const auto& [path, interfaces] : d.objects_) {
      sd_bus_message_open_container(r, 'e', "oa{sa{sv}}");
      sd_bus_message_append(r, "o", path.c_str());
      sd_bus_message_open_container(r, 'a', "{sa{sv}}");
      for (const auto& [interface, properties] : interfaces) {
        sd_bus_message_open_container(r, 'e', "sa{sv}");
        sd_bus_message_append(r, "s", interface.c_str());
        sd_bus_message_open_container(r, 'a', "{sv}");
        for (const Property& p : properties) {
          const char type[2] = {p.type, 0};
          if (p.type == 's' || p.type == 'o') {
            sd_bus_message_append(r, "{sv}", p.key.c_str(), type, p.text.c_str());
          } else {  // the integer types, widened as the bus library reads them
            sd_bus_message_append(r, "{sv}", p.key.c_str(), type, static_cast<int>(p.number));
          }
        }
        sd_bus_message_close_container(r);
        sd_bus_message_close_container(r);
      }
      sd_bus_message_close_container(r);
      sd_bus_message_close_container(r);
    }
    sd_bus_message_close_container(r);
    sd_bus_send(nullptr, r, nullptr);
    return 1;
  }

  std::string sysRoot_;
  std::mutex mutex_;
  std::vector<BrightnessCall> calls_;
  bool refuse_ = false;
  std::string profile_ = "balanced";
  std::map<std::string, Interfaces> objects_;
  test::BusThread service_;
};

class SystemBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (bus.empty()) GTEST_SKIP() << "no dbus-run-session to start a private bus";
    daemons = std::make_unique<FakeDaemons>(bus, sys.root());
    ASSERT_TRUE(daemons->ready());
    host = std::make_unique<LinuxPlatform>(
        clock, loop, environment,
        LinuxPlatform::Roots{.sys = sys.root(),
                             .proc = proc.root(),
                             .settings = settings.root(),
                             .config = settings.root(),
                             .executable = "/usr/bin/ebbwise",
                             .systemBus = bus,
                             .sound = {.pwDump = "/nonexistent", .pactl = "/nonexistent"}},
        Notice{});
  }
  void TearDown() override {
    host.reset();  // before the daemons, so its watcher sees them to the end
    daemons.reset();
  }

  bool runUntil(const std::function<bool()>& done) { return test::runUntil(loop, done); }

  std::optional<sys::ScriptOutcome> lowPower(bool on) {
    std::optional<sys::ScriptOutcome> outcome;
    host->platform().privilegedScripts.run(
        std::string("do shell script \"/usr/bin/pmset -a lowpowermode ") + (on ? "1" : "0") +
            "\" with administrator privileges",
        [&](sys::ScriptOutcome o) { outcome = std::move(o); });
    runUntil([&] { return outcome.has_value(); });
    return outcome;
  }

  const std::string& bus = test::PrivateBus::address();
  FixtureTree sys{"sys/hardware-laptop"};
  FixtureTree proc{"proc/laptop"};
  FixtureTree settings;
  SystemClock clock;
  sys::RealRunLoop loop;
  test::StubEnvironment environment;
  std::unique_ptr<FakeDaemons> daemons;
  std::unique_ptr<LinuxPlatform> host;
};

TEST_F(SystemBusTest, BrightnessIsSetThroughTheLoginManager) {
  const sys::Platform p = host->platform();
  Screen screen(p.displays, p.displayServices);
  KeyboardLight keyboard(p.coreBrightness);
  ASSERT_TRUE(screen.setBuiltInBrightness(0.6));
  ASSERT_TRUE(keyboard.setLevel(0));
  const std::vector<FakeDaemons::BrightnessCall> calls = {{"backlight", "acpi_video0", 6},
                                                          {"leds", "tpacpi::kbd_backlight", 0}};
  EXPECT_EQ(daemons->calls(), calls);
  EXPECT_NEAR(*screen.builtInBrightness(), 0.6, 1e-6);
  EXPECT_NEAR(*keyboard.level(), 0.0, 1e-6);

  // Refused (not the active session): the device's file is written instead
  // where the user may; where it cannot be, the setting fails.
  daemons->refuseBrightness();
  ASSERT_TRUE(screen.setBuiltInBrightness(0.3));
  EXPECT_EQ(SysfsFile::readLine(sys.path("class/backlight/acpi_video0/brightness")), "3");
  fs::remove(sys.path("class/leds/tpacpi::kbd_backlight/brightness"));
  fs::create_directory(sys.path("class/leds/tpacpi::kbd_backlight/brightness"));
  EXPECT_FALSE(keyboard.setLevel(1));
  EXPECT_EQ(daemons->calls().size(), 4u);
}

TEST_F(SystemBusTest, LowPowerModeIsThePowerSaverProfile) {
  sys::ProcessInfo& info = host->platform().processInfo;
  int announced = 0;
  info.addObserver(sys::ProcessInfoNotification::powerStateDidChange, [&] { ++announced; });
  EXPECT_FALSE(info.isLowPowerModeEnabled());

  // The user switches in the desktop's menu: the change is announced.
  daemons->switchProfile("power-saver");
  ASSERT_TRUE(runUntil([&] { return announced == 1; }));
  EXPECT_TRUE(info.isLowPowerModeEnabled());

  // The monitor's switch goes to the daemon, which answers at once.
  auto off = lowPower(false);
  ASSERT_TRUE(off);
  EXPECT_FALSE(off->error) << off->error->message.value_or("");
  EXPECT_EQ(daemons->profile(), "balanced");
  EXPECT_FALSE(info.isLowPowerModeEnabled());
  ASSERT_TRUE(runUntil([&] { return announced == 2; }));
  EXPECT_FALSE(lowPower(true)->error);
  EXPECT_EQ(daemons->profile(), "power-saver");

  // The daemon goes: no profile, so Low Power Mode reads off, and a switch
  // says what is missing.
  daemons->stopProfilesDaemon();
  ASSERT_TRUE(runUntil([&] { return !info.isLowPowerModeEnabled(); }));
  auto refused = lowPower(true);
  ASSERT_TRUE(refused && refused->error);
  EXPECT_NE(refused->error->message.value_or("").find("power profiles daemon"), std::string::npos);

  // Any other script is not one Linux can run.
  std::optional<sys::ScriptOutcome> other;
  host->platform().privilegedScripts.run(
      "do shell script \"rm -rf /\" with administrator privileges",
      [&](sys::ScriptOutcome o) { other = std::move(o); });
  ASSERT_TRUE(runUntil([&] { return other.has_value(); }));
  EXPECT_TRUE(other->error);
}

Property text(std::string key, std::string value, char type = 's') {
  return {std::move(key), type, std::move(value)};
}
Property number(std::string key, char type, double value) {
  return {std::move(key), type, "", value};
}

TEST_F(SystemBusTest, BluetoothBatteriesComeFromBlueZ) {
  auto device = [](std::string alias, std::string address, bool connected, bool paired,
                   std::string icon) {
    return std::vector<Property>{text("Address", address),
                                 text("Alias", alias),
                                 text("Icon", icon),
                                 number("Connected", 'b', connected),
                                 number("Paired", 'b', paired),
                                 text("Modalias", "usb:v046DpB023d0011")};
  };
  daemons->setBluetooth({
      {"/org/bluez/hci0",
       {{"org.bluez.Adapter1", {text("Address", "AA:BB:CC:00:11:22"), number("Powered", 'b', 1)}}}},
      {"/org/bluez/hci0/dev_01",
       {{"org.bluez.Device1",
         device("MX Master 3", "01:02:03:04:05:06", true, true, "input-mouse")},
        {"org.bluez.Battery1", {number("Percentage", 'y', 85)}}}},
      {"/org/bluez/hci0/dev_02",
       {{"org.bluez.Device1", device("Keys", "01:02:03:04:05:07", true, true, "input-keyboard")},
        // A battery that reports nonsense, then one of the wrong type.
        {"org.bluez.Battery1", {number("Percentage", 'y', 250)}}}},
      {"/org/bluez/hci0/dev_03",
       {{"org.bluez.Device1", device("Buds", "01:02:03:04:05:08", true, true, "audio-headphones")},
        {"org.bluez.Battery1", {text("Percentage", "60")}}}},
      {"/org/bluez/hci0/dev_04",
       {{"org.bluez.Device1", device("Old mouse", "01:02:03:04:05:09", false, true, "input-mouse")},
        {"org.bluez.Battery1", {number("Percentage", 'y', 40)}}}},
      {"/org/bluez/hci0/dev_05",
       {{"org.bluez.Device1",
         device("Neighbour's phone", "01:02:03:04:05:0A", false, false, "phone")}}},
  });
  sys::ToolRunner& tools = host->platform().toolRunner;
  const auto batteries = DeviceBattery::read(tools);
  ASSERT_EQ(batteries.size(), 1u);
  EXPECT_EQ(batteries[0].name, "MX Master 3");
  EXPECT_EQ(batteries[0].kind, "Mouse");
  EXPECT_TRUE(batteries[0].isConnected);
  EXPECT_EQ(batteries[0].levels, (std::vector<DeviceBattery::Level>{{"", 85}}));

  const std::vector<std::string> arguments = {"-json", "SPBluetoothDataType"};
  const auto report = sys::Value::parse(tools.run("/usr/sbin/system_profiler", arguments)->output);
  const auto& controller = report["SPBluetoothDataType"][0];
  EXPECT_EQ(controller["controller_properties"]["controller_state"], "attrib_on");
  EXPECT_EQ(controller["device_connected"].size(), 3u);
  ASSERT_EQ(controller["device_not_connected"].size(), 1u);  // the neighbour's phone is not ours
  EXPECT_TRUE(controller["device_not_connected"][0].contains("Old mouse"));

  // BlueZ gone: a machine without Bluetooth, not a failed tool.
  daemons->onBus([](sd_bus* bus) { sd_bus_release_name(bus, "org.bluez"); });
  const auto empty = tools.run("/usr/sbin/system_profiler", arguments);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->exitStatus, 0);
  EXPECT_EQ(sys::Value::parse(empty->output)["SPBluetoothDataType"].size(), 0u);
  // Other tools still run for real.
  EXPECT_EQ(tools.run("/bin/echo", std::vector<std::string>{"hi"})->output, "hi\n");
}

}  // namespace
}  // namespace ebbwise::linux_host
