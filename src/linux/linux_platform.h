#pragma once

#include <memory>
#include <optional>
#include <string>

#include "linux/autostart_login_item.h"
#include "linux/backlight_display_services.h"
#include "linux/bluetooth_tool_runner.h"
#include "linux/desktop_notifications.h"
#include "linux/drm_displays.h"
#include "linux/host_tool_runner.h"
#include "linux/led_keyboard_brightness.h"
#include "linux/linux_process_info.h"
#include "linux/login_brightness.h"
#include "linux/notice.h"
#include "linux/platform_environment.h"
#include "linux/power_profile_scripts.h"
#include "linux/power_supply_registry.h"
#include "linux/power_supply_smc.h"
#include "linux/proc_processes.h"
#include "linux/rapl_counters.h"
#include "linux/rapl_io_report.h"
#include "linux/sound_server_audio.h"
#include "linux/xdg_workspace.h"
#include "sys/null_platform.h"

namespace ebbwise::linux_host {

// Every platform service a Linux machine has, from the folders the kernel
// publishes: the battery and adapters as the battery's registry entry, the
// battery's and the platform's power as the SMC's, the processor's energy
// counters as the chip's energy model, processes from procfs, the displays
// and the panel's and keyboard's backlights (set through the login manager),
// the sound server's streams as the audio system, the thermal zones and the
// power-profiles daemon as the heat and Low Power Mode (switched by the one
// privileged script Linux can serve), BlueZ's devices as the Bluetooth
// report, real tools and a settings file, the desktop's notifications, its
// autostart entries and its opener of addresses. What Linux lacks is served
// as absent (among others the window list and the update framework).
class LinuxPlatform {
 public:
  struct Roots {
    std::string sys = "/sys";
    std::string proc = "/proc";
    // Where the settings file lives; the user's configuration folder when
    // not given, and an in-memory store when there is none.
    std::optional<std::string> settings;
    // The bus of the desktop's notification service; the user's session bus
    // when not given.
    std::optional<std::string> notificationBus{};
    // The folder whose "autostart" holds the login item; the user's
    // configuration folder when not given, and no login item without one.
    std::optional<std::string> config{};
    // The program the login item starts; this program when not given.
    std::optional<std::string> executable{};
    // The bus of the login manager, the power-profiles daemon and the
    // Bluetooth service; the system bus when not given.
    std::optional<std::string> systemBus{};
    // The sound server's tools.
    SoundServerAudio::Options sound{};
  };

  LinuxPlatform(sys::Clock& clock, sys::RunLoop& runLoop, sys::Environment& environment,
                Roots roots, Notice notice = standardErrorNotice());
  // The machine's own folders.
  LinuxPlatform(sys::Clock& clock, sys::RunLoop& runLoop, sys::Environment& environment)
      : LinuxPlatform(clock, runLoop, environment, Roots{}) {}
  LinuxPlatform(const LinuxPlatform&) = delete;
  LinuxPlatform& operator=(const LinuxPlatform&) = delete;

  sys::Platform platform();

 private:
  sys::NullPlatform absent_;
  PlatformEnvironment environment_;
  RaplCounters counters_;
  PowerSupplyCache supplies_;
  PowerSupplyRegistry registry_;
  ProcProcesses processes_;
  PowerSupplySMC smc_;
  RaplIOReport ioReport_;
  HostToolRunner toolRunner_;
  BluetoothToolRunner tools_;
  LoginBrightness brightness_;
  DrmDisplays displays_;
  BacklightDisplayServices displayServices_;
  LedKeyboardBrightness keyboard_;
  SoundServerAudio audio_;
  LinuxProcessInfo processInfo_;
  PowerProfileScripts lowPowerScripts_;
  std::unique_ptr<sys::UserDefaults> userDefaults_;
  DesktopNotifications notifications_;
  XdgWorkspace workspace_;
  std::unique_ptr<sys::LoginItemService> loginItem_;
};

}  // namespace ebbwise::linux_host
