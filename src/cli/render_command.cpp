#include "cli/render_command.h"

#include "base/terminal_text.h"
#include "cli/simulated_app.h"
#include "face/panel_snapshot.h"

namespace ebbwise {

CommandResult runRenderPanel(const CommandOptions& options, sys::Environment& host) {
  std::string error;
  std::unique_ptr<SimulatedApp> app = SimulatedApp::launch(options.report.scenario, host, error);
  if (!app) {
    return {CommandOptions::kUsageError, "", "ebbwise: " + TerminalText::printable(error) + "\n"};
  }
  Monitor& monitor = app->monitor();
  // The panel shows what an open panel shows: the range and accessories fresh.
  monitor.setPanelOpen(true);
  app->simulation().runFor(options.face.at);

  CommandResult result;
  ui::FontLibrary fonts;
  for (const std::string& problem : fonts.problems()) result.err += "ebbwise: " + problem + "\n";
  const std::string& path = *options.face.renderPanel;
  if (auto failed = PanelSnapshot::write(monitor, app->simulation().loop().now(), path, fonts)) {
    result.exitCode = CommandOptions::kFailure;
    result.err += "ebbwise: " + TerminalText::printable(*failed) + "\n";
  }
  monitor.willTerminate();
  return result;
}

}  // namespace ebbwise
