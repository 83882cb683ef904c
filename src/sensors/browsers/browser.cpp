#include "sensors/browsers/browser.h"

#include <uriparser/Uri.h>

#include "base/utf8.h"

namespace ebbwise {

namespace {

// The tab-listing script, with the browser's name between the quotes of the
// second line. A tab whose address cannot be read is skipped.
std::string tabScript(std::string_view application) {
  return "set out to \"\"\n"
         "tell application \"" +
         std::string(application) +
         "\"\n"
         "    repeat with w in windows\n"
         "        repeat with t in tabs of w\n"
         "            try\n"
         "                set out to out & (URL of t) & linefeed\n"
         "            end try\n"
         "        end repeat\n"
         "    end repeat\n"
         "end tell\n"
         "return out";
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

// The host part of an address, as written; nothing when the text is not an
// address by RFC 3986.
std::optional<std::string> hostOf(std::string_view text) {
  UriUriA uri;
  const char* errorPos = nullptr;
  if (uriParseSingleUriExA(&uri, text.data(), text.data() + text.size(), &errorPos) !=
      URI_SUCCESS) {
    return std::nullopt;
  }
  std::optional<std::string> host;
  if (uri.hostText.first != nullptr && uri.hostText.afterLast != nullptr) {
    host.emplace(uri.hostText.first, uri.hostText.afterLast);
  }
  uriFreeUriMembersA(&uri);
  return host;
}

}  // namespace

const std::vector<Browser>& Browser::known() {
  static const std::vector<Browser> browsers = [] {
    std::vector<Browser> out;
    for (const char* name : {"Safari", "Google Chrome", "Brave Browser", "Microsoft Edge", "Arc"}) {
      out.push_back(Browser{name, tabScript(name)});
    }
    return out;
  }();
  return browsers;
}

std::optional<Browser> Browser::named(std::string_view name) {
  for (const Browser& browser : known()) {
    if (browser.rowName == name) return browser;
  }
  return std::nullopt;
}

std::optional<std::string> Browser::site(std::string_view url) {
  // Text around the address is no part of it; white space inside it makes
  // it no address at all.
  auto host = hostOf(trimmed(url));
  if (!host) return std::nullopt;
  std::string site = Utf8::asciiLowercase(*host);
  if (site.starts_with("www.")) site.erase(0, 4);
  // "example.com." names the same host as "example.com"; a name with an
  // empty label anywhere else ("a..com", ".com") names no host.
  if (!site.empty() && site.back() == '.') site.pop_back();
  if (site.empty() || site.front() == '.' || site.back() == '.' ||
      site.find("..") != std::string::npos) {
    return std::nullopt;
  }
  return site;
}

std::vector<std::string> Browser::tabURLs(std::string_view scriptResult) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= scriptResult.size(); ++i) {
    if (i < scriptResult.size() && scriptResult[i] != '\n' && scriptResult[i] != '\r') continue;
    if (i > start) out.emplace_back(scriptResult.substr(start, i - start));
    start = i + 1;
  }
  return out;
}

}  // namespace ebbwise
