#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace ebbwise::sys {

// Identifies an observer registered with a notification centre; 0 is never
// used.
using ObserverID = std::uint64_t;

// The observers of one provider's notifications, by name. Only bookkeeping:
// the provider decides when and on which loop to deliver. Handlers may add
// or remove observers (themselves included) while being notified.
template <typename Name, typename... Args>
class ObserverList {
 public:
  using Handler = std::function<void(Args...)>;

  ObserverID add(Name name, Handler handler) {
    const ObserverID id = ++last_;
    entries_.push_back({id, name, std::make_shared<Handler>(std::move(handler))});
    return id;
  }

  void remove(ObserverID id) {
    std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
  }

  bool has(Name name) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const Entry& e) { return e.name == name; });
  }
  bool empty() const { return entries_.empty(); }

  // Calls every observer of `name` registered now, in registration order;
  // one removed meanwhile by an earlier handler is skipped.
  void notify(Name name, Args... args) const {
    std::vector<std::pair<ObserverID, std::shared_ptr<Handler>>> due;
    for (const Entry& e : entries_) {
      if (e.name == name) due.emplace_back(e.id, e.handler);
    }
    for (const auto& [id, handler] : due) {
      if (registered(id)) (*handler)(args...);
    }
  }

 private:
  struct Entry {
    ObserverID id;
    Name name;
    std::shared_ptr<Handler> handler;
  };

  bool registered(ObserverID id) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [id](const Entry& e) { return e.id == id; });
  }

  std::vector<Entry> entries_;
  ObserverID last_ = 0;
};

}  // namespace ebbwise::sys
