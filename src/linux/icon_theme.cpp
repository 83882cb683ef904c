#include "linux/icon_theme.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "linux/small_file.h"

namespace ebbwise::linux_host {

namespace fs = std::filesystem;

namespace {

// Desktop entries and theme folders are small; anything larger is no entry.
constexpr std::size_t kLargestEntry = 256 * 1024;

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// The value of `key` in the "[Desktop Entry]" group (not a localized one).
std::optional<std::string> entryValue(std::string_view entry, std::string_view key) {
  bool inGroup = false;
  while (!entry.empty()) {
    const std::size_t end = entry.find('\n');
    std::string_view line = trimmed(entry.substr(0, end));
    entry.remove_prefix(end == std::string_view::npos ? entry.size() : end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == "[Desktop Entry]";
      continue;
    }
    if (!inGroup) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || trimmed(line.substr(0, equals)) != key) continue;
    return std::string(trimmed(line.substr(equals + 1)));
  }
  return std::nullopt;
}

// The words of an "Exec" value, quotes removed, until `count` are read.
std::vector<std::string> words(std::string_view value, std::size_t count) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < value.size() && out.size() < count) {
    while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i]))) ++i;
    if (i >= value.size()) break;
    std::string word;
    if (value[i] == '"') {
      for (++i; i < value.size() && value[i] != '"'; ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        word += value[i];
      }
      ++i;  // the closing quote
    } else {
      while (i < value.size() && !std::isspace(static_cast<unsigned char>(value[i])))
        word += value[i++];
    }
    out.push_back(std::move(word));
  }
  return out;
}

std::string canonical(const std::string& path) {
  std::error_code error;
  fs::path resolved = fs::canonical(path, error);
  return error ? path : resolved.string();
}

bool isFile(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

// The pixel size of a theme folder named "48x48"; nothing for "scalable",
// "48x48@2" and the like.
std::optional<int> folderSize(const std::string& name) {
  const std::size_t x = name.find('x');
  if (x == std::string::npos || x == 0 || x > 4 || name.substr(0, x) != name.substr(x + 1))
    return std::nullopt;
  int size = 0;
  for (char c : name.substr(0, x)) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    size = size * 10 + (c - '0');
  }
  return size > 0 ? std::optional<int>(size) : std::nullopt;
}

}  // namespace

IconTheme::IconTheme(std::vector<std::string> dataFolders, std::string pixmaps)
    : dataFolders_(std::move(dataFolders)), pixmaps_(std::move(pixmaps)) {}

IconTheme IconTheme::forUser(sys::Environment& environment) {
  std::vector<std::string> folders;
  auto absolute = [](const std::string& path) { return !path.empty() && path.front() == '/'; };
  if (auto home = environment.variable("XDG_DATA_HOME"); home && absolute(*home)) {
    folders.push_back(*home);
  } else if (auto user = environment.homeDirectory()) {
    folders.push_back(*user + "/.local/share");
  }
  std::string dirs = environment.variable("XDG_DATA_DIRS").value_or("");
  if (trimmed(dirs).empty()) dirs = "/usr/local/share:/usr/share";
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string folder = dirs.substr(start, end - start);
    // Relative entries are invalid and ignored, as the desktop does.
    if (absolute(folder)) folders.push_back(folder);
    start = end + 1;
  }
  return IconTheme(std::move(folders), "/usr/share/pixmaps");
}

std::optional<sys::Image> IconTheme::iconForFile(std::string_view path) const {
  const std::optional<std::string> entry = desktopEntry(path);
  if (!entry) return std::nullopt;
  const std::optional<std::string> text = SmallFile::read(*entry);
  if (!text || text->size() > kLargestEntry) return std::nullopt;
  const std::optional<std::string> icon = iconKey(*text);
  if (!icon) return std::nullopt;
  const std::optional<std::string> file = iconFile(*icon);
  return file ? loadPNG(*file) : std::nullopt;
}

std::optional<std::string> IconTheme::desktopEntry(std::string_view path) const {
  if (path.empty() || path.front() != '/') return std::nullopt;
  const std::string file(path);
  if (!isFile(file)) return std::nullopt;
  if (path.ends_with(".desktop")) return file;
  for (const std::string& folder : dataFolders_) {
    std::error_code error;
    fs::directory_iterator it(folder + "/applications", error);
    if (error) continue;
    // Entries in name order, so the same one wins every time.
    std::vector<std::string> entries;
    for (const fs::directory_entry& e : it) {
      if (e.path().extension() == ".desktop") entries.push_back(e.path().string());
    }
    std::sort(entries.begin(), entries.end());
    for (const std::string& entry : entries) {
      const std::optional<std::string> text = SmallFile::read(entry);
      if (!text || text->size() > kLargestEntry) continue;
      if (auto started = program(*text); started && starts(*started, path)) return entry;
    }
  }
  return std::nullopt;
}

bool IconTheme::starts(const std::string& program, std::string_view path) const {
  const std::string target = canonical(std::string(path));
  if (program.front() == '/') return canonical(program) == target;
  if (fs::path(std::string(path)).filename() == program) return true;
  // A bare name runs from the system's program folders.
  for (const char* folder : {"/usr/local/bin", "/usr/bin", "/bin"}) {
    const std::string candidate = std::string(folder) + "/" + program;
    if (isFile(candidate) && canonical(candidate) == target) return true;
  }
  return false;
}

std::optional<std::string> IconTheme::iconFile(std::string_view icon) const {
  std::string name(trimmed(icon));
  if (name.empty()) return std::nullopt;
  if (name.front() == '/') return isFile(name) ? std::optional<std::string>(name) : std::nullopt;
  // A name is a file name without its folder; one with a slash is neither.
  if (name.find('/') != std::string::npos || name == "." || name == "..") return std::nullopt;
  for (std::string_view extension : {".png", ".svg", ".xpm"}) {
    if (name.size() > extension.size() && name.ends_with(extension)) {
      name.resize(name.size() - extension.size());
      break;
    }
  }

  struct Found {
    int size = 0;
    std::string path;
  };
  std::optional<Found> best;
  // Prefers the smallest size at least as big as wanted, else the largest
  // below it; among equal sizes the more important folder.
  auto better = [](const Found& a, const Found& b) {
    const bool aBig = a.size >= kWantedSize, bBig = b.size >= kWantedSize;
    if (aBig != bBig) return aBig;
    return aBig ? a.size < b.size : a.size > b.size;
  };
  for (const std::string& folder : dataFolders_) {
    const std::string theme = folder + "/icons/hicolor";
    std::error_code error;
    fs::directory_iterator it(theme, error);
    if (error) continue;
    for (const fs::directory_entry& e : it) {
      const std::optional<int> size = folderSize(e.path().filename().string());
      if (!size) continue;
      const std::string file = e.path().string() + "/apps/" + name + ".png";
      if (!isFile(file)) continue;
      Found found{*size, file};
      if (!best || better(found, *best)) best = std::move(found);
    }
  }
  if (best) return best->path;
  if (!pixmaps_.empty()) {
    const std::string legacy = pixmaps_ + "/" + name + ".png";
    if (isFile(legacy)) return legacy;
  }
  return std::nullopt;
}

std::optional<std::string> IconTheme::iconKey(std::string_view entry) {
  std::optional<std::string> icon = entryValue(entry, "Icon");
  if (icon && icon->empty()) return std::nullopt;
  return icon;
}

std::optional<std::string> IconTheme::program(std::string_view entry) {
  std::optional<std::string> exec = entryValue(entry, "TryExec");
  if (!exec || exec->empty()) exec = entryValue(entry, "Exec");
  if (!exec) return std::nullopt;
  const std::vector<std::string> parts = words(*exec, 16);
  std::size_t i = 0;
  if (i < parts.size() && (parts[i] == "env" || parts[i] == "/usr/bin/env")) {
    ++i;
    while (i < parts.size() && parts[i].find('=') != std::string::npos) ++i;
  }
  if (i >= parts.size() || parts[i].empty()) return std::nullopt;
  return parts[i];
}

std::optional<sys::Image> IconTheme::loadPNG(const std::string& path) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  // The simplified reader reports every fault by its result, damaged data
  // included, so nothing jumps past this function.
  if (!png_image_begin_read_from_file(&png, path.c_str())) return std::nullopt;
  if (png.width == 0 || png.height == 0 || png.width > kLargestSide || png.height > kLargestSide) {
    png_image_free(&png);
    return std::nullopt;
  }
  png.format = PNG_FORMAT_RGBA;
  std::vector<png_byte> bytes(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr)) {
    png_image_free(&png);
    return std::nullopt;
  }
  sys::Image image(static_cast<int>(png.width), static_cast<int>(png.height));
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const png_byte* p = &bytes[i * 4];
    const std::uint32_t a = p[3];
    auto premultiplied = [a](std::uint32_t c) { return (c * a + 127) / 255; };
    image.pixels[i] =
        a << 24 | premultiplied(p[0]) << 16 | premultiplied(p[1]) << 8 | premultiplied(p[2]);
  }
  return image;
}

}  // namespace ebbwise::linux_host
