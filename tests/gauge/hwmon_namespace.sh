#!/bin/sh

# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# hwmon_namespace.sh MACHINE PROGRAM [ARGUMENT...]
# Runs PROGRAM in a private user and mount namespace in which /sys/class is MACHINE/class (a
# captured hwmon tree) and the lm-sensors configuration is MACHINE/etc (sensors3.conf and,
# when present, sensors.d; an empty sensors.d otherwise). Nothing outside the namespace
# changes. libsensors insists that /sys is sysfs, so only /sys/class is replaced.
set -eu
machine=$1
shift
exec unshare --user --map-root-user --mount sh -eu -c '
  machine=$1
  shift
  mount --bind "$machine/class" /sys/class
  mount --bind "$machine/etc/sensors3.conf" /etc/sensors3.conf
  if [ -d "$machine/etc/sensors.d" ]; then
    mount --bind "$machine/etc/sensors.d" /etc/sensors.d
  else
    mount -t tmpfs -o size=16k,mode=0755 empty /etc/sensors.d
  fi
  exec "$@"
' hwmon_namespace "$machine" "$@"
