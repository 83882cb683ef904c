#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ebbwise {

// A browser whose open tabs can be listed by a script, under the name it has
// as an application and as a row of the power split.
struct Browser {
  std::string rowName;
  std::string script;  // lists the address of every tab, one per line

  // Safari, Google Chrome, Brave Browser, Microsoft Edge and Arc.
  static const std::vector<Browser>& known();
  // The known browser of exactly this name (letter case included).
  static std::optional<Browser> named(std::string_view name);

  // The site of a tab's address: its host, lower case, without a leading
  // "www." or a trailing dot. Nothing for text that is not an address or has
  // no host (a "javascript:" or "data:" address, a local file), and for a
  // host name with an empty label.
  static std::optional<std::string> site(std::string_view url);

  // The tab addresses in a tab script's result, one per line (line feeds,
  // carriage returns or both end a line); empty lines are dropped.
  static std::vector<std::string> tabURLs(std::string_view scriptResult);

  friend bool operator==(const Browser&, const Browser&) = default;
};

}  // namespace ebbwise
