# Shared set-up for the project's scripts: installs the Debian packages that are missing
# (quietly, only when missing) and configures and builds a tree.

VRD_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Qwt draws the history charts; its pkg-config file asks for the Svg and OpenGL modules.
# mosquitto-clients: the attack tests publish as an outsider with an account would.
VRD_PACKAGES=(cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite libsqlite3-dev
              libmosquitto-dev mosquitto mosquitto-clients libgtest-dev libgmock-dev libbenchmark-dev librsvg2-bin
              faketime libsensors-dev libsensors-config libqwt-qt5-dev libqt5svg5-dev libqt5opengl5-dev
              libssl-dev openssl prometheus desktop-file-utils systemd man-db groff-base)

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
  cmake -S "$VRD_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$build" -j"$(nproc)"
}
