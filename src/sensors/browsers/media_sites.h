#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ebbwise {

// Sites known to keep the audio output open while nothing audible plays:
// streaming video and music, video calls and messaging web apps, and social
// sites that play media.
namespace MediaSites {

// Host names, lower case, without "www.".
const std::vector<std::string>& known();

// The known sites among the hosts of these tab addresses, in the order of
// `known()`: a host counts for a site when it is the site or one of its
// sub-domains.
std::vector<std::string> suggestions(const std::vector<std::string>& tabURLs);

// What to tell the user about the open sites that may keep the speakers on.
std::string advice(const std::vector<std::string>& sites);

}  // namespace MediaSites

}  // namespace ebbwise
