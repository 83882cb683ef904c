// The hardware report tool's Bluetooth and USB reports, and the tab list a
// browser's script returns. The first byte picks which.

#include <cstdint>
#include <string>

#include "base/utf8.h"
#include "fuzz_input.h"
#include "sensors/browsers/browser.h"
#include "sensors/browsers/media_sites.h"
#include "sensors/devices/device_battery.h"
#include "sensors/devices/usb_devices.h"

using namespace ebbwise;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  const auto kind = input.take<std::uint8_t>();
  const std::string_view text = input.remainingText();
  switch (kind % 3) {
    case 0:
      for (const DeviceBattery& device : DeviceBattery::parse(text)) {
        FUZZ_CHECK(!device.levels.empty());
        FUZZ_CHECK(Utf8::decode(device.name) == device.name);
        device.symbol();
      }
      break;
    case 1:
      for (const auto& [bus, names] : USBDevices::parse(text)) {
        FUZZ_CHECK(bus >= 1);
        FUZZ_CHECK(!names.empty());
        USBDevices::rowName(names);
      }
      break;
    case 2: {
      for (const std::string& url : Browser::tabURLs(text)) {
        FUZZ_CHECK(url.find('\n') == std::string::npos && url.find('\r') == std::string::npos);
        if (auto site = Browser::site(url)) {
          FUZZ_CHECK(!site->empty() && site->front() != '.' && site->back() != '.');
          FUZZ_CHECK(site->find("..") == std::string::npos);
          FUZZ_CHECK(Utf8::asciiLowercase(*site) == *site);
        }
      }
      const auto sites = MediaSites::suggestions(Browser::tabURLs(text));
      MediaSites::advice(sites);
      break;
    }
  }
  return 0;
}
