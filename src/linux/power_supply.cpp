#include "linux/power_supply.h"

#include <dirent.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "linux/sysfs_file.h"

namespace ebbwise::linux_host {

namespace {

// Bounds no real device crosses: a reading outside them is garbled.
constexpr std::int64_t kMaxCapacity = 1'000'000'000;  // 1000 Ah or 1000 Wh, in micro units
constexpr std::int64_t kMaxCurrent = 100'000'000;     // 100 A
constexpr std::int64_t kMaxPower = 1'000'000'000;     // 1 kW
constexpr std::int64_t kMaxVoltage = 100'000'000;     // 100 V

std::optional<std::int64_t> within(std::optional<std::int64_t> value, std::int64_t low,
                                   std::int64_t high) {
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

// The selected entry of a list such as "Unknown SDP C [PD] PD_PPS".
std::string selected(const std::string& list) {
  const auto open = list.find('[');
  const auto close = list.find(']', open);
  if (open == std::string::npos || close == std::string::npos) return {};
  return list.substr(open + 1, close - open - 1);
}

}  // namespace

std::optional<PowerSupply> PowerSupply::read(const std::string& folder, const std::string& name,
                                             OpenFiles* open) {
  // A device publishes a dozen of the attributes below at most; the folder
  // is listed once rather than every missing file asked for, as a monitor
  // reads it every second. A folder that cannot be listed is asked file by
  // file.
  std::optional<std::map<std::string, ino_t, std::less<>>> files;
  if (DIR* dir = ::opendir(folder.c_str())) {
    files.emplace();
    while (const dirent* entry = ::readdir(dir)) files->emplace(entry->d_name, entry->d_ino);
    ::closedir(dir);
  }
  // The first line without surrounding blanks, from the file held open when
  // the listing names it.
  auto line = [&](const char* file) -> std::optional<std::string> {
    std::optional<ino_t> inode;
    if (files) {
      const auto found = files->find(file);
      if (found == files->end()) return std::nullopt;
      inode = found->second;
    }
    const std::string path = folder + "/" + file;
    if (!open || !inode) return SysfsFile::readLine(path);
    const auto bytes = open->read(path, *inode);
    if (!bytes) return std::nullopt;
    return SysfsFile::firstLine(*bytes);
  };
  auto text = [&](const char* file) { return line(file).value_or(""); };
  auto number = [&](const char* file, std::int64_t low,
                    std::int64_t high) -> std::optional<std::int64_t> {
    const auto l = line(file);
    if (!l) return std::nullopt;
    return within(SysfsFile::parseInteger(*l), low, high);
  };
  auto flag = [&](const char* file) -> std::optional<bool> {
    const auto v = number(file, 0, 1);
    if (!v) return std::nullopt;
    return *v == 1;
  };

  auto type = line("type");
  if (!type || type->empty()) return std::nullopt;

  PowerSupply s;
  s.name = name;
  s.type = std::move(*type);
  s.scope = text("scope");
  s.status = text("status");
  s.usbType = selected(text("usb_type"));
  s.model = text("model_name");
  s.manufacturer = text("manufacturer");
  s.present = flag("present");
  s.online = flag("online");
  s.capacityPercent = number("capacity", 0, 100);
  s.chargeNow = number("charge_now", 0, kMaxCapacity);
  s.chargeFull = number("charge_full", 1, kMaxCapacity);
  s.chargeFullDesign = number("charge_full_design", 1, kMaxCapacity);
  s.energyNow = number("energy_now", 0, kMaxCapacity);
  s.energyFull = number("energy_full", 1, kMaxCapacity);
  s.energyFullDesign = number("energy_full_design", 1, kMaxCapacity);
  s.currentNow = number("current_now", -kMaxCurrent, kMaxCurrent);
  s.powerNow = number("power_now", -kMaxPower, kMaxPower);
  s.voltageNow = number("voltage_now", 1, kMaxVoltage);
  s.voltageMinDesign = number("voltage_min_design", 1, kMaxVoltage);
  s.voltageMaxDesign = number("voltage_max_design", 1, kMaxVoltage);
  s.voltageMax = number("voltage_max", 1, kMaxVoltage);
  s.currentMax = number("current_max", 1, kMaxCurrent);
  s.cycleCount = number("cycle_count", 0, 1'000'000);
  s.temperatureTenths = number("temp", -500, 1500);
  s.secondsToEmpty = number("time_to_empty_avg", 1, 10'000'000);
  if (!s.secondsToEmpty) s.secondsToEmpty = number("time_to_empty_now", 1, 10'000'000);
  s.secondsToFull = number("time_to_full_avg", 1, 10'000'000);
  if (!s.secondsToFull) s.secondsToFull = number("time_to_full_now", 1, 10'000'000);
  return s;
}

namespace {

std::string classFolder(const std::string& sysRoot) {
  return sysRoot + "/class/power_supply";
}

std::vector<std::string> deviceNames(const std::string& sysRoot) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(classFolder(sysRoot), error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<PowerSupply> PowerSupply::readAll(const std::string& sysRoot, OpenFiles* open) {
  const std::string classFolder = linux_host::classFolder(sysRoot);
  std::vector<PowerSupply> supplies;
  for (const std::string& name : deviceNames(sysRoot)) {
    if (auto supply = read(classFolder + "/" + name, name, open)) {
      supplies.push_back(std::move(*supply));
    }
  }
  // The files of devices that went are closed.
  if (open) open->sweep();
  return supplies;
}

bool PowerSupply::anySystemBattery(const std::string& sysRoot) {
  for (const std::string& name : deviceNames(sysRoot)) {
    const std::string folder = classFolder(sysRoot) + "/" + name;
    PowerSupply s;
    s.type = SysfsFile::readLine(folder + "/type").value_or("");
    if (s.type != "Battery") continue;
    s.scope = SysfsFile::readLine(folder + "/scope").value_or("");
    const auto present = within(SysfsFile::readInteger(folder + "/present"), 0, 1);
    if (present) s.present = *present == 1;
    if (s.isSystemBattery()) return true;
  }
  return false;
}

bool PowerSupply::isSystemBattery() const {
  return type == "Battery" && scope != "Device" && present != false;
}

bool PowerSupply::isAdapter() const {
  return type == "Mains" || type.starts_with("USB") || type == "Wireless" || type == "BrickID";
}

}  // namespace ebbwise::linux_host
