// Browsers, their tab script, the sites of tab addresses and the media-site
// advice.

#include <gtest/gtest.h>

#include <set>

#include "sensors/browsers/browser.h"
#include "sensors/browsers/media_sites.h"

namespace ebbwise {
namespace {

TEST(BrowserTest, KnownBrowsersAndTheirScript) {
  std::vector<std::string> names;
  for (const Browser& b : Browser::known()) names.push_back(b.rowName);
  EXPECT_EQ(names, (std::vector<std::string>{"Safari", "Google Chrome", "Brave Browser",
                                             "Microsoft Edge", "Arc"}));
  EXPECT_EQ(Browser::named("google chrome"), std::nullopt);
  EXPECT_EQ(Browser::named("Safari ").has_value(), false);
  ASSERT_TRUE(Browser::named("Safari"));
  EXPECT_NE(Browser::named("Safari")->script.find("tell application \"Safari\""),
            std::string::npos);
  std::string arc = Browser::named("Arc")->script;
  arc.replace(arc.find("\"Arc\""), 5, "\"Safari\"");
  EXPECT_EQ(arc, Browser::named("Safari")->script) << "only the name differs";
}

TEST(BrowserTest, SiteOfAnAddress) {
  const std::pair<const char*, std::optional<std::string>> sites[] = {
      {"https://www.YouTube.com/watch?v=1", "youtube.com"},
      {"https://music.youtube.com/", "music.youtube.com"},
      {"https://a.example@media-host/path", "media-host"},
      {"https://user:pw@Twitch.TV:8443/x", "twitch.tv"},
      {"http://[2001:db8::1]:8080/", "2001:db8::1"},
      {"https://youtube.com./", "youtube.com"},
      {"  https://vimeo.com/1\t", "vimeo.com"},
      {"//netflix.com/title", "netflix.com"},
      {"https://www./", std::nullopt},
      {"https://www.www.example.com/", "www.example.com"},
      {"https://www.YouTube../watch", std::nullopt},
      {"https://.youtube.com/", std::nullopt},
      {"https://a..youtube.com/", std::nullopt},
      {"https://exa mple.com/", std::nullopt},
      {"javascript:alert(1)", std::nullopt},
      {"data:text/html,<b>hi</b>", std::nullopt},
      {"file:///Users/alex/a.html", std::nullopt},
      {"about:blank", std::nullopt},
      {"youtube.com/watch", std::nullopt},
      {"https:///path", std::nullopt},
      {"", std::nullopt},
      {"https://\xFF.com/", std::nullopt},
  };
  for (const auto& [url, site] : sites) EXPECT_EQ(Browser::site(url), site) << url;
}

TEST(BrowserTest, TabAddressesOnePerLine) {
  EXPECT_EQ(Browser::tabURLs("https://a/\r\nhttps://b/\n\nhttps://c/\rhttps://d/"),
            (std::vector<std::string>{"https://a/", "https://b/", "https://c/", "https://d/"}));
  EXPECT_TRUE(Browser::tabURLs("").empty());
  EXPECT_TRUE(Browser::tabURLs("\n\r\n").empty());
}

TEST(MediaSitesTest, KnownSitesOfTheOpenTabs) {
  const auto& known = MediaSites::known();
  EXPECT_EQ(std::set<std::string>(known.begin(), known.end()).size(), known.size());
  for (const std::string& site : known) {
    EXPECT_FALSE(site.starts_with("www.")) << site;
    EXPECT_EQ(Browser::site("https://" + site + "/"), site) << "lower case, a host";
  }

  EXPECT_EQ(MediaSites::suggestions({"https://m.twitch.tv/x", "https://max.com/",
                                     "https://notyoutube.com/", "https://WWW.NETFLIX.COM/",
                                     "https://netflix.com/b", "garbage", "https://x.com./home"}),
            (std::vector<std::string>{"netflix.com", "twitch.tv", "max.com", "x.com"}));
  EXPECT_EQ(MediaSites::suggestions({"https://music.youtube.com/"}),
            (std::vector<std::string>{"youtube.com", "music.youtube.com"}));
  EXPECT_TRUE(MediaSites::suggestions({}).empty());
}

TEST(MediaSitesTest, Advice) {
  const std::string tail =
      " open. Those sites often keep the speakers on; closing them should turn the speakers off.";
  EXPECT_EQ(MediaSites::advice({}),
            "None of your open tabs is a site known for this. Closing tabs one at a time will "
            "find it.");
  EXPECT_EQ(MediaSites::advice({"youtube.com"}), "You have youtube.com" + tail);
  EXPECT_EQ(MediaSites::advice({"a.com", "b.com"}), "You have a.com and b.com" + tail);
  EXPECT_EQ(MediaSites::advice({"a.com", "b.com", "c.com"}),
            "You have a.com, b.com and c.com" + tail);
}

}  // namespace
}  // namespace ebbwise
