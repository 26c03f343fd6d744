# Shared by the scripts: find missing Debian packages and install them when
# running as root, or print the apt-get line to run.
# shellcheck shell=bash

BUILD_PACKAGES="cmake g++ make libgtest-dev libbenchmark-dev qt6-base-dev"
# The window tests that run under a real window manager on a display of
# their own, and flock(1), which a lock test holds the archive with.
# The install test validates the desktop entry, the AppStream data and the
# file type with the desktop's own tools (gio reads the MIME database), and
# cpack's .deb needs dpkg-shlibdeps and is checked with lintian.
# The Windows build: the cross compiler, wine to run its tests, and
# GoogleTest's sources to build it for Windows; NSIS for the installer that
# cpack makes, and unzip, with which its test reads the portable ZIP. The
# window's test drives it on a display of its own under a window manager,
# and drags files onto it from a small Qt program that it builds.
WINDOWS_PACKAGES="cmake make mingw-w64 wine wine64 googletest nsis unzip xvfb openbox x11-utils xdotool wmctrl pkg-config g++ qt6-base-dev"
TEST_PACKAGES="libxcb1-dev xvfb openbox x11-utils xdotool util-linux desktop-file-utils appstream shared-mime-info libglib2.0-bin dpkg-dev lintian"
# clang, and its libFuzzer and sanitizer runtimes for the fuzz target.
CLANG_PACKAGES="clang libclang-rt-14-dev"

missing_packages() {
  local missing=""
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  echo "$missing"
}

ensure_packages() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" = 0 ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq $missing >/dev/null
  else
    echo "Missing packages:$missing"
    echo "Run: sudo apt-get install -y$missing"
    exit 1
  fi
}

# Parallel build jobs.
build_jobs() { echo 2; }

# fuzz_build FOLDER [CMAKE ARGUMENTS...]: configures a clang build with the
# fuzz target, without the window and the benchmarks.
fuzz_build() {
  local folder="$1"
  shift
  CC=clang CXX=clang++ cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIMLET_FUZZ=ON \
    -DBRIMLET_WITH_UI=OFF -DBRIMLET_BENCH=OFF "$@" >/dev/null
}
