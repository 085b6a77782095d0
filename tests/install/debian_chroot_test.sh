#!/usr/bin/env bash

# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The Debian package as an administrator meets it, in a Debian 12 (bookworm) chroot made with
# debootstrap from Debian's mirror: `apt-get install ./varden_*.deb` from Debian's main alone,
# the library in its private folder, the installed gauge64-read reading a simulated board,
# `systemctl enable`, an upgrade that keeps the enable and restarts the service only when it
# runs, `apt-get remove` that keeps the autostart entry inert, and `apt-get purge` that leaves
# no unit link, no state and no /var/lib/varden.
#
#   tests/install/debian_chroot_test.sh [build/varden_<version>_amd64.deb]
#
# Needs root, debootstrap and the mirror; prints "skipped: <reason>" and exits 0 without them.
# The base system and the downloaded packages are kept in $VRD_CHROOT_CACHE
# (default /var/cache/varden-ci), so that a second run downloads nothing it already has.
set -euo pipefail
root_dir=$(cd "$(dirname "$0")/../.." && pwd)
deb=${1:-$(ls "$root_dir"/build/varden_*_amd64.deb 2>/dev/null | head -n1)}
cache=${VRD_CHROOT_CACHE:-/var/cache/varden-ci}
mirror=${VRD_DEBIAN_MIRROR:-http://deb.debian.org/debian}
unit=varden-agent.service
wants=/etc/systemd/system/multi-user.target.wants/$unit

skip() { echo "skipped: $*"; exit 0; }
[ "$(id -u)" -eq 0 ] || skip "needs root (chroot, mounts)"
command -v debootstrap >/dev/null || skip "debootstrap is not installed"
[ -f "$deb" ] || { echo "no package: build it with scripts/package" >&2; exit 1; }

failures=0
pass() { echo "ok: $*"; }
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
check() { # check DESCRIPTION COMMAND...: the command must succeed
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

# The base system, made once: a minimal bookworm with apt, as debootstrap leaves it.
base=$cache/bookworm-minbase.tar
mkdir -p "$cache/archives/partial"
if [ ! -f "$base" ]; then
  echo "Making the bookworm base in $cache (once)"
  fresh=$(mktemp -d)
  if ! debootstrap --variant=minbase bookworm "$fresh" "$mirror" > "$cache/debootstrap.log" 2>&1; then
    rm -rf "$fresh"
    skip "debootstrap could not reach $mirror (see $cache/debootstrap.log)"
  fi
  tar -C "$fresh" -cf "$base.part" . && mv "$base.part" "$base"
  rm -rf "$fresh"
fi

chroot_dir=$(mktemp -d)
mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[$i]}" 2>/dev/null || true; done
  # Never remove through a mount that is still there: /dev and the package cache are the host's.
  if grep -q " $chroot_dir/" /proc/mounts; then
    echo "left $chroot_dir: still mounted inside" >&2
  else
    rm -rf "$chroot_dir"
  fi
}
trap cleanup EXIT
tar -C "$chroot_dir" -xf "$base"
for fs in proc dev; do
  mount --bind "/$fs" "$chroot_dir/$fs"
  mounted+=("$chroot_dir/$fs")
done
mount --bind "$cache/archives" "$chroot_dir/var/cache/apt/archives"
mounted+=("$chroot_dir/var/cache/apt/archives")
cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf" 2>/dev/null || true
echo "deb $mirror bookworm main" > "$chroot_dir/etc/apt/sources.list"

in_chroot() { chroot "$chroot_dir" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"; }
apt_get() { in_chroot apt-get -y -q -o Dpkg::Use-Pty=0 "$@"; }

apt_get update > /dev/null
# A Debian 12 machine has systemd; the package itself does not need it.
apt_get install --no-install-recommends systemd > "$cache/systemd-install.log" 2>&1
cp "$deb" "$chroot_dir/tmp/"
cp "$root_dir/boards/fintek-f81866.json" "$chroot_dir/tmp/board.json"
install_log=$(apt_get install --no-install-recommends "/tmp/$(basename "$deb")" 2>&1)
echo "$install_log" | grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' || true

multiarch=$(in_chroot dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)
check "installed from Debian's main alone" sh -c "chroot '$chroot_dir' dpkg-query -W -f='\${Status}' varden | grep -qx 'install ok installed'"
check "the library in its private folder" test -f "$chroot_dir/usr/lib/$multiarch/varden/libGauge64.so"
check "no library in the public folder" test ! -e "$chroot_dir/usr/lib/$multiarch/libGauge64.so"
check "the service's user" sh -c "chroot '$chroot_dir' getent passwd varden > /dev/null"
read_board() { in_chroot env GAUGE64_BOARD=/tmp/board.json gauge64-read --json | grep -q '"status":16,'; }
check "the installed gauge64-read finds the library and reads a board" read_board

in_chroot systemctl enable "$unit" > /dev/null 2>&1
check "systemctl enable makes the unit's link" test -L "$chroot_dir$wants"

# An upgrade on a running system: systemd seen as running, the service's restart recorded by a
# stand-in for deb-systemd-invoke found first on the path (apt gives dpkg a path of its own).
upgrade=$chroot_dir/tmp/upgrade
dpkg-deb -R "$deb" "$upgrade"
sed -i 's/^Version: .*/&+upgrade1/' "$upgrade/DEBIAN/control"
dpkg-deb -b "$upgrade" "$chroot_dir/tmp/varden-upgrade.deb" > /dev/null
mkdir -p "$chroot_dir/run/systemd/system"
cat > "$chroot_dir/usr/local/sbin/deb-systemd-invoke" <<'EOF'
#!/bin/sh
echo "$*" >> /tmp/invoked
EOF
chmod +x "$chroot_dir/usr/local/sbin/deb-systemd-invoke"
apt_get -o DPkg::Path=/usr/local/sbin:/usr/sbin:/usr/bin:/sbin:/bin install --no-install-recommends \
  /tmp/varden-upgrade.deb > "$chroot_dir/tmp/upgrade.log" 2>&1
check "an upgrade try-restarts the service (and does nothing else to it)" \
  test "$(cat "$chroot_dir/tmp/invoked" 2>/dev/null)" = "try-restart $unit"
check "an upgrade keeps the enable" test -L "$chroot_dir$wants"
rm -f "$chroot_dir/usr/local/sbin/deb-systemd-invoke" "$chroot_dir/tmp/invoked"
rmdir "$chroot_dir/run/systemd/system"

apt_get remove varden > /dev/null 2>&1
autostart=$chroot_dir/etc/xdg/autostart/varden-agent.desktop
check "remove keeps the autostart entry (a conffile)" test -f "$autostart"
check "which desktops skip once the program is gone" \
  sh -c "grep -qx 'TryExec=VrdClient' '$autostart' && test ! -e '$chroot_dir/usr/bin/VrdClient'"

apt_get purge varden > /dev/null 2>&1
check "purge leaves no unit link" test ! -e "$chroot_dir$wants" -a ! -L "$chroot_dir$wants"
check "purge leaves no state of deb-systemd-helper" \
  sh -c "! find '$chroot_dir/var/lib/systemd' -name '$unit*' 2>/dev/null | grep -q ."
check "purge removes the autostart entry" test ! -e "$autostart"
check "purge removes /var/lib/varden" test ! -e "$chroot_dir/var/lib/varden"
check "the package is gone" sh -c "! chroot '$chroot_dir' dpkg-query -W -f='\${Status}' varden 2>/dev/null | grep -q installed"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "every check passed"
