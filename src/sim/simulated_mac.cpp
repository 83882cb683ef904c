#include "sim/simulated_mac.h"

#include <cmath>

#include "sim/machine_model.h"
#include "sim/sim_audio.h"
#include "sim/sim_displays.h"
#include "sim/sim_environment.h"
#include "sim/sim_io_report.h"
#include "sim/sim_keyboard.h"
#include "sim/sim_power_sources.h"
#include "sim/sim_process_info.h"
#include "sim/sim_processes.h"
#include "sim/sim_registry.h"
#include "sim/sim_script_runner.h"
#include "sim/sim_smc.h"
#include "sim/sim_tool_runner.h"
#include "sys/in_memory_user_defaults.h"

namespace ebbwise::sim {

struct SimulatedMac::Services {
  explicit Services(MachineModel& m)
      : registry(m),
        processes(m),
        smc(m),
        ioReport(m),
        displays(m),
        displayServices(m),
        coreBrightness(m),
        audio(m),
        environment(m),
        toolRunner(m),
        powerSources(m),
        scriptRunner(m.scenario()),
        processInfo(m) {}

  SimRegistry registry;
  SimProcesses processes;
  SimSMC smc;
  SimIOReport ioReport;
  SimDisplays displays;
  SimDisplayServices displayServices;
  SimCoreBrightness coreBrightness;
  SimAudio audio;
  SimEnvironment environment;
  SimToolRunner toolRunner;
  SimPowerSources powerSources;
  SimScriptRunner scriptRunner;
  SimProcessInfo processInfo;
  sys::InMemoryUserDefaults userDefaults;
};

SimulatedMac::SimulatedMac(Scenario scenario, sys::Clock& clock)
    : clock_(clock),
      model_(std::make_unique<MachineModel>(std::move(scenario), clock)),
      services_(std::make_unique<Services>(*model_)) {}

SimulatedMac::~SimulatedMac() = default;

sys::Platform SimulatedMac::platform(sys::RunLoop& runLoop) {
  auto& s = *services_;
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
                       .powerSources = s.powerSources,
                       .scriptRunner = s.scriptRunner,
                       .processInfo = s.processInfo};
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
sys::UserDefaults& SimulatedMac::userDefaults() {
  return services_->userDefaults;
}

}  // namespace ebbwise::sim
