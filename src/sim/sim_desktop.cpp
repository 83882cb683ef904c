#include "sim/sim_desktop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

#include "sim/sim_displays.h"
#include "sys/window_server.h"

namespace ebbwise::sim {

namespace {

constexpr double kBefore = -std::numeric_limits<double>::infinity();

struct KnownApp {
  std::string_view bundle;  // the bundle's folder name without ".app"
  std::string_view id;
  std::string_view name;  // when it differs from the folder name
  bool regular;
};

// Identities from the applications' own property lists.
constexpr KnownApp kKnownApps[] = {
    {"Finder", "com.apple.finder", "", true},
    {"Dock", "com.apple.dock", "", false},
    {"SystemUIServer", "com.apple.systemuiserver", "", false},
    {"ControlCenter", "com.apple.controlcenter", "Control Center", false},
    {"NotificationCenter", "com.apple.notificationcenterui", "Notification Center", false},
    {"Spotlight", "com.apple.Spotlight", "", false},
    {"WindowManager", "com.apple.WindowManager", "", false},
    {"TextInputMenuAgent", "com.apple.TextInputMenuAgent", "", false},
    {"loginwindow", "com.apple.loginwindow", "", false},
    {"Ebbwise", "app.ebbwise.Ebbwise", "", false},
    {"Safari", "com.apple.Safari", "", true},
    {"Mail", "com.apple.mail", "", true},
    {"Messages", "com.apple.MobileSMS", "", true},
    {"Music", "com.apple.Music", "", true},
    {"TV", "com.apple.TV", "", true},
    {"Photos", "com.apple.Photos", "", true},
    {"Preview", "com.apple.Preview", "", true},
    {"QuickTime Player", "com.apple.QuickTimePlayerX", "", true},
    {"System Settings", "com.apple.systempreferences", "", true},
    {"Terminal", "com.apple.Terminal", "", true},
    {"Activity Monitor", "com.apple.ActivityMonitor", "", true},
    {"Xcode", "com.apple.dt.Xcode", "", true},
    {"Google Chrome", "com.google.Chrome", "", true},
    {"Firefox", "org.mozilla.firefox", "", true},
    {"Microsoft Edge", "com.microsoft.edgemac", "", true},
    {"Brave Browser", "com.brave.Browser", "", true},
    {"Arc", "company.thebrowser.Browser", "", true},
    {"Slack", "com.tinyspeck.slackmacgap", "", true},
    {"zoom.us", "us.zoom.xos", "", true},
    {"Figma", "com.figma.Desktop", "", true},
    {"Spotify", "com.spotify.client", "", true},
    {"VLC", "org.videolan.vlc", "", true},
    {"IINA", "com.colliderli.iina", "", true},
    {"Visual Studio Code", "com.microsoft.VSCode", "Code", true},
    {"iTerm", "com.googlecode.iterm2", "iTerm2", true},
    {"Docker", "com.docker.docker", "", true},
    {"Claude", "com.anthropic.claudefordesktop", "", true},
};

// The bundle of an application's main program: ".../Name.app" when `path`
// is ".../Name.app/Contents/MacOS/program" and the bundle sits in neither
// another bundle nor a framework.
std::optional<std::string> appBundle(const std::string& path) {
  constexpr std::string_view kMain = ".app/Contents/MacOS/";
  const auto at = path.find(kMain);
  if (at == std::string::npos) return std::nullopt;
  const std::string_view rest = std::string_view(path).substr(at + kMain.size());
  if (rest.empty() || rest.find('/') != std::string_view::npos) return std::nullopt;
  const std::string bundle = path.substr(0, at + 4);
  if (bundle.find(".app/") != std::string::npos ||
      bundle.find(".framework/") != std::string::npos) {
    return std::nullopt;
  }
  return bundle;
}

// Window levels (CGWindowLevelKey values).
constexpr int kDesktopLevel = -2147483624;
constexpr int kDesktopIconLevel = -2147483603;
constexpr int kNormalLevel = 0;
constexpr int kDockLevel = 20;
constexpr int kMainMenuLevel = 24;
constexpr int kStatusLevel = 25;

constexpr double kDockHeight = 64;
constexpr double kPlainMenuBar = 24;

sys::ScreenInfo screen(sys::DisplayID display, sys::CGRect frame, double scale, std::string name) {
  sys::ScreenInfo s;
  s.frame = frame;
  s.visibleFrame = frame;
  s.backingScaleFactor = scale;
  s.localizedName = std::move(name);
  s.deviceDescription = {
      {"NSScreenNumber", display},
      {"NSDeviceSize", {{"width", frame.width}, {"height", frame.height}}},
      {"NSDeviceResolution", {{"width", 72 * scale}, {"height", 72 * scale}}},
      {"NSDeviceIsScreen", "YES"},
  };
  return s;
}

}  // namespace

SimDesktop::SimDesktop(const MachineModel& model) : model_(model) {
  const ProcessTable& table = model.table();
  for (std::size_t i = 0; i < table.processes.size(); ++i) {
    if (table.processes[i].id == "WindowServer") windowServer_ = static_cast<int>(i);
  }
  int finder = -1;
  for (std::size_t i = 0; i < table.processes.size(); ++i) {
    const SimProcess& p = table.processes[i];
    if (p.root) continue;  // another user's: not in this session
    auto bundle = appBundle(p.path);
    if (!bundle) continue;
    SimApp app;
    app.process = static_cast<int>(i);
    app.bundlePath = *bundle;
    const std::string folder = bundle->substr(bundle->rfind('/') + 1);
    app.name = folder.substr(0, folder.size() - 4);
    for (const KnownApp& k : kKnownApps) {
      if (k.bundle != app.name) continue;
      app.bundleId = std::string(k.id);
      app.regular = k.regular;
      if (!k.name.empty()) app.name = std::string(k.name);
      break;
    }
    if (static_cast<int>(i) == table.own) app.regular = false;  // lives in the menu bar
    // The scenario's own word comes first.
    for (const ScenarioProcess& s : model.scenario().processes) {
      if (s.id != p.id) continue;
      if (s.bundleId) app.bundleId = s.bundleId;
      if (s.iconColor) app.iconColor = s.iconColor;
    }
    if (app.bundleId == "com.apple.finder") finder = static_cast<int>(apps_.size());
    apps_.push_back(std::move(app));
  }

  // Who comes to the front, and when.
  if (finder >= 0) activations_.push_back({kBefore, finder});
  for (std::size_t a = 0; a < apps_.size(); ++a) {
    const SimProcess& p = table.processes[static_cast<std::size_t>(apps_[a].process)];
    if (!apps_[a].regular || static_cast<int>(a) == finder) continue;
    activations_.push_back({p.start > 0 ? p.start : kBefore, static_cast<int>(a)});
    if (p.start > 0) appTimes_.push_back(p.start);
    if (std::isfinite(p.end) && p.end > 0) appTimes_.push_back(p.end);
  }
  for (const SimApp& app : apps_) {
    if (app.regular) continue;
    const SimProcess& p = table.processes[static_cast<std::size_t>(app.process)];
    if (p.start > 0) appTimes_.push_back(p.start);
    if (std::isfinite(p.end) && p.end > 0) appTimes_.push_back(p.end);
  }
  for (const Event& e : model.scenario().events) {
    if (e.type == EventType::activate || e.type == EventType::fullscreen) {
      const int app = appOfProcess(e.process);
      if (app < 0 || !apps_[static_cast<std::size_t>(app)].regular) continue;
      if (e.type == EventType::activate || e.flag) activations_.push_back({e.at, app});
      if (e.type == EventType::fullscreen) fullscreens_.push_back({e.at, app, e.flag, e.space});
      appTimes_.push_back(e.at);
    }
    if (e.type == EventType::lid || e.type == EventType::externalDisplay) {
      screenTimes_.push_back(e.at);
      appTimes_.push_back(e.at);  // spaces follow the screens
    }
  }
  std::stable_sort(activations_.begin(), activations_.end(),
                   [](const Activation& a, const Activation& b) { return a.t < b.t; });
  for (auto* times : {&appTimes_, &screenTimes_}) {
    std::sort(times->begin(), times->end());
    times->erase(std::unique(times->begin(), times->end()), times->end());
  }
}

int SimDesktop::appOfProcess(const std::string& id) const {
  const auto& procs = model_.table().processes;
  for (std::size_t a = 0; a < apps_.size(); ++a) {
    if (inGroup(procs[static_cast<std::size_t>(apps_[a].process)].id, id))
      return static_cast<int>(a);
  }
  return -1;
}

bool SimDesktop::alive(int app) const {
  const auto& p =
      model_.table()
          .processes[static_cast<std::size_t>(apps_[static_cast<std::size_t>(app)].process)];
  return p.aliveAt(model_.time());
}

std::vector<int> SimDesktop::liveApps() const {
  std::vector<int> out;
  for (std::size_t a = 0; a < apps_.size(); ++a) {
    if (alive(static_cast<int>(a))) out.push_back(static_cast<int>(a));
  }
  return out;
}

int SimDesktop::frontmost() const {
  const double t = model_.time();
  for (auto it = activations_.rbegin(); it != activations_.rend(); ++it) {
    if (it->t <= t && alive(it->app)) return it->app;
  }
  return -1;
}

SimDesktop::Fullscreen SimDesktop::fullscreen(int app) const {
  if (!alive(app)) return Fullscreen::none;
  const double t = model_.time();
  Fullscreen state = Fullscreen::none;
  for (const FullscreenChange& f : fullscreens_) {
    if (f.t > t) break;
    if (f.app == app)
      state = !f.on ? Fullscreen::none : f.space ? Fullscreen::space : Fullscreen::window;
  }
  return state;
}

sys::RunningApplication SimDesktop::running(int app) const {
  const SimApp& a = apps_[static_cast<std::size_t>(app)];
  const SimProcess& p = model_.table().processes[static_cast<std::size_t>(a.process)];
  return {p.pid, a.bundleId, a.name, a.bundlePath, p.path};
}

std::vector<SimScreen> SimDesktop::screens() const {
  const MachineSetup& m = model_.scenario().machine;
  const bool separate = m.services.separateSpaces;
  std::vector<SimScreen> out;
  if (m.model != MacModel::desktop && model_.builtInDisplayListed()) {
    SimScreen s;
    s.display = SimDisplays::kBuiltIn;
    if (m.model == MacModel::notched) {
      s.info = screen(s.display, {0, 0, 1512, 982}, 2, "Built-in Liquid Retina XDR Display");
      s.info.safeAreaTop = 32;
      s.info.auxiliaryTopLeftArea = sys::CGRect{0, 950, 664, 32};
      s.info.auxiliaryTopRightArea = sys::CGRect{848, 950, 664, 32};
      s.menuBarHeight = 32;
    } else {
      s.info = screen(s.display, {0, 0, 1440, 900}, 2, "Built-in Retina Display");
      s.menuBarHeight = kPlainMenuBar;
    }
    out.push_back(std::move(s));
  }
  if (model_.externalDisplay()) {
    SimScreen s;
    s.display = SimDisplays::kExternal;
    const double x = out.empty() ? 0 : out.front().info.frame.maxX();
    s.info = screen(s.display, {x, 0, 2560, 1440}, 1, "External Display");
    s.menuBarHeight = out.empty() || separate ? kPlainMenuBar : 0;
    out.push_back(std::move(s));
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    sys::CGRect& v = out[i].info.visibleFrame;
    v = out[i].info.frame;
    v.height -= out[i].menuBarHeight;
    if (i == 0) {  // the Dock
      v.y += kDockHeight;
      v.height -= kDockHeight;
    }
  }
  return out;
}

int SimDesktop::spaceOf(int screenIndex, int front) const {
  // The main screen shows the front application's own space while it has
  // one; every screen otherwise shows its desktop.
  if (screenIndex == 0 && front >= 0 && fullscreen(front) == Fullscreen::space) return 100 + front;
  return screenIndex + 1;
}

std::vector<int> SimDesktop::currentSpaces() const {
  const int front = frontmost();
  std::vector<int> out;
  const std::size_t n = screens().size();
  for (std::size_t i = 0; i < n; ++i) out.push_back(spaceOf(static_cast<int>(i), front));
  return out;
}

std::string SimDesktop::displayUUID(sys::DisplayID display) {
  if (display == SimDisplays::kBuiltIn) return "37D8832A-2D66-02CA-B9F7-8F30A301B230";
  if (display == SimDisplays::kExternal) return "9A4E1C63-58B2-4D0F-8C1E-7B2D60F3A915";
  return {};
}

SimDesktop::Epoch SimDesktop::epoch() const {
  const double t = model_.time();
  auto passed = [t](const std::vector<double>& times) {
    return static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), t) -
                                    times.begin());
  };
  return {passed(appTimes_), passed(screenTimes_), liveApps()};
}

int SimDesktop::liveAppWith(std::string_view bundleId) const {
  for (std::size_t a = 0; a < apps_.size(); ++a) {
    if (apps_[a].bundleId == bundleId && alive(static_cast<int>(a))) return static_cast<int>(a);
  }
  return -1;
}

const sys::Value& SimDesktop::windows() const {
  Epoch now = epoch();
  if (windowsEpoch_ != now) {
    windows_ = buildWindows();
    windowsEpoch_ = std::move(now);
  }
  return windows_;
}

sys::Value SimDesktop::managedDisplaySpaces() const {
  Epoch now = epoch();
  if (spacesEpoch_ != now) {
    spaces_ = buildSpaces();
    spacesEpoch_ = std::move(now);
  }
  return spaces_;
}

sys::Value SimDesktop::buildWindows() const {
  const std::vector<SimScreen> screens = this->screens();
  sys::Value out = sys::Value::array();
  if (screens.empty()) return out;
  const auto& procs = model_.table().processes;
  const double mainHeight = screens.front().info.frame.height;
  const int front = frontmost();
  const bool mainFullscreen = spaceOf(0, front) != 1;
  // Screen frames in the window list's coordinates: origin at the top left
  // of the main screen, y growing downwards.
  auto flip = [&](const sys::CGRect& r) {
    return sys::CGRect{r.x, mainHeight - r.maxY(), r.width, r.height};
  };
  auto appNamed = [&](std::string_view bundleId) { return liveAppWith(bundleId); };
  auto add = [&](std::uint32_t number, sys::Pid pid, const std::string& owner, int layer,
                 sys::CGRect b, bool onScreen) {
    sys::Value w = {
        {sys::kCGWindowNumber, number},
        {sys::kCGWindowOwnerPID, pid},
        {sys::kCGWindowOwnerName, owner},
        {sys::kCGWindowLayer, layer},
        {sys::kCGWindowBounds, {{"X", b.x}, {"Y", b.y}, {"Width", b.width}, {"Height", b.height}}},
        {sys::kCGWindowAlpha, 1.0},
        {sys::kCGWindowSharingState, 1},
        {sys::kCGWindowStoreType, 1},
        {sys::kCGWindowMemoryUsage, 2176},
    };
    if (onScreen) w[sys::kCGWindowIsOnscreen] = true;
    out.push_back(std::move(w));
  };

  // The menu bars and the status items in them.
  if (windowServer_ >= 0 && procs[static_cast<std::size_t>(windowServer_)].aliveAt(model_.time())) {
    const sys::Pid ws = procs[static_cast<std::size_t>(windowServer_)].pid;
    for (std::size_t i = 0; i < screens.size(); ++i) {
      const SimScreen& s = screens[i];
      if (s.menuBarHeight <= 0) continue;
      sys::CGRect bar = flip(s.info.frame);
      bar.height = s.menuBarHeight;
      add(10 + s.display, ws, "Window Server", kMainMenuLevel, bar, !(i == 0 && mainFullscreen));
    }
  }
  const sys::CGRect mainFrame = flip(screens.front().info.frame);
  if (int cc = appNamed("com.apple.controlcenter"); cc >= 0) {
    add(30, running(cc).processIdentifier, apps_[static_cast<std::size_t>(cc)].name, kStatusLevel,
        {mainFrame.maxX() - 120, 0, 38, screens.front().menuBarHeight}, !mainFullscreen);
  }
  const int dock = appNamed("com.apple.dock");
  if (dock >= 0) {
    const double width = std::min(800.0, mainFrame.width - 40);
    add(40, running(dock).processIdentifier, "Dock", kDockLevel,
        {(mainFrame.width - width) / 2, mainFrame.height - kDockHeight, width, kDockHeight},
        !mainFullscreen);
  }

  // Application windows, the front application's first.
  std::vector<int> order;
  const double t = model_.time();
  for (auto it = activations_.rbegin(); it != activations_.rend(); ++it) {
    if (it->t > t || !alive(it->app)) continue;
    if (std::find(order.begin(), order.end(), it->app) == order.end()) order.push_back(it->app);
  }
  const SimScreen& main = screens.front();
  for (int a : order) {
    const SimApp& app = apps_[static_cast<std::size_t>(a)];
    if (!app.regular || app.bundleId == "com.apple.finder") continue;
    const Fullscreen fs = fullscreen(a);
    sys::CGRect bounds;
    bool onScreen = !mainFullscreen;
    if (fs == Fullscreen::none) {
      const double k = a % 8;
      bounds = {mainFrame.x + 40 + 24 * k, main.menuBarHeight + 16 + 20 * k,
                std::min(1200.0, mainFrame.width - 240), std::min(760.0, mainFrame.height - 200)};
    } else {
      bounds = mainFrame;
      if (fs == Fullscreen::space) onScreen = a == front;
    }
    add(100 + static_cast<std::uint32_t>(a), running(a).processIdentifier, app.name, kNormalLevel,
        bounds, onScreen);
  }

  // Desktop elements: the icons and the pictures behind everything.
  if (int finder = appNamed("com.apple.finder"); finder >= 0) {
    add(60, running(finder).processIdentifier, apps_[static_cast<std::size_t>(finder)].name,
        kDesktopIconLevel, mainFrame, !mainFullscreen);
  }
  if (dock >= 0) {
    for (std::size_t i = 0; i < screens.size(); ++i) {
      add(50 + screens[i].display, running(dock).processIdentifier, "Dock", kDesktopLevel,
          flip(screens[i].info.frame), !(i == 0 && mainFullscreen));
    }
  }
  return out;
}

sys::Value SimDesktop::buildSpaces() const {
  const std::vector<SimScreen> screens = this->screens();
  const int front = frontmost();
  auto desktop = [](int id, bool first) {
    char uuid[40];
    std::snprintf(uuid, sizeof uuid, "D3E0A5F1-6C2B-4E7A-9B8D-%012d", id);
    return sys::Value{{"ManagedSpaceID", id},
                      {"id64", id},
                      {"type", sys::kSpaceTypeDesktop},
                      {"uuid", first ? std::string() : std::string(uuid)}};
  };
  sys::Value out = sys::Value::array();
  for (std::size_t i = 0; i < screens.size(); ++i) {
    sys::Value spaces = sys::Value::array();
    spaces.push_back(desktop(static_cast<int>(i) + 1, i == 0));
    if (i == 0) {
      for (int a : liveApps()) {
        if (fullscreen(a) != Fullscreen::space) continue;
        char uuid[40];
        std::snprintf(uuid, sizeof uuid, "5A1E0F00-7B3C-4D2A-8E9F-%012d", 100 + a);
        spaces.push_back({{"ManagedSpaceID", 100 + a},
                          {"id64", 100 + a},
                          {"type", sys::kSpaceTypeFullscreen},
                          {"uuid", uuid},
                          {"pid", running(a).processIdentifier},
                          {"fs_wid", 100 + a}});
      }
    }
    const int current = spaceOf(static_cast<int>(i), front);
    sys::Value currentSpace;
    for (const sys::Value& s : spaces) {
      if (s["ManagedSpaceID"] == current) currentSpace = s;
    }
    sys::Value entry = {{sys::kCurrentSpaceKey, currentSpace}, {sys::kSpacesKey, spaces}};
    if (model_.scenario().machine.services.separateSpaces) {
      entry[sys::kDisplayIdentifierKey] = displayUUID(screens[i].display);
      out.push_back(std::move(entry));
    } else {
      // One set of spaces for all screens, named after none of them.
      entry[sys::kDisplayIdentifierKey] = "Main";
      out.push_back(std::move(entry));
      break;
    }
  }
  return out;
}

}  // namespace ebbwise::sim
