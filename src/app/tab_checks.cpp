#include "app/tab_checks.h"

#include "sensors/browsers/browser.h"
#include "sensors/browsers/media_sites.h"

namespace ebbwise {

TabChecks::TabChecks(const sys::Platform& platform, std::function<void()> onChange)
    : platform_(platform),
      onChange_(std::move(onChange)),
      queue_(platform.runLoop.makeSerialQueue(kQueueLabel)) {}

TabChecks::~TabChecks() {
  queue_.reset();
  alive_.reset();
}

void TabChecks::update(const std::set<std::string>& playingApps, sys::Date now) {
  playing_ = playingApps;
  for (const std::string& app : playingApps) playingSince.try_emplace(app, now);
  auto stopped = [&](const auto& entry) { return !playingApps.contains(entry.first); };
  std::erase_if(playingSince, stopped);
  std::erase_if(tabSuggestions, stopped);
  std::erase_if(lastTabCheck, stopped);
  for (const std::string& app : playingApps) {
    if (!Browser::named(app)) continue;
    auto last = lastTabCheck.find(app);
    if (last != lastTabCheck.end() && now - last->second < kCheckSeconds) continue;
    lastTabCheck[app] = now;
    checkTabs(app);
  }
}

void TabChecks::checkTabs(const std::string& app) {
  auto browser = Browser::named(app);
  if (!browser) return;
  std::weak_ptr<bool> alive = alive_;
  sys::RunLoop& loop = platform_.runLoop;
  sys::ScriptRunner& scripts = platform_.scriptRunner;
  queue_->async([this, app, script = browser->script, alive, &loop, &scripts] {
    // A failed script (no permission, no such browser) suggests nothing.
    sys::ScriptResult result = scripts.run(script);
    std::vector<std::string> sites;
    if (result.succeeded() && result.text) {
      sites = MediaSites::suggestions(Browser::tabURLs(*result.text));
    }
    loop.post([this, app, alive, sites = std::move(sites)]() mutable {
      if (!alive.lock() || !playing_.contains(app)) return;
      if (sites.empty()) {
        tabSuggestions.erase(app);
      } else {
        tabSuggestions[app] = std::move(sites);
      }
      if (onChange_) onChange_();
    });
  });
}

}  // namespace ebbwise
