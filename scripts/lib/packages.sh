# Installs the Debian packages the build needs, only those missing, so a
# second run costs nothing. Sourced by the scripts in scripts/.

ebbwise_packages=(
  cmake ninja-build g++ pkg-config ccache
  libsqlite3-dev sqlite3 nlohmann-json3-dev libutf8proc-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  liburiparser-dev
  # Desktop notifications over the session bus, the login item's autostart
  # entry and opening addresses; the tests run a real notification server.
  libsystemd-dev dbus dunst xdg-utils
  # scripts/monitor-cpu sets the background monitor beside top.
  procps
  # The face: Cairo and Pango draw, libpng writes the pictures (and reads the
  # icon theme's app icons on Linux), SDL2 on X11 shows the windows (Xext for
  # their shapes), Inter for text, Material Icons for the symbols; Xvfb,
  # xdotool and scrot let the tests drive a real X server.
  libcairo2-dev libpango1.0-dev libpng-dev libsdl2-dev libx11-dev libxext-dev
  fonts-inter fonts-material-design-icons-iconfont xvfb xdotool scrot
)

ensure_packages() {
  local missing=()
  for p in "${ebbwise_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update
  "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}
