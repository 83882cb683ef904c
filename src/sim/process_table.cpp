#include "sim/process_table.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "sim/counter_random.h"
#include "sim/expected_row.h"

namespace ebbwise::sim {

namespace {

// Salts that keep the generator's streams apart.
enum Salt : std::uint64_t {
  kDaemonPick = 11,
  kDaemonWatts,
  kDaemonStart,
  kDaemonLate,
  kAppStart,
  kPidGap,
};

// Background processes of a quiet macOS session: root daemons ('R') and the
// user's agents ('U'). The first pass takes each once; a larger crowd adds
// the kinds that run many instances.
constexpr const char* kDaemons[] = {
    "R/usr/libexec/logd",
    "R/usr/libexec/UserEventAgent",
    "R/usr/sbin/syslogd",
    "R/usr/libexec/configd",
    "R/usr/sbin/cfprefsd",
    "R/usr/sbin/distnoted",
    "R/usr/sbin/notifyd",
    "R/System/Library/CoreServices/powerd.bundle/powerd",
    "R/usr/libexec/opendirectoryd",
    "R/usr/sbin/securityd",
    "R/usr/libexec/trustd",
    "R/usr/libexec/syspolicyd",
    "R/usr/libexec/amfid",
    "R/usr/libexec/sandboxd",
    "R/usr/sbin/mDNSResponder",
    "R/usr/sbin/mDNSResponderHelper",
    "R/usr/libexec/airportd",
    "R/usr/libexec/wifip2pd",
    "R/usr/sbin/bluetoothd",
    "R/usr/libexec/locationd",
    "R/usr/libexec/thermalmonitord",
    "R/usr/libexec/watchdogd",
    "R/usr/sbin/diskarbitrationd",
    "R/System/Library/Frameworks/CoreServices.framework/Versions/A/Frameworks/FSEvents.framework/"
    "Versions/A/Support/fseventsd",
    "R/System/Library/Frameworks/CoreServices.framework/Frameworks/Metadata.framework/Support/mds",
    "R/usr/libexec/coreduetd",
    "R/usr/libexec/runningboardd",
    "R/usr/libexec/dasd",
    "R/usr/libexec/apsd",
    "R/usr/sbin/systemstats",
    "R/usr/libexec/sysmond",
    "R/usr/libexec/nehelper",
    "R/usr/libexec/nesessionmanager",
    "R/usr/libexec/symptomsd",
    "R/usr/libexec/remoted",
    "R/usr/libexec/biometrickitd",
    "R/usr/libexec/corebrightnessd",
    "R/usr/libexec/mobileassetd",
    "R/System/Library/PrivateFrameworks/SoftwareUpdateCore.framework/Versions/A/Support/"
    "softwareupdated",
    "R/usr/sbin/spindump",
    "R/usr/libexec/taskgated",
    "R/usr/libexec/usbd",
    "R/usr/libexec/audioclocksyncd",
    "R/usr/sbin/coreaudiod",
    "R/usr/libexec/endpointsecurityd",
    "R/usr/libexec/containermanagerd",
    "R/usr/libexec/lsd",
    "R/usr/libexec/kernelmanagerd",
    "R/usr/libexec/dprivacyd",
    "R/usr/libexec/timed",
    "R/usr/libexec/smd",
    "R/usr/libexec/aned",
    "R/usr/libexec/keybagd",
    "R/usr/sbin/KernelEventAgent",
    "R/usr/libexec/PerfPowerServices",
    "R/System/Library/PrivateFrameworks/TCC.framework/Support/tccd",
    "R/usr/libexec/searchpartyd",
    "R/usr/libexec/colorsync.displayservices",
    "R/usr/libexec/rtcreportingd",
    "R/usr/libexec/wirelessproxd",
    "R/usr/libexec/ioupsd",
    "R/usr/libexec/logind",
    "R/usr/libexec/multiversed",
    "R/usr/sbin/WirelessRadioManagerd",
    "R/usr/libexec/bosUpdateProxy",
    "R/usr/libexec/backgroundtaskmanagementd",
    "R/usr/libexec/installerauthagent",
    "R/System/Library/CoreServices/backupd.bundle/Contents/Resources/backupd-helper",
    "U/usr/sbin/cfprefsd",
    "U/usr/sbin/distnoted",
    "U/usr/libexec/trustd",
    "U/usr/libexec/secd",
    "U/usr/libexec/lsd",
    "U/usr/libexec/UserEventAgent",
    "U/usr/libexec/nsurlsessiond",
    "U/usr/libexec/sharingd",
    "U/usr/libexec/rapportd",
    "U/usr/libexec/knowledge-agent",
    "U/usr/libexec/routined",
    "U/usr/libexec/ctkd",
    "U/usr/libexec/pboard",
    "U/usr/libexec/ContinuityCaptureAgent",
    "U/usr/libexec/siriknowledged",
    "U/usr/libexec/triald",
    "U/usr/sbin/usernoted",
    "U/usr/libexec/universalaccessd",
    "U/usr/libexec/ViewBridgeAuxiliary",
    "U/usr/libexec/containermanagerd",
    "U/usr/libexec/fontd",
    "U/usr/libexec/dmd",
    "U/usr/libexec/tipsd",
    "U/usr/libexec/swcd",
    "U/usr/libexec/networkserviceproxy",
    "U/usr/libexec/gamecontrollerd",
    "U/usr/libexec/assistantd",
    "U/usr/libexec/proactived",
    "U/usr/libexec/duetexpertd",
    "U/usr/libexec/naturallanguaged",
    "U/usr/libexec/intelligenceplatformd",
    "U/usr/libexec/mediaremoted",
    "U/usr/libexec/avconferenced",
    "U/usr/libexec/heard",
    "U/usr/libexec/linkd",
    "U/usr/libexec/replicatord",
    "U/usr/libexec/fileproviderd",
    "U/usr/libexec/bird",
    "U/usr/libexec/icloudmailagent",
    "U/usr/libexec/sociallayerd",
    "U/usr/libexec/studentd",
    "U/usr/libexec/amsaccountsd",
    "U/usr/libexec/amsengagementd",
    "U/usr/libexec/ScreenTimeAgent",
    "U/usr/libexec/chronod",
    "U/usr/libexec/WallpaperAgent",
    "U/usr/libexec/TextInputSwitcher",
    "U/System/Library/CoreServices/Dock.app/Contents/MacOS/Dock",
    "U/System/Library/CoreServices/Finder.app/Contents/MacOS/Finder",
    "U/System/Library/CoreServices/SystemUIServer.app/Contents/MacOS/SystemUIServer",
    "U/System/Library/CoreServices/ControlCenter.app/Contents/MacOS/ControlCenter",
    "U/System/Library/CoreServices/NotificationCenter.app/Contents/MacOS/NotificationCenter",
    "U/System/Library/CoreServices/Spotlight.app/Contents/MacOS/Spotlight",
    "U/System/Library/CoreServices/WindowManager.app/Contents/MacOS/WindowManager",
    "U/System/Library/CoreServices/TextInputMenuAgent.app/Contents/MacOS/TextInputMenuAgent",
    "U/System/Library/CoreServices/talagent",
    "U/System/Library/CoreServices/pbs",
    "U/System/Library/PrivateFrameworks/CloudKitDaemon.framework/Support/cloudd",
    "U/System/Library/PrivateFrameworks/IMCore.framework/imagent.app/Contents/MacOS/imagent",
    "U/System/Library/PrivateFrameworks/CommerceKit.framework/Versions/A/Resources/commerce",
    "U/System/Library/PrivateFrameworks/PhotoLibraryServices.framework/Versions/A/Support/"
    "photolibraryd",
    "U/System/Library/PrivateFrameworks/CalendarAgent.framework/Executables/CalendarAgent",
    "U/System/Library/PrivateFrameworks/TCC.framework/Support/tccd",
    "U/System/Library/PrivateFrameworks/AuthKit.framework/Versions/A/Support/akd",
    "U/System/Library/PrivateFrameworks/CoreSuggestions.framework/Versions/A/Support/suggestd",
    "U/System/Library/PrivateFrameworks/BiomeStreams.framework/Support/biomed",
    "U/System/Library/PrivateFrameworks/IDS.framework/identityservicesd.app/Contents/MacOS/"
    "identityservicesd",
    "U/System/Library/PrivateFrameworks/CoreParsec.framework/parsecd",
    "U/System/Library/Frameworks/CoreTelephony.framework/Support/CommCenter",
    "U/System/Library/Frameworks/AppKit.framework/Versions/C/XPCServices/"
    "com.apple.appkit.xpc.openAndSavePanelService.xpc/Contents/MacOS/"
    "com.apple.appkit.xpc.openAndSavePanelService",
    "U/System/Library/PrivateFrameworks/QuickLookThumbnailing.framework/Support/"
    "com.apple.quicklook.ThumbnailsAgent",
    "U/System/Library/PrivateFrameworks/ViewBridge.framework/Versions/A/XPCServices/"
    "ViewBridgeAuxiliary.xpc/Contents/MacOS/ViewBridgeAuxiliary",
    "U/System/Library/Frameworks/Security.framework/Versions/A/XPCServices/SecurityAgent.xpc/"
    "Contents/MacOS/SecurityAgent",
    "U/System/Library/PrivateFrameworks/SafariSafeBrowsing.framework/Versions/A/"
    "com.apple.Safari.SafeBrowsing.Service",
    "U/System/Library/Services/AppleSpell.service/Contents/MacOS/AppleSpell",
};

// Kinds that run many instances.
constexpr const char* kCrowd[] = {
    "U/System/Library/Frameworks/CoreServices.framework/Frameworks/Metadata.framework/Versions/A/"
    "Support/mdworker_shared",
    "U/System/Library/Frameworks/CoreServices.framework/Frameworks/Metadata.framework/Versions/A/"
    "Support/mdworker_shared",
    "U/System/Library/Frameworks/CoreServices.framework/Frameworks/Metadata.framework/Versions/A/"
    "Support/mdworker_shared",
    "U/System/Library/PrivateFrameworks/ExtensionFoundation.framework/Versions/A/XPCServices/"
    "extensionkitservice.xpc/Contents/MacOS/extensionkitservice",
    "U/System/Library/Frameworks/AppKit.framework/Versions/C/XPCServices/"
    "com.apple.appkit.xpc.ThemeWidgetControlViewService.xpc/Contents/MacOS/"
    "com.apple.appkit.xpc.ThemeWidgetControlViewService",
    "U/System/Library/PrivateFrameworks/ChronoCore.framework/Support/WidgetExtensionHost",
    "U/usr/libexec/xpcproxy",
    "R/usr/libexec/xpcproxy",
    "U/usr/libexec/fontworker",
    "U/System/Library/Frameworks/CoreServices.framework/Frameworks/LaunchServices.framework/"
    "Support/lsd",
};

struct BaseProcess {
  const char* id;
  const char* path;
  double cpu, gpu;
  bool root;
  int gpuClients;
  double bootOffset;  // seconds after boot
};

constexpr BaseProcess kBase[] = {
    {"kernel_task", "", 0.22, 0, true, 0, 0},
    {"launchd", "/sbin/launchd", 0.01, 0, true, 0, 0.05},
    {"loginwindow", "/System/Library/CoreServices/loginwindow.app/Contents/MacOS/loginwindow",
     0.004, 0, false, 1, 9},
    {"WindowServer",
     "/System/Library/PrivateFrameworks/SkyLight.framework/Versions/A/Resources/WindowServer", 0.32,
     0.55, true, 3, 11},
    {"ebbwise", ProcessTable::kOwnPath, 0.03, 0.01, false, 1, 75},
};

std::string fileName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

}  // namespace

std::string SimProcess::commandName() const {
  std::string name = path.empty() ? id : fileName(path);
  return name.substr(0, 16);
}

std::vector<std::uint8_t> ProcessTable::procArgsBuffer(
    const std::string& path, const std::vector<std::string>& args,
    const std::vector<std::pair<std::string, std::string>>& env) {
  // argc in the machine's own byte order.
  const auto argc = static_cast<std::int32_t>(args.size());
  std::vector<std::uint8_t> out(sizeof argc);
  std::memcpy(out.data(), &argc, sizeof argc);
  auto put = [&](const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
  };
  put(path);
  while (out.size() % 8 != 0) out.push_back(0);
  for (const auto& arg : args) put(arg);
  for (const auto& [key, value] : env) put(key + "=" + value);
  do {
    out.push_back(0);
  } while (out.size() % 16 != 0);
  return out;
}

ProcessTable ProcessTable::build(const Scenario& scenario, double bootTime) {
  const auto& m = scenario.machine;
  const std::uint64_t seed = m.seed;

  // Definitions in table order: base system (unless the scenario brings its own
  // under the same id), the scenario's processes, then the generated crowd.
  struct Entry {
    ScenarioProcess def;
    std::optional<double> bootOffset;  // base processes start this long after boot
    bool generated = false;
  };
  std::vector<Entry> entries;
  std::set<std::string> scenarioIds;
  for (const auto& p : scenario.processes) scenarioIds.insert(p.id);
  for (const auto& b : kBase) {
    if (scenarioIds.count(b.id)) continue;
    ScenarioProcess s;
    s.id = b.id;
    s.path = b.path;
    s.root = b.root;
    s.load.cpu = b.cpu;
    s.load.gpu = b.gpu;
    s.load.fluctuation = 0.35;
    s.gpuClients = b.gpuClients;
    s.compositor = s.id == std::string("WindowServer");
    if (s.id == std::string("kernel_task")) s.pid = 0;
    if (s.id == std::string("launchd")) s.pid = 1;
    entries.push_back({std::move(s), b.bootOffset, false});
  }
  for (const auto& p : scenario.processes) entries.push_back({p, std::nullopt, false});
  const std::size_t firstPass = std::size(kDaemons);
  for (int i = 0; i < m.backgroundDaemons; ++i) {
    const char* code =
        static_cast<std::size_t>(i) < firstPass
            ? kDaemons[i]
            : kCrowd[CounterRandom::hash(seed, kDaemonPick, static_cast<std::uint64_t>(i)) %
                     std::size(kCrowd)];
    ScenarioProcess s;
    s.root = code[0] == 'R';
    s.path = code + 1;
    s.id = "daemon-" + std::to_string(i) + "-" + fileName(s.path);
    // Log-uniform means between 0.1 and 6 mW: most are nearly silent.
    double u = CounterRandom::unit(seed, kDaemonWatts, static_cast<std::uint64_t>(i));
    s.load.cpu = 0.0001 * std::exp(u * std::log(60.0));
    s.load.pattern = LoadPattern::bursty;
    s.load.fluctuation = 0.5;
    entries.push_back({std::move(s), std::nullopt, true});
  }

  ProcessTable table;
  auto& procs = table.processes;
  procs.resize(entries.size());
  std::map<std::string, int> byId;
  for (std::size_t i = 0; i < entries.size(); ++i) byId[entries[i].def.id] = static_cast<int>(i);

  for (std::size_t i = 0; i < entries.size(); ++i) {
    const ScenarioProcess& s = entries[i].def;
    SimProcess& p = procs[i];
    p.id = s.id;
    p.path = s.path;
    p.args = s.args.empty() && !s.path.empty() ? std::vector<std::string>{s.path} : s.args;
    p.env = s.env;
    p.cwd = s.cwd;
    p.root = s.root;
    p.restricted = s.root && !m.platform.privileged;
    // Unknown links (possible in a scenario built in code) fall back to
    // launchd and to the process itself.
    auto link = [&](const std::string& id) {
      auto it = byId.find(id);
      return it == byId.end() ? -1 : it->second;
    };
    p.parent = link(s.parent);
    p.responsible = link(s.responsible);
    p.load = s.load;
    p.compositor = s.compositor;
    p.own = s.path == kOwnPath && table.own < 0;
    if (p.own) table.own = static_cast<int>(i);
    bool inApp = s.path.find(".app/") != std::string::npos;
    p.gpuClients = s.gpuClients.value_or((inApp || s.load.gpu > 0) ? 1 : 0);
    p.efficiencyShare = s.efficiencyShare.value_or(s.load.pattern == LoadPattern::bursty ? 0.85
                                                   : s.load.cpu >= 2                     ? 0.15
                                                                                         : 0.4);
    if (s.end) p.end = *s.end;
  }
  // Launchd is everyone's parent unless told otherwise; the kernel has none.
  int launchd = byId.count("launchd") ? byId.at("launchd") : -1;
  for (std::size_t i = 0; i < procs.size(); ++i) {
    if (procs[i].parent < 0 && static_cast<int>(i) != launchd && procs[i].id != "kernel_task") {
      procs[i].parent = launchd;
    }
  }

  // Start times. Parents go first so children can start after them.
  std::vector<bool> placed(procs.size(), false);
  const double earliest = bootTime + 0.001;
  std::size_t remaining = procs.size();
  for (int pass = 0; remaining > 0 && pass < 64; ++pass) {
    for (std::size_t i = 0; i < procs.size(); ++i) {
      if (placed[i]) continue;
      const ScenarioProcess& s = entries[i].def;
      SimProcess& p = procs[i];
      int parent = p.parent;
      bool parentReady =
          parent < 0 || parent == launchd || placed[static_cast<std::size_t>(parent)];
      if (!parentReady && pass < 63) continue;
      double u = CounterRandom::unit(seed, kAppStart, i);
      if (s.start) {
        p.start = std::max(*s.start, earliest);
      } else if (entries[i].bootOffset) {
        p.start = std::min(bootTime + *entries[i].bootOffset, -1.0);
      } else if (entries[i].generated) {
        bool atBoot = CounterRandom::unit(seed, kDaemonLate, i) < 0.65;
        p.start = atBoot ? bootTime + 2 + 58 * u : bootTime + 60 + (-30 - bootTime - 60) * u;
      } else if (parent >= 0 && parent != launchd) {
        double ps = procs[static_cast<std::size_t>(parent)].start;
        p.start = ps + 0.05 + std::max(0.0, -1.0 - ps) * 0.4 * u;
      } else {
        p.start = bootTime + 90 + std::max(0.0, -60 - bootTime - 90) * u;
      }
      if (parent >= 0 && parent != launchd && placed[static_cast<std::size_t>(parent)]) {
        p.start = std::max(p.start, procs[static_cast<std::size_t>(parent)].start + 0.01);
      }
      p.start = std::max(p.start, earliest);
      placed[i] = true;
      --remaining;
    }
  }

  // Pids: the scenario's own where given, the rest rising with start time
  // and skipping every pid the scenario reserved.
  std::set<sys::Pid> reserved;
  for (const auto& e : entries) {
    if (e.def.pid) reserved.insert(*e.def.pid);
  }
  std::vector<std::size_t> order(procs.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return procs[a].start < procs[b].start; });
  sys::Pid next = 60;
  for (std::size_t i : order) {
    if (auto pid = entries[i].def.pid) {
      procs[i].pid = *pid;
      continue;
    }
    next += 1 + static_cast<sys::Pid>(CounterRandom::hash(seed, kPidGap, i) % 9);
    while (reserved.count(next)) ++next;
    procs[i].pid = next;
  }
  for (const auto& p : procs) table.maxPid = std::max(table.maxPid, p.pid);

  // Controlling terminals: a process with one shares its parent's, or opens
  // the next.
  std::uint32_t nextTerminal = 0x10000000;
  for (std::size_t i : order) {
    if (!entries[i].def.tty) continue;
    int parent = procs[i].parent;
    procs[i].terminal = parent >= 0 && procs[static_cast<std::size_t>(parent)].terminal != 0
                            ? procs[static_cast<std::size_t>(parent)].terminal
                            : nextTerminal++;
  }

  // What the counters already show at the start, and the byte areas.
  for (auto& p : procs) {
    double age = p.start < 0 ? -p.start : 0;
    p.energyBeforeStart = p.load.cpu * age * 0.9;
    p.gpuSecondsBeforeStart = p.load.gpu * age * 0.9 / kGpuReferenceWatts;
    if (!p.path.empty()) p.procArgs = procArgsBuffer(p.path, p.args, p.env);
  }

  // Expected rows by the identity rules, unless the scenario names them.
  std::vector<ExpectedRow::Facts> facts(procs.size());
  for (std::size_t i = 0; i < procs.size(); ++i) {
    const auto& p = procs[i];
    auto& f = facts[i];
    f.path = p.path;
    f.args = p.args;
    f.env = p.env;
    f.argsReadable = !p.restricted;
    f.recordReadable = !p.restricted;
    if (!p.restricted) f.cwd = p.cwd;
    f.tty = p.terminal != 0;
    f.parent = p.parent == launchd ? -1 : p.parent;
    f.responsible = p.responsible;
    f.isOwn = p.own;
  }
  const std::string home = "/Users/" + m.user;
  for (std::size_t i = 0; i < procs.size(); ++i) {
    auto& p = procs[i];
    if (p.pid == 0 || p.restricted) {
      // The kernel is never listed (pid 0), and the energy counters of other
      // users' processes are not given to the monitor: no app row gets their
      // energy, it is the system's own.
      p.row.clear();
    } else if (entries[i].def.row) {
      p.row = *entries[i].def.row;
    } else if (p.path.empty()) {
      p.row = p.id;
    } else {
      p.row = ExpectedRow::of(facts, i, home);
    }
  }
  std::map<std::string, int> rowIndex;
  for (auto& p : procs) {
    if (p.row.empty()) continue;
    auto [it, added] = rowIndex.try_emplace(p.row, static_cast<int>(table.rowNames.size()));
    if (added) table.rowNames.push_back(p.row);
    p.rowIndex = it->second;
  }
  return table;
}

}  // namespace ebbwise::sim
