# Shared by ./run, ./test, ./benchmark and ./package: packages, configure-and-build, virtual
# display.
# Sourced, not run.

# Package lists by what needs them; each script installs the lists it uses.
# Building and running the viewer (./run, ./package, ./benchmark).
ORVANTH_VIEWER_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-image-formats-plugins
  libgl1-mesa-dri libgl-dev libegl-dev
  libgif-dev zlib1g-dev libdeflate-dev fonts-dejavu-core libxcb1-dev
)
# Showing the window on a Wayland display (./run on a Wayland session, ./test).
ORVANTH_WAYLAND_PACKAGES=(qt6-wayland libegl-mesa0)
# A virtual display of our own when there is none, and a picture of its screen.
ORVANTH_DISPLAY_PACKAGES=(xvfb xauth x11-utils openbox imagemagick)
# Watching the screen from outside: the screen benchmark (built by ./test, run by ./benchmark).
ORVANTH_BENCH_PACKAGES=(libxcb1-dev libxcb-damage0-dev libxcb-xtest0-dev xdotool)
# The test suite and the install check (./test); a private Weston, its screenshot tool and
# synthetic input for the Wayland checks; dbus-launch, through which D-Bus would start a
# session bus the viewer must not start.
ORVANTH_TEST_PACKAGES=(
  libgtest-dev libgmock-dev libspng-dev qt6-base-private-dev
  appstream desktop-file-utils
  weston xdotool dbus-x11
)
# The Debian package and its checks (./package, ./test).
ORVANTH_PACKAGING_PACKAGES=(dpkg-dev lintian man-db)

# ensure_packages PACKAGE...: installs whichever are missing, with sudo when not root.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build BUILD_DIR [cmake args...] [-- targets...]: configures a new build
# folder, and an existing one again when its cache disagrees with a -DNAME=VALUE given here;
# then builds incrementally, everything unless targets are named.
configure_and_build() {
  local dir=$1
  shift
  local args=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    args+=("$1")
    shift
  done
  [ $# -gt 0 ] && shift
  targets=("$@")
  if [ ! -f "$dir/build.ninja" ] || ! cache_agrees "$dir" "${args[@]}"; then
    cmake -S . -B "$dir" -G Ninja "${args[@]}"
  fi
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" --target "${targets[@]}"
  else
    cmake --build "$dir"
  fi
}

# cache_agrees BUILD_DIR [cmake args...]: whether every -DNAME=VALUE (or -DNAME:TYPE=VALUE)
# among the arguments is what the build folder's cache holds.
cache_agrees() {
  local cache="$1/CMakeCache.txt"
  shift
  [ -f "$cache" ] || return 1
  local arg name value
  for arg in "$@"; do
    [[ $arg == -D*=* ]] || continue
    name=${arg#-D}
    value=${name#*=}
    name=${name%%=*}
    name=${name%%:*}
    [ "$(sed -n "s/^$name:[A-Z]*=//p" "$cache")" = "$value" ] || return 1
  done
}

# build_viewer BUILD_DIR: builds the viewer and what it needs, nothing else. A new build
# folder leaves the tests and benchmarks out, so it needs only the viewer's packages;
# ./test and ./benchmark turn them on.
build_viewer() {
  local dir=$1
  local fresh=()
  [ -f "$dir/CMakeCache.txt" ] ||
    fresh=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTH_TESTS=OFF -DORVANTH_BENCH=OFF)
  configure_and_build "$dir" "${fresh[@]}" -- moons-of-orvanth
}

# Starts Xvfb and a window manager when there is no display; they stop with the script.
ensure_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n=99
  while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp +extension GLX >/dev/null 2>&1 &
  ORVANTH_XVFB_PID=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 1 100); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.05
  done
  openbox >/dev/null 2>&1 &
  ORVANTH_WM_PID=$!
  sleep 0.5
  trap stop_display EXIT
}

stop_display() {
  [ -n "${ORVANTH_WM_PID:-}" ] && kill "$ORVANTH_WM_PID" 2>/dev/null
  [ -n "${ORVANTH_XVFB_PID:-}" ] && kill "$ORVANTH_XVFB_PID" 2>/dev/null
  return 0
}
