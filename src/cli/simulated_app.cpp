#include "cli/simulated_app.h"

#include "cli/history_notice.h"
#include "history/store.h"
#include "sim/scenario_catalog.h"

namespace ebbwise {

std::unique_ptr<SimulatedApp> SimulatedApp::launch(const std::optional<std::string>& scenario,
                                                   sys::Environment& host, std::string& error) {
  sim::Scenario::Parsed parsed = sim::ScenarioCatalog::find(scenario.value_or("default"));
  if (!parsed) {
    error = parsed.error;
    return nullptr;
  }
  return std::unique_ptr<SimulatedApp>(new SimulatedApp(std::move(*parsed.scenario), host));
}

SimulatedApp::SimulatedApp(sim::Scenario scenario, sys::Environment& host)
    : scratch_(host), simulation_(std::move(scenario)) {
  std::unique_ptr<Store> store;
  if (scratch_.folder()) {
    simulation_.mac().setVariable("EBBWISE_DATA_DIR", *scratch_.folder());
    if (auto path = Store::defaultURL(simulation_.mac().environment())) {
      store = std::make_unique<Store>(*path, Store::Durability::scratch);
    }
  }
  historyNotice_ =
      HistoryNotice::about(store.get(), ScratchHistory::simulatorFolder(host)).value_or("");
  startup_ = std::make_unique<AppStartup>(simulation_.platform(), std::move(store));
}

}  // namespace ebbwise
