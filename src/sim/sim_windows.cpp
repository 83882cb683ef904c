#include "sim/sim_windows.h"

namespace ebbwise::sim {

namespace {

class SimKeyPanel final : public sys::KeyPanel {
 public:
  explicit SimKeyPanel(std::shared_ptr<SimWindows::Panel> panel) : panel_(std::move(panel)) {}
  ~SimKeyPanel() override { orderOut(); }

  void setContent(const sys::CalibrationMessageContent& content) override {
    if (!panel_->onScreen) return;
    panel_->content = content;
    ++panel_->contentUpdates;
  }
  void orderOut() override { panel_->onScreen = false; }

 private:
  std::shared_ptr<SimWindows::Panel> panel_;
};

}  // namespace

std::optional<sys::ScreenRect> SimWindows::mainScreenFrame() {
  auto lock = model_.sync();
  if (model_.builtInDisplayListed()) return kBuiltInFrame;
  if (model_.externalDisplay()) return kExternalFrame;
  return std::nullopt;
}

std::unique_ptr<sys::KeyPanel> SimWindows::showKeyPanel(
    const sys::KeyPanelOptions& options, const sys::CalibrationMessageContent& content,
    std::function<void()> stopClicked) {
  auto panel = std::make_shared<Panel>(Panel{options, content, std::move(stopClicked), true, 0});
  panels_.push_back(panel);
  return std::make_unique<SimKeyPanel>(std::move(panel));
}

sys::KeyMonitorID SimWindows::addLocalKeyDownMonitor(sys::KeyDownHandler handler) {
  if (!handler) return 0;
  sys::KeyMonitorID id = nextMonitor_++;
  monitors_.emplace(id, std::move(handler));
  return id;
}

void SimWindows::removeMonitor(sys::KeyMonitorID id) {
  monitors_.erase(id);
}

bool SimWindows::pressKey(std::uint16_t keyCode) {
  // A handler may remove monitors; work from a copy.
  std::vector<sys::KeyDownHandler> handlers;
  for (auto it = monitors_.rbegin(); it != monitors_.rend(); ++it) handlers.push_back(it->second);
  for (const auto& handler : handlers) {
    if (handler(keyCode)) return false;
  }
  delivered_.push_back(keyCode);
  return true;
}

bool SimWindows::clickStop() {
  const Panel* panel = shownPanel();
  if (!panel || !panel->stopClicked) return false;
  std::function<void()> stop = panel->stopClicked;
  stop();
  return true;
}

const SimWindows::Panel* SimWindows::shownPanel() const {
  for (auto it = panels_.rbegin(); it != panels_.rend(); ++it) {
    if ((*it)->onScreen) return it->get();
  }
  return nullptr;
}

}  // namespace ebbwise::sim
