// The Bluetooth and USB reports, the USB-C partners and the tool run behind
// the reports.

#include <gtest/gtest.h>

#include <string>

#include "sensors/devices/device_battery.h"
#include "sensors/devices/system_profiler.h"
#include "sensors/devices/usb_devices.h"
#include "sensors/devices/usbc_partners.h"
#include "sys/in_memory_registry.h"

namespace ebbwise {
namespace {

using Level = DeviceBattery::Level;

std::string bluetooth(const std::string& connected, const std::string& notConnected = "[]") {
  return R"({"SPBluetoothDataType": [{"controller_properties": {"controller_state": "attrib_on"},
           "device_connected": )" +
         connected + R"(, "device_not_connected": )" + notConnected + "}]}";
}

TEST(DeviceBatteryTest, ReadsLevelsKindAndSection) {
  auto keyboard = DeviceBattery::parse(bluetooth(
      R"([{"Keyboard": {"device_batteryLevelMain": "85%", "device_minorType": "Keyboard"}}])",
      R"([{"Mouse": {"device_minorType": "Mouse"}}])"));
  EXPECT_EQ(keyboard, (std::vector<DeviceBattery>{{"Keyboard", "Keyboard", {{"", 85}}, true}}));

  auto earbuds = DeviceBattery::parse(bluetooth(R"([{"Pods ": {
      "device_batteryLevelCase": "40%", "device_batteryLevelRight": "88 %",
      "device_batteryLevelLeft": "90%", "device_batteryLevelMain": "n/a"}}])"));
  ASSERT_EQ(earbuds.size(), 1u);
  EXPECT_EQ(earbuds[0].name, "Pods ") << "names are kept as the report gives them";
  EXPECT_EQ(earbuds[0].levels, (std::vector<Level>{{"L", 90}, {"R", 88}, {"case", 40}}));
  EXPECT_EQ(earbuds[0].kind, "");

  auto listed = DeviceBattery::parse(bluetooth(
      R"([{"Zeta": {"device_batteryLevelMain": "1%"}}, {"Alpha": {"device_batteryLevelMain": "2%"}},
          {"Same": {"device_batteryLevelMain": "3%"}}])",
      R"([{"Alpha2": {"device_batteryLevelMain": "4%"}}, {"Same": {"device_batteryLevelMain": "5%"}},
          {"Aardvark": {"device_batteryLevelMain": 6}}])"));
  std::vector<std::pair<std::string, bool>> order;
  for (const auto& d : listed) order.emplace_back(d.name, d.isConnected);
  EXPECT_EQ(order, (std::vector<std::pair<std::string, bool>>{
                       {"Alpha", true}, {"Same", true}, {"Zeta", true}, {"Alpha2", false}}));
  EXPECT_EQ(listed[1].levels, (std::vector<Level>{{"", 3}})) << "the connected entry wins";
}

TEST(DeviceBatteryTest, BadReportsGiveNothingOrWhatIsSound) {
  const std::string good = bluetooth(R"([{"Mouse": {"device_batteryLevelMain": "70%"}}])");
  const std::string bad[] = {
      "",
      "not json",
      good.substr(0, good.size() / 2),
      "[]",
      R"({"SPBluetoothDataType": []})",
      R"({"SPBluetoothDataType": {}})",
      R"({"SPBluetoothDataType": [[]]})",
      bluetooth(R"({"Mouse": {}})"),
      bluetooth(R"([["Mouse"]])"),
      bluetooth(R"([{"Mouse": {"device_batteryLevelMain": "999999999999%"}}])")};
  for (const std::string& text : bad) EXPECT_TRUE(DeviceBattery::parse(text).empty()) << text;

  // A name that is not UTF-8 spoils only itself.
  auto odd =
      DeviceBattery::parse(bluetooth("[{\"M\xFFouse\": {\"device_batteryLevelMain\": \"7%\"}}]"));
  ASSERT_EQ(odd.size(), 1u);
  EXPECT_EQ(odd[0].name, "M\uFFFDouse");

  // Several MiB of devices.
  std::string many = "[";
  for (int i = 0; i < 60000; ++i) {
    many += (i ? "," : "") + std::string(R"({"Device )") + std::to_string(i) +
            R"(": {"device_batteryLevelMain": "50%", "device_minorType": "Mouse"}})";
  }
  many += "]";
  ASSERT_GT(many.size(), 4u << 20);
  EXPECT_EQ(DeviceBattery::parse(bluetooth(many)).size(), 60000u);
}

TEST(USBDevicesTest, NamesPerBusWithoutHubs) {
  auto buses = USBDevices::parse(R"({"SPUSBDataType": [
      {"_name": "USB31Bus", "_items": [{"_name": "USB3.1 Hub", "_items": [{"_name": "iPhone"}]}]},
      {"_name": "USB31Bus"},
      {"_name": "USB31Bus", "_items": [{"_name": "T7"}, {"_name": 5}, {"_name": "USB2 HUB"},
                                       {"_name": "Keyboard"}]}]})");
  EXPECT_EQ(buses, (USBDevices::Buses{{1, {"iPhone"}}, {3, {"T7", "Keyboard"}}}));
  EXPECT_EQ(USBDevices::rowName(buses[1]), "iPhone, charging");
  EXPECT_EQ(USBDevices::rowName(std::nullopt), "USB-C device");
  EXPECT_EQ(USBDevices::rowName(std::vector<std::string>{}), "USB-C device");

  const std::pair<const char*, const char*> friendly[] = {{"Alex's Apple WATCH", "Apple Watch"},
                                                          {"Sam’s iPhone 15", "iPhone"},
                                                          {"iPad Pro", "iPad"},
                                                          {"AirPods case", "AirPods"},
                                                          {"T7 Shield", "T7 Shield"}};
  for (const auto& [name, shown] : friendly) EXPECT_EQ(USBDevices::friendlyName(name), shown);
}

TEST(USBDevicesTest, BadTreesGiveWhatCanBeRead) {
  for (const char* text : {"", "{", "[]", R"({"SPUSBDataType": {}})",
                           R"({"SPUSBDataType": [{"_items": {"_name": "x"}}]})"}) {
    EXPECT_TRUE(USBDevices::parse(text).empty()) << text;
  }
  // Hubs nested far deeper than USB allows are followed only so far.
  std::string deep = R"({"SPUSBDataType": [)";
  const int levels = 50000;
  for (int i = 0; i < levels; ++i) deep += R"({"_name": "d", "_items": [)";
  deep += std::string("{}");
  for (int i = 0; i < levels; ++i) deep += "]}";
  deep += "]}";
  auto buses = USBDevices::parse(deep);
  ASSERT_EQ(buses.size(), 1u);
  EXPECT_EQ(buses[1].size(), static_cast<std::size_t>(USBDevices::maxDepth + 1));
}

TEST(USBCPartnersTest, PortsAndVendorsFromTheRegistry) {
  const std::pair<const char*, std::optional<int>> ports[] = {
      {"Port-USB-C@2/CC/USB-PD/SOP", 2}, {"Port-USB-C@14", 14},
      {"Port-USB-C@", std::nullopt},     {"Port-USB-C@x1", std::nullopt},
      {"Port-MagSafe@1", std::nullopt},  {"Port-USB-C@99999999999999", std::nullopt}};
  for (const auto& [text, port] : ports) EXPECT_EQ(USBCPartners::port(text), port) << text;

  sys::InMemoryRegistry registry;
  const char* partner = "IOPortTransportComponentCCUSBPDSOP";
  registry.add(partner, {{"Description", "Port-USB-C@1/CC"}, {"Vendor ID", 0x291A}});
  registry.add(partner, {{"Description", "Port-USB-C@2/CC"}, {"Vendor ID", 0}});
  registry.add(partner, {{"Description", "Port-USB-C@3/CC"}, {"Vendor ID", "0x05AC"}});
  registry.add(partner, {{"Vendor ID", 0x05AC}});
  registry.add(partner, {{"Description", "Port-USB-C@4/CC"}, {"Vendor ID", 0x2B89}});
  registry.add(partner, {{"Description", "Port-USB-C@4/CC"}, {"Vendor ID", 0x413C}});
  EXPECT_EQ(USBCPartners::read(registry), (USBCPartners::Partners{{1, 0x291A}, {4, 0x413C}}));
  EXPECT_EQ(USBCPartners::brand(0x291A), "Anker");
  EXPECT_EQ(USBCPartners::brand(0x2B89), std::nullopt);
  EXPECT_EQ(USBCPartners::brands().size(), 10u);
}

// A tool runner that records what it was asked and answers as told.
class ScriptedTools final : public sys::ToolRunner {
 public:
  std::optional<sys::ToolRun> answer;
  std::string path;
  std::vector<std::string> arguments;
  std::optional<sys::ToolRun> run(std::string_view p, std::span<const std::string> a) override {
    path = p;
    arguments.assign(a.begin(), a.end());
    return answer;
  }
};

TEST(SystemProfilerTest, RunsTheToolAndDropsCutShortRuns) {
  ScriptedTools tools;
  EXPECT_TRUE(DeviceBattery::read(tools).empty()) << "the tool cannot start";
  EXPECT_EQ(tools.path, "/usr/sbin/system_profiler");
  EXPECT_EQ(tools.arguments,
            (std::vector<std::string>{"-json", "-detailLevel", "basic", "SPBluetoothDataType"}));
  const std::string report = R"({"SPUSBDataType": [{"_items": [{"_name": "iPhone"}]}]})";
  tools.answer = sys::ToolRun{report, 0};
  EXPECT_EQ(USBDevices::read(tools), (USBDevices::Buses{{1, {"iPhone"}}}));
  EXPECT_EQ(tools.arguments,
            (std::vector<std::string>{"-json", "-detailLevel", "mini", "SPUSBDataType"}));
  tools.answer = sys::ToolRun{report, std::nullopt, true, false};
  EXPECT_TRUE(USBDevices::read(tools).empty()) << "killed for taking too long";
  tools.answer = sys::ToolRun{report, std::nullopt, false, true};
  EXPECT_TRUE(USBDevices::read(tools).empty()) << "killed for writing too much";
}

}  // namespace
}  // namespace ebbwise
