#include "linux/backlight_device.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>

#include "linux/sysfs_file.h"
#include "linux/unique_fd.h"

namespace ebbwise::linux_host {

namespace {

// Lower is preferred: the firmware knows the panel's real curve, the raw
// register of the graphics card is the last resort.
int typeRank(const std::string& type) {
  if (type == "firmware") return 0;
  if (type == "platform") return 1;
  if (type == "raw") return 2;
  return 3;
}

std::vector<BacklightDevice> devicesOf(const std::string& sysRoot, const std::string& subsystem) {
  std::vector<BacklightDevice> out;
  std::error_code error;
  const std::string classFolder = sysRoot + "/class/" + subsystem;
  for (const auto& entry : std::filesystem::directory_iterator(classFolder, error)) {
    const std::string name = entry.path().filename().string();
    out.push_back({subsystem, name, classFolder + "/" + name});
  }
  std::sort(out.begin(), out.end(),
            [](const BacklightDevice& a, const BacklightDevice& b) { return a.name < b.name; });
  return out;
}

}  // namespace

std::optional<BacklightDevice> BacklightDevice::screen(const std::string& sysRoot) {
  std::optional<BacklightDevice> best;
  int bestRank = 0;
  for (auto& device : devicesOf(sysRoot, "backlight")) {
    const auto max = device.maxBrightness();
    if (!max || *max <= 0) continue;
    const int rank = typeRank(SysfsFile::readLine(device.folder + "/type").value_or(""));
    if (!best || rank < bestRank) {
      best = std::move(device);
      bestRank = rank;
    }
  }
  return best;
}

std::vector<BacklightDevice> BacklightDevice::keyboards(const std::string& sysRoot) {
  auto devices = devicesOf(sysRoot, "leds");
  std::erase_if(devices, [](const BacklightDevice& d) {
    return d.name.find("kbd_backlight") == std::string::npos;
  });
  return devices;
}

std::optional<std::int64_t> BacklightDevice::maxBrightness() const {
  return SysfsFile::readInteger(folder + "/max_brightness");
}

std::optional<std::int64_t> BacklightDevice::brightness() const {
  return SysfsFile::readInteger(folder + "/brightness");
}

std::optional<double> BacklightDevice::level() const {
  const auto max = maxBrightness();
  const auto now = brightness();
  if (!max || !now || *max <= 0 || *now < 0 || *now > *max) return std::nullopt;
  return static_cast<double>(*now) / static_cast<double>(*max);
}

std::optional<std::uint32_t> BacklightDevice::rawFor(double level) const {
  const auto max = maxBrightness();
  if (!max || *max <= 0 || *max > UINT32_MAX) return std::nullopt;
  const double clamped = std::isnan(level) ? 0.0 : std::clamp(level, 0.0, 1.0);
  return static_cast<std::uint32_t>(std::lround(clamped * static_cast<double>(*max)));
}

bool BacklightDevice::isPoweredDown() const {
  const auto power = SysfsFile::readInteger(folder + "/bl_power");
  return power && *power != 0;
}

bool BacklightDevice::writeDirectly(std::uint32_t value) const {
  const std::string path = folder + "/brightness";
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  UniqueFd file(fd);
  const std::string text = std::to_string(value) + "\n";
  ssize_t n;
  do {
    n = ::write(fd, text.data(), text.size());
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(text.size());
}

}  // namespace ebbwise::linux_host
