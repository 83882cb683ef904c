#pragma once

#include <optional>
#include <string>

#include "history/store.h"

namespace ebbwise {

// The one line the command prints when the history cannot be kept. The run
// goes on without it (every figure of the report comes from memory), but the
// user should know that this run leaves nothing behind.
namespace HistoryNotice {

// The line, ending in a line break, for a store that cannot take minutes
// (null: there was no folder to put one in, and `folder` names the one that
// could not be made, when known); nothing when it can.
std::optional<std::string> about(const Store* store,
                                 const std::optional<std::string>& folder = std::nullopt);

}  // namespace HistoryNotice

}  // namespace ebbwise
