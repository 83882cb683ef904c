#include "sensors/browsers/media_sites.h"

#include <set>

#include "sensors/browsers/browser.h"

namespace ebbwise::MediaSites {

const std::vector<std::string>& known() {
  static const std::vector<std::string> sites = {
      // Video and music streaming.
      "youtube.com", "music.youtube.com", "netflix.com", "twitch.tv", "vimeo.com",
      "open.spotify.com", "soundcloud.com", "music.apple.com", "crunchyroll.com", "primevideo.com",
      "disneyplus.com", "hulu.com", "max.com", "dailymotion.com", "deezer.com", "tidal.com",
      "bandcamp.com",
      // Video calls and messaging web apps.
      "meet.google.com", "zoom.us", "teams.microsoft.com", "app.slack.com", "discord.com",
      "web.whatsapp.com", "messenger.com",
      // Social sites that play media.
      "tiktok.com", "instagram.com", "facebook.com", "x.com", "twitter.com", "reddit.com"};
  return sites;
}

std::vector<std::string> suggestions(const std::vector<std::string>& tabURLs) {
  std::set<std::string> hosts;
  for (const std::string& url : tabURLs) {
    if (auto host = Browser::site(url)) hosts.insert(std::move(*host));
  }
  std::vector<std::string> out;
  for (const std::string& site : known()) {
    const std::string subdomain = "." + site;
    for (const std::string& host : hosts) {
      if (host == site || host.ends_with(subdomain)) {
        out.push_back(site);
        break;
      }
    }
  }
  return out;
}

std::string advice(const std::vector<std::string>& sites) {
  if (sites.empty()) {
    return "None of your open tabs is a site known for this. Closing tabs one at a time will "
           "find it.";
  }
  std::string named = sites.back();
  if (sites.size() > 1) {
    std::string first;
    for (std::size_t i = 0; i + 1 < sites.size(); ++i) first += (i ? ", " : "") + sites[i];
    named = first + " and " + sites.back();
  }
  return "You have " + named +
         " open. Those sites often keep the speakers on; closing them should turn the speakers "
         "off.";
}

}  // namespace ebbwise::MediaSites
