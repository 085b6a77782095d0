# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# Shared set-up for the project's scripts: installs the Debian packages that are missing
# (quietly, only when missing) and configures and builds a tree.

VRD_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Every tree compiles through ccache: a second run, from this clone or a fresh one elsewhere, then
# rebuilds only what changed. Paths below the clone are hashed relative to it, and the working
# directory is left out of the hash (its one use: the directory named in the debug information).
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$VRD_ROOT}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
VRD_COMPILER_CACHE=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# Qwt draws the history charts; its pkg-config file asks for the Svg and OpenGL modules.
# mosquitto-clients: the attack tests publish as an outsider with an account would.
VRD_PACKAGES=(cmake ccache g++ make pkg-config qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite libsqlite3-dev
              libmosquitto-dev mosquitto mosquitto-clients libgtest-dev libgmock-dev libbenchmark-dev librsvg2-bin
              faketime libsensors-dev libsensors-config libqwt-qt5-dev libqt5svg5-dev libqt5opengl5-dev
              libssl-dev openssl prometheus desktop-file-utils systemd man-db groff-base dpkg-dev
              nlohmann-json3-dev)

# vrd_install PACKAGE...: installs those not yet installed.
vrd_install() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# vrd_build BUILD_DIR [cmake options...]: configures and builds everything.
vrd_build() {
  local build=$1
  shift
  cmake -S "$VRD_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${VRD_COMPILER_CACHE[@]}" "$@" >/dev/null
  cmake --build "$build" -j"$(nproc)"
}

# vrd_release_options: sets VRD_RELEASE_OPTIONS to the configure options of the normal build in
# build/, whose programs are the ones the Debian package ships (scripts/package makes it from
# that tree, as tested): the /usr prefix, Debian's build flags with every hardening feature
# (fortify, stack protector, relro, bind-now), and an install that builds nothing first.
vrd_release_options() {
  local flags=()
  local name
  for name in CPPFLAGS CFLAGS CXXFLAGS LDFLAGS; do
    # Run from the tree: its path is what -ffile-prefix-map takes out of the binaries.
    flags+=("$(cd "$VRD_ROOT" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$name")")
  done
  VRD_RELEASE_OPTIONS=(-DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
    "-DCMAKE_C_FLAGS=${flags[0]} ${flags[1]}" "-DCMAKE_CXX_FLAGS=${flags[0]} ${flags[2]}"
    "-DCMAKE_EXE_LINKER_FLAGS=${flags[3]}" "-DCMAKE_SHARED_LINKER_FLAGS=${flags[3]}")
}

# vrd_xvfb SCREEN LOG: starts Xvfb with one screen of SCREEN (WxHxDEPTH) on a display no other
# server holds (Xvfb picks it: on a shared machine a guessed number may be taken), exports
# DISPLAY and sets VRD_XVFB_PID; returns once the server accepts clients. -noreset: by default the
# server resets whenever its last client leaves (a finished xdotool), refusing whoever connects
# meanwhile.
vrd_xvfb() {
  local fifo number
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/vrd-xvfb.XXXXXX")
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp -noreset 3>"$fifo" >"$2" 2>&1 &
  VRD_XVFB_PID=$!
  read -r number <"$fifo"
  rm -f "$fifo"
  export DISPLAY=:$number
}

# The Windows cross build: Debian's MinGW-w64 compilers with posix threads, the tools that
# unpack and build Debian's source packages (SQLite's amalgamation is made with tclsh), the
# programs' icons (rsvg-convert, icotool), and, for the tests, wine64, the broker, the installer's
# NSIS and a virtual display with the tools that drive it and take its picture.
VRD_WINDOWS_BUILD_PACKAGES=(cmake make perl tcl dpkg-dev xz-utils ca-certificates icoutils librsvg2-bin
                            g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
                            g++-mingw-w64-i686-posix binutils-mingw-w64-i686)
VRD_WINDOWS_TEST_PACKAGES=(wine wine64 mosquitto nsis xvfb xdotool imagemagick)

# vrd_windows_installer BUILD: the Windows installer of a built 64-bit tree, with its path and size.
vrd_windows_installer() {
  vrd_install nsis
  (cd "$1" && cpack -G NSIS >/dev/null)
  local setup
  setup=$(ls "$1"/Varden-*-win64-setup.exe)
  echo "installer: $setup ($(stat -c %s "$setup") bytes)"
}

# vrd_enable_deb_src: makes Debian's source packages reachable through the mirrors this machine
# already uses: a copy of each apt source stanza of Debian with the type deb-src, in a file of
# its own. Run again, it changes nothing.
vrd_enable_deb_src() {
  local list=/etc/apt/sources.list.d/varden-deb-src.sources
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if [ ! -s "$list" ]; then
    local stanzas
    stanzas=$(awk 'BEGIN { RS = ""; ORS = "\n\n" }
                   /(^|\n)Types:([^\n]* )?deb( |\n)/ && /debian/ {
                     sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' \
                  /etc/apt/sources.list.d/*.sources 2>/dev/null)
    if [ -z "$stanzas" ] && [ -f /etc/apt/sources.list ]; then
      stanzas=$(sed -n 's/^deb \(.*debian.*\)/deb-src \1/p' /etc/apt/sources.list)
      list=/etc/apt/sources.list.d/varden-deb-src.list
    fi
    [ -n "$stanzas" ] || { echo "no Debian apt source found to copy as deb-src" >&2; return 1; }
    echo "$stanzas" | $sudo tee "$list" >/dev/null
  fi
  apt-cache showsrc sqlite3 2>/dev/null | grep -q '^Package:' || $sudo apt-get update -qq >/dev/null
}
