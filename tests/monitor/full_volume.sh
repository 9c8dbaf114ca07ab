#!/usr/bin/env bash
# Runs the full-rotation-volume test with a small tmpfs mounted and filled
# here (as root). Usage: full_volume.sh native|windows TEST-COMMAND...
set -uo pipefail
style=$1
shift
dir=$(mktemp -d)
cleanup() { umount "$dir" 2>/dev/null; rmdir "$dir"; }
trap cleanup EXIT
if ! mount -t tmpfs -o size=64k tmpfs "$dir" 2>/dev/null; then
  echo "skipped: this machine refuses to mount a tmpfs (root in a container without CAP_SYS_ADMIN?)"
  exit 0
fi
dd if=/dev/zero of="$dir/filler" bs=4k 2>/dev/null
volume=$dir
[ "$style" = windows ] && volume="Z:${dir//\//\\}"
QORVANE_FULL_VOLUME=$volume "$@" --gtest_filter='MonitorFullVolume.*'
