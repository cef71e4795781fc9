# Shared by ./run, ./test and ./benchmark: packages, configure-and-build, virtual display.
# Sourced, not run.

ORVANTH_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev libqt6opengl6-dev
  qt6-image-formats-plugins
  libgl1-mesa-dri libgl-dev libegl-dev mesa-utils
  libpng-dev libspng-dev libgif-dev zlib1g-dev libdeflate-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth openbox imagemagick fonts-dejavu-core
  appstream desktop-file-utils libxcb1-dev
)

# Installs whatever of ORVANTH_PACKAGES is missing, with sudo when not root.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "${ORVANTH_PACKAGES[@]}"; do
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

# configure_and_build BUILD_DIR [cmake args...] [-- targets...]: incremental from the
# second run on; builds everything unless targets are named.
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
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "${args[@]}"
  fi
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" --target "${targets[@]}"
  else
    cmake --build "$dir"
  fi
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
