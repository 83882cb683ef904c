#include "linux/notice.h"

#include <cstdio>

namespace ebbwise::linux_host {

Notice standardErrorNotice() {
  return [](const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); };
}

}  // namespace ebbwise::linux_host
