#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sys/platform.h"

namespace ebbwise {

// Asks the browsers that keep the speakers on which media sites they have
// open. A browser is asked only while it plays, at most once every
// `kCheckSeconds`; the script runs on a serial queue of its own and its
// answer comes back to the main loop, where it counts only while the browser
// still plays (`onChange` is then called). Everything else runs on the main
// loop.
class TabChecks {
 public:
  static constexpr const char* kQueueLabel = "joulemark.browser-tabs";
  static constexpr double kCheckSeconds = 60;

  TabChecks(const sys::Platform& platform, std::function<void()> onChange);
  ~TabChecks();
  TabChecks(const TabChecks&) = delete;
  TabChecks& operator=(const TabChecks&) = delete;

  // Follows the apps playing now: notes when each started, forgets those
  // that stopped and asks the playing browsers that are due.
  void update(const std::set<std::string>& playingApps, sys::Date now);

  // Asks the browser row `app` for its tabs now.
  void checkTabs(const std::string& app);

  // Published state.
  std::map<std::string, sys::Date> playingSince;
  // Media sites open in each playing browser that has some.
  std::map<std::string, std::vector<std::string>> tabSuggestions;
  std::map<std::string, sys::Date> lastTabCheck;

 private:
  sys::Platform platform_;
  std::function<void()> onChange_;
  std::set<std::string> playing_;
  std::unique_ptr<sys::SerialQueue> queue_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace ebbwise
