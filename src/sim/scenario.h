#pragma once

// The scenario format: one JSON object (comments allowed), every key
// optional. Times are seconds or texts such as "90s", "15m", "1h30m",
// "1:30:00"; a process's start may be negative (running before the
// scenario). Unknown keys are errors, so a misspelt key never goes unnoticed.
//
//   {
//     "name": "…", "description": "…", "duration": "4h",
//     "machine": {
//       "chip": 1…4, "user": "alex", "os": "15.1", "seed": 42,
//       "start": "2024-11-12T08:30:00Z" (or seconds since 1970),
//       "battery": {"design": mAh, "full": mAh, "percent": 0…100, "cycles": n, "ambient": °C},
//       "charger": {"name": "96W USB-C Power Adapter", "watts": 96, "vendor": 1452, "port": 1,
//                   "hold": "7h" (optimised charging: held at 80 % that long, then finished)},
//       "brightness": 0…1, "keyboard": 0…1, "lid": "open"|"closed", "externalDisplay": bool,
//       "output": "speakers"|"headphones"|"bluetooth",
//       "power": {"screenMin", "screenMax", "keyboardMax", "speakersHold", "speakersPlay",
//                 "headphones", "wifi", "board", "externalDisplay", "chipIdle",
//                 "displayEngine", "memoryBase", "sleep", "chargingLoss" (a fraction),
//                 "storageBursts", "radioBursts"},
//       "backgroundDaemons": 420, "energyReadFailures": 0…0.5 (share of failing rusage calls),
//       "usb": [{"port": 2, "name": "iPhone", "watts": 4.5, "vendor": 1452, "key":
//       "FilteredPower"|"Watts", "hub": "USB3.1 Hub"}], "files": ["/Applications/Claude.app"],
//       "variables": {"NAME": "value"},
//       "bluetooth": [{"name": "Alex's AirPods ", "kind": "Headphones", "main": 0…100,
//                      "left": …, "right": …, "case": …, "connected": bool}],
//       "browsers": [{"name": "Google Chrome", "tabs": ["https://…"], "automation": bool}],
//       "platform": {"privileged": bool, "unitLabels": "varied"|"plain", "failedSamples": 0…1,
//                    "cpuTotal": "own"|"sum", "chargerPowerKey": bool, "smcErrors": 0…1,
//                    "smcOpenFailures": n, "idleGPUClients": bool, "keyboardBacklightIDs": bool,
//                    "outputDataSource": bool, "brightnessSettable": bool,
//                    "keyboardBacklight": bool, "audioEngineStarts": bool},
//       "model": "notch"|"notchless"|"desktop", "lowPowerMode":
//       "never"|"always"|"battery"|"adapter", "heat": {"perWatt": °C per W, "seconds": time
//       constant}, "services": {"notifications": "allow"|"deny"|"fail", "password":
//       "grant"|"cancel"|"fail"|
//                    "hang" or a list of them (one per prompt, the last repeats), "passwordTime":
//                    time, "loginItem": "ok"|"approval"|"fail", "separateSpaces": bool}
//     },
//     "processes": [{
//       "id": "chrome", "path": "/Applications/…", "pid": 812, "count": 8,
//       "args": ["…"], "env": {"TERM_PROGRAM": "…"}, "cwd": "/Users/alex/code/x",
//       "tty": bool, "root": bool, "parent": "id", "responsible": "id",
//       "start": time, "end": time,
//       "cpu": W, "gpu": W, "ane": W, "decode": W, "encode": W, "camera": W,
//       "fluctuation": 0…1, "pattern": "steady"|"bursty", "audio": "none"|"hold"|"play",
//       "gpuClients": n, "efficiency": 0…1, "compositor": bool, "row": "expected row name",
//       "bundle": "bundle identifier of an application",
//       "icon": "#RRGGBB" (the main colour of an application's icon)
//     }],
//     "events": [{"at": time, "type": …}]
//   }
//
// Event types and their fields: "plug" (name, watts, vendor, port, hold), "unplug",
// "sleep" (duration), "lid" (open), "display" (asleep), "brightness" (level),
// "keyboard" (level), "output" (device), "usb-attach" (port, name, watts,
// vendor, key, hub), "usb-detach" (port), "external-display" (connected), "start"
// (process: a whole process object, started at the event), "exit" (process:
// an id), "load" (process: an id, and any of the load fields), "low-power"
// (mode: the user's Low Power Mode choice), "activate" (process: an
// application brought to the front), "fullscreen" (process, on, space: the
// application's window fills the main screen, in a fullscreen space of its
// own unless space is false). A process with "count" n becomes "id", "id#2" …
// "id#n"; exit and load events naming the id address all of them.
//
// A "desktop" has no battery and no built-in screen: it runs on mains power
// from an external display, so it takes no plug, unplug, lid or display
// events. Processes whose executable sits in an application bundle
// ("/Applications/Name.app/Contents/MacOS/…", not nested in another bundle
// or a framework) are the applications the workspace lists; events that
// bring a process to the front or to fullscreen do nothing to others. The
// workspace gives each application a tile icon in its "icon" colour, or in
// one that follows from its identifier; other files get a plain page.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/platform_quirks.h"
#include "sys/date.h"
#include "sys/environment.h"
#include "sys/processes.h"

namespace ebbwise::sim {

// How a process uses the audio output: not at all, holding it open (even in
// silence), or playing sound.
enum class AudioUse { none, hold, play };

// Where the default output device sends sound.
enum class AudioOutput { speakers, headphones, bluetooth };

// How a process's power moves from slot to slot: around its mean, or idle with
// rare bursts (most background daemons).
enum class LoadPattern { steady, bursty };

// What a process draws, in watts, while it runs and the machine is awake.
struct Load {
  double cpu = 0;
  double gpu = 0;
  double neuralEngine = 0;
  double videoDecode = 0;
  double videoEncode = 0;
  double camera = 0;
  double fluctuation = 0.3;  // relative spread of the per-slot power, 0…1
  LoadPattern pattern = LoadPattern::steady;
  AudioUse audio = AudioUse::none;
};

// A change of some of a process's load fields.
struct LoadChange {
  std::optional<double> cpu, gpu, neuralEngine, videoDecode, videoEncode, camera, fluctuation;
  std::optional<AudioUse> audio;

  void applyTo(Load& load) const;
};

// One process of the scenario (or a group of copies, see "count").
struct ScenarioProcess {
  std::string id;  // unique handle for events and parent/responsible links
  std::optional<sys::Pid> pid;
  std::string path;
  std::vector<std::string> args;  // empty: the executable path alone
  std::vector<std::pair<std::string, std::string>> env;
  std::string cwd = "/";
  bool tty = false;             // has a controlling terminal
  bool root = false;            // another user's process: arguments and folder are not ours to read
  std::string parent;           // id of the parent; empty: launchd
  std::string responsible;      // id of the responsible process; empty: itself
  std::optional<double> start;  // seconds from the scenario start; absent: running before it
  std::optional<double> end;    // seconds; absent: runs to the end
  Load load;
  // Accelerator user clients; by default one for apps and GPU users.
  std::optional<int> gpuClients;
  std::optional<double> efficiencyShare;  // part of its CPU energy on the efficiency cores
  bool compositor = false;                // its GPU work follows the displays (the window server)
  std::optional<std::string> row;  // expected row name, when the machine's own rules would miss it
  std::optional<std::string> bundleId;  // an application's identifier, when not a well-known one
  // The main colour of an application's icon (0xRRGGBB); absent: one that
  // follows from its identifier.
  std::optional<std::uint32_t> iconColor;
};

struct Charger {
  std::string name;              // as "AdapterDetails" names it
  double watts = 0;              // what it negotiated
  std::int64_t vendor = 0x05AC;  // the power-delivery partner's; 0 when it gives none
  int port = 1;
  // Optimised charging: the system holds the battery at 80 % for this long
  // after the plug, then finishes the charge slowly. Absent: a plain charge.
  std::optional<double> holdSeconds;
};

struct USBDevice {
  int port = 2;
  std::string name;
  double watts = 0;
  std::int64_t vendor = 0x05AC;
  bool reportsWatts = false;  // publishes "Watts" rather than "FilteredPower"
  std::string hub;            // the hub it hangs off; empty: straight on the port
};

// A Bluetooth accessory the Mac knows, with the battery levels it publishes
// (each absent when the accessory does not report it).
struct BluetoothDevice {
  std::string name;  // as the Bluetooth report gives it, spaces and all
  std::string kind;  // its minor type ("Mouse", "Headphones"); empty: none given
  std::optional<int> main, left, right, caseLevel;
  bool connected = true;
};

// A browser the user runs, with the addresses of its open tabs.
struct BrowserSetup {
  std::string name;  // its application name
  std::vector<std::string> tabs;
  bool automationAllowed = true;  // the user let the monitor script it
};

enum class EventType {
  plug,
  unplug,
  sleep,
  lid,
  display,
  brightness,
  keyboard,
  output,
  usbAttach,
  usbDetach,
  externalDisplay,
  load,
  lowPower,
  activate,
  fullscreen,
};

// When the user wants Low Power Mode: never, always, only on battery, or only
// on the power adapter.
enum class LowPowerSetting { never, always, onBattery, onAdapter };

struct Event {
  double at = 0;  // seconds from the scenario start
  EventType type = EventType::unplug;
  double value = 0;   // sleep seconds, brightness or keyboard level
  bool flag = false;  // lid open, display asleep, external display connected
  Charger charger;
  USBDevice device;  // attach; only `port` for detach
  AudioOutput output = AudioOutput::speakers;
  std::string process;  // load changes, activation, fullscreen
  LoadChange change;
  LowPowerSetting lowPower = LowPowerSetting::never;
  bool space = true;  // fullscreen in a space of its own
};

struct BatterySetup {
  double designMAh = 6249;
  double fullMAh = 5712;
  double percent = 95;  // true charge at the start
  int cycleCount = 187;
  double ambientC = 26;
};

// Constants of the machine's parts, in watts.
struct PartPowers {
  double screenMin = 0.45;  // built-in panel lit at brightness 0
  double screenMax = 5.6;   // at full brightness
  double keyboardMax = 0.55;
  double speakersHold = 0.32;  // amplifier path while the output is held open
  double speakersPlay = 0.38;  // extra while sound plays
  double headphones = 0.04;
  double wifi = 0.28;
  double board = 1.05;
  double externalDisplay = 0.45;
  double chipIdle = 0.1;
  double displayEngine = 0.12;
  double memoryBase = 0.16;
  double sleep = 0.11;
  double chargingLoss = 0.04;  // part of the charging power lost as heat
  // Mean power of the short bursts off the chip: the disk writing, the
  // radios scanning.
  double storageBursts = 0.01;
  double radioBursts = 0.006;
};

// The kind of Mac.
enum class MacModel { notched, notchless, desktop };

// The chip's heat: its temperature settles at the ambient temperature plus
// `perWatt` degrees per watt the machine draws, with time constant `seconds`.
struct ChipHeat {
  double perWatt = 2.0;
  double seconds = 60;
};

enum class PermissionAnswer { allow, deny, fail };
enum class PasswordAnswer { grant, cancel, fail, hang };
enum class LoginItemBehaviour { normal, needsApproval, fail };

// How the user answers the system's prompts and how the system's services
// behave.
struct ServiceSetup {
  PermissionAnswer notifications = PermissionAnswer::allow;
  std::vector<PasswordAnswer> password{PasswordAnswer::grant};  // one per prompt; the last repeats
  double passwordSeconds = 6;  // how long the user takes at a prompt
  LoginItemBehaviour loginItem = LoginItemBehaviour::normal;
  bool separateSpaces = true;  // each display has its own spaces
};

struct MachineSetup {
  int chip = 3;  // generation: 1 first, 4 newest
  std::string user = "alex";
  sys::OSVersion os{15, 1, 0};
  std::uint64_t seed = 1;
  sys::Date start{1'731'402'000.0};  // 2024-11-12 09:00 UTC
  BatterySetup battery;
  std::optional<Charger> charger;  // plugged in at the start
  double brightness = 0.6;
  double keyboard = 0.3;
  bool lidOpen = true;
  bool externalDisplay = false;
  AudioOutput output = AudioOutput::speakers;
  PartPowers power;
  int backgroundDaemons = 420;
  double energyReadFailures = 0;  // share of the per-process energy reads that fail
  std::vector<USBDevice> usb;
  std::vector<BluetoothDevice> bluetooth;
  std::vector<BrowserSetup> browsers;
  std::vector<std::string> files;                              // extra paths that exist
  std::vector<std::pair<std::string, std::string>> variables;  // the monitor's own environment
  PlatformQuirks platform;
  MacModel model = MacModel::notched;
  LowPowerSetting lowPowerMode = LowPowerSetting::never;
  ChipHeat heat;
  ServiceSetup services;
};

// The dates a machine may start at, 2001-01-01 to 2100-01-01 (seconds since
// 1970); a scenario built in code with another start runs at the default one.
inline constexpr double kEarliestStart = 978'307'200.0;
inline constexpr double kLatestStart = 4'102'444'800.0;
constexpr bool isPlausibleStart(sys::Date d) {
  return d.secondsSince1970 >= kEarliestStart && d.secondsSince1970 <= kLatestStart;
}

struct SleepPeriod {
  double at = 0;
  double seconds = 0;
};

// Whether process `id` is `group` itself or one of its numbered copies
// ("group#2"…), which events naming the group address together.
bool inGroup(std::string_view id, std::string_view group);

// A simulated MacBook's timeline: the machine, what runs on it, and what
// happens when. Times are seconds from the moment the machine is built.
struct Scenario {
  std::string name;
  std::string description;
  double duration = 4 * 3600.0;  // how long a run of it should last
  MachineSetup machine;
  std::vector<ScenarioProcess> processes;  // "start" events are folded in, "exit" events set `end`
  std::vector<Event> events;               // by time; same-time events in file order
  std::vector<SleepPeriod> sleeps;         // by time, never overlapping

  struct Parsed;
  // Reads a scenario from JSON text; `name` names it in error messages.
  // Never throws.
  static Parsed parse(std::string_view text, std::string_view name);
  // Reads a scenario file: a regular file of at most `kMaxFileBytes`.
  static Parsed load(const std::string& path);
  static constexpr std::size_t kMaxFileBytes = 4 << 20;
  // One of the scenarios built into the program, by name ("default").
  static Parsed embedded(std::string_view name);
};

// A scenario, or a message naming the file and the problem.
struct Scenario::Parsed {
  std::optional<Scenario> scenario;
  std::string error;

  explicit operator bool() const { return scenario.has_value(); }
};

}  // namespace ebbwise::sim
