#include "sim/simulated_mac.h"

#include <cmath>

#include "sim/machine_model.h"
#include "sim/sim_audio.h"
#include "sim/sim_audio_engine.h"
#include "sim/sim_desktop.h"
#include "sim/sim_displays.h"
#include "sim/sim_environment.h"
#include "sim/sim_io_report.h"
#include "sim/sim_keyboard.h"
#include "sim/sim_login_item.h"
#include "sim/sim_notifications.h"
#include "sim/sim_power_sources.h"
#include "sim/sim_privileged_scripts.h"
#include "sim/sim_process_info.h"
#include "sim/sim_processes.h"
#include "sim/sim_registry.h"
#include "sim/sim_screens.h"
#include "sim/sim_script_runner.h"
#include "sim/sim_smc.h"
#include "sim/sim_tool_runner.h"
#include "sim/sim_windows.h"
#include "sim/sim_workspace.h"
#include "sys/in_memory_user_defaults.h"

namespace ebbwise::sim {

struct SimulatedMac::Services {
  Services(MachineModel& m, sys::Clock& clock)
      : registry(m),
        processes(m),
        smc(m),
        ioReport(m),
        displays(m),
        displayServices(m),
        coreBrightness(m),
        audio(m),
        environment(m),
        windows(m),
        audioEngines(m),
        desktop(m),
        workspace(m, desktop, environment, clock),
        processInfo(m, clock),
        notifications(m.scenario().machine.services.notifications, clock),
        privilegedScripts(m, processInfo),
        loginItem(m.scenario().machine.services.loginItem),
        screens(m, desktop, clock),
        windowServer(m, desktop),
        toolRunner(m),
        powerSources(m),
        scriptRunner(m.scenario()) {
    processes.onEnded([this] { workspace.processEnded(); });
  }

  // Services that answer or notify later do it on the loop they serve.
  void bind(sys::RunLoop& loop) {
    workspace.bind(loop);
    processInfo.bind(loop);
    notifications.bind(loop);
    privilegedScripts.bind(loop);
    screens.bind(loop);
  }

  SimRegistry registry;
  SimProcesses processes;
  SimSMC smc;
  SimIOReport ioReport;
  SimDisplays displays;
  SimDisplayServices displayServices;
  SimCoreBrightness coreBrightness;
  SimAudio audio;
  SimEnvironment environment;
  SimWindows windows;
  SimAudioEngines audioEngines;
  sys::InMemoryUserDefaults userDefaults;
  SimDesktop desktop;
  SimWorkspace workspace;
  SimProcessInfo processInfo;
  SimUserNotificationCenter notifications;
  SimPrivilegedScriptRunner privilegedScripts;
  SimLoginItemService loginItem;
  SimUpdater updater;
  SimScreens screens;
  SimWindowServer windowServer;
  SimToolRunner toolRunner;
  SimPowerSources powerSources;
  SimScriptRunner scriptRunner;
};

SimulatedMac::SimulatedMac(Scenario scenario, sys::Clock& clock)
    : clock_(clock),
      model_(std::make_unique<MachineModel>(std::move(scenario), clock)),
      services_(std::make_unique<Services>(*model_, clock)) {}

SimulatedMac::~SimulatedMac() = default;

sys::Platform SimulatedMac::platform(sys::RunLoop& runLoop) {
  auto& s = *services_;
  s.bind(runLoop);
  return sys::Platform{.clock = clock_,
                       .runLoop = runLoop,
                       .environment = s.environment,
                       .registry = s.registry,
                       .processes = s.processes,
                       .smc = s.smc,
                       .ioReport = s.ioReport,
                       .displays = s.displays,
                       .displayServices = s.displayServices,
                       .coreBrightness = s.coreBrightness,
                       .audio = s.audio,
                       .toolRunner = s.toolRunner,
                       .userDefaults = s.userDefaults,
                       .windows = s.windows,
                       .audioEngines = s.audioEngines,
                       .notifications = s.notifications,
                       .workspace = s.workspace,
                       .processInfo = s.processInfo,
                       .windowServer = s.windowServer,
                       .screens = s.screens,
                       .privilegedScripts = s.privilegedScripts,
                       .loginItem = s.loginItem,
                       .updater = s.updater,
                       .powerSources = s.powerSources,
                       .scriptRunner = s.scriptRunner};
}

SimWindows& SimulatedMac::windows() {
  return services_->windows;
}

sys::UserDefaults& SimulatedMac::userDefaults() {
  return services_->userDefaults;
}

const Scenario& SimulatedMac::scenario() const {
  return model_->scenario();
}

sys::Date SimulatedMac::startDate() const {
  return model_->startDate();
}

std::vector<SleepSpan> SimulatedMac::sleeps() const {
  std::vector<SleepSpan> out;
  for (const auto& s : model_->scenario().sleeps) {
    out.push_back({model_->startDate() + s.at, model_->startDate() + s.at + s.seconds});
  }
  return out;
}

bool SimulatedMac::hibernating() {
  auto lock = model_->sync();
  return model_->hibernating();
}

sys::Date SimulatedMac::nextChange() {
  auto lock = model_->sync();
  return model_->startDate() + model_->nextBoundary();
}

std::vector<Hibernation> SimulatedMac::hibernations() {
  auto lock = model_->sync();
  std::vector<Hibernation> out;
  for (const SleepPeriod& h : model_->hibernations()) {
    Hibernation span{model_->startDate() + h.at, std::nullopt};
    if (std::isfinite(h.seconds)) span.end = model_->startDate() + h.at + h.seconds;
    out.push_back(span);
  }
  return out;
}

TruthSnapshot SimulatedMac::truth() {
  auto lock = model_->sync();
  return model_->truth();
}

void SimulatedMac::rowSnapshot(RowSnapshot& out) {
  auto lock = model_->sync();
  model_->rowSnapshot(out);
}

const std::vector<std::string>& SimulatedMac::rowNames() const {
  return model_->table().rowNames;
}

double SimulatedMac::trueMinutesToEmpty() {
  auto lock = model_->sync();
  return model_->trueMinutesToEmpty();
}

double SimulatedMac::trueSystemWatts() {
  auto lock = model_->sync();
  return model_->systemWatts();
}

double SimulatedMac::truePartWatts(Part part) {
  auto lock = model_->sync();
  return model_->partWatts(part);
}

void SimulatedMac::setVariable(std::string name, std::string value) {
  services_->environment.setVariable(std::move(name), std::move(value));
}

sys::Registry& SimulatedMac::registry() {
  return services_->registry;
}
sys::Processes& SimulatedMac::processes() {
  return services_->processes;
}
sys::SMCUserClient& SimulatedMac::smc() {
  return services_->smc;
}
sys::IOReport& SimulatedMac::ioReport() {
  return services_->ioReport;
}
sys::Displays& SimulatedMac::displays() {
  return services_->displays;
}
sys::DisplayServices& SimulatedMac::displayServices() {
  return services_->displayServices;
}
sys::CoreBrightness& SimulatedMac::coreBrightness() {
  return services_->coreBrightness;
}
sys::AudioSystem& SimulatedMac::audio() {
  return services_->audio;
}
sys::Environment& SimulatedMac::environment() {
  return services_->environment;
}
sys::ToolRunner& SimulatedMac::toolRunner() {
  return services_->toolRunner;
}
sys::PowerSources& SimulatedMac::powerSources() {
  return services_->powerSources;
}
sys::ScriptRunner& SimulatedMac::scriptRunner() {
  return services_->scriptRunner;
}
sys::ProcessInfo& SimulatedMac::processInfo() {
  return services_->processInfo;
}
void SimulatedMac::announceSleep() {
  services_->workspace.announceSleep();
}

void SimulatedMac::announceWake() {
  services_->workspace.announceWake();
}

std::vector<sys::DeliveredNotification> SimulatedMac::notificationHistory() const {
  return services_->notifications.history();
}

std::vector<std::string> SimulatedMac::openedURLs() const {
  return services_->workspace.openedURLs();
}

int SimulatedMac::passwordPrompts() const {
  return services_->privilegedScripts.prompts();
}

int SimulatedMac::loginItemRegistrations() const {
  return services_->loginItem.registrations();
}

bool SimulatedMac::updaterStarted() const {
  return services_->updater.started();
}

double SimulatedMac::chipTemperatureC() {
  auto lock = model_->sync();
  return model_->chipTemperatureC();
}

}  // namespace ebbwise::sim
