#include "linux/xdg_workspace.h"

#include <cctype>

#include <unistd.h>

namespace ebbwise::linux_host {

XdgWorkspace::XdgWorkspace(sys::RunLoop& loop, sys::ToolRunner& tools,
                           std::optional<std::string> opener, IconTheme icons)
    : loop_(loop),
      tools_(tools),
      icons_(std::move(icons)),
      queue_(loop.makeSerialQueue("ebbwise.open")) {
  if (!opener) {
    for (const char* path : {"/usr/bin/xdg-open", "/usr/local/bin/xdg-open", "/bin/xdg-open"}) {
      if (::access(path, X_OK) == 0) {
        opener = path;
        break;
      }
    }
  }
  opener_ = std::move(opener);
}

XdgWorkspace::~XdgWorkspace() {
  queue_.reset();  // waits for a run in progress
}

bool XdgWorkspace::hasScheme(std::string_view text) {
  // scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ), then ":".
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text.front()))) return false;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ':') return i + 1 < text.size();
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

void XdgWorkspace::open(std::string url, std::function<void(bool)> completion) {
  auto answer = [&loop = loop_, c = std::move(completion)](bool opened) {
    if (c) loop.post([c, opened] { c(opened); });
  };
  if (!opener_ || !hasScheme(url)) {
    answer(false);
    return;
  }
  queue_->async([&tools = tools_, opener = *opener_, url = std::move(url), answer] {
    // The handler it starts must not keep the runner's output open (the
    // runner would wait for it, then end it), so the opener's output goes
    // nowhere and only its exit status comes back.
    const std::string arguments[] = {"-c", "exec \"$0\" \"$1\" </dev/null >/dev/null 2>&1", opener,
                                     url};
    auto run = tools.run("/bin/sh", arguments);
    answer(run && run->exitStatus == 0 && !run->timedOut);
  });
}

}  // namespace ebbwise::linux_host
