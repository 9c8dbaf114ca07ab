#!/usr/bin/env bash
# Installs what the builds and tests need when it is missing (Debian, as root):
# CMake and Ninja, GoogleTest and Google Benchmark, the mingw-w64 cross
# compiler, Wine, clang with libFuzzer, Xvfb and the Japanese locale that gives
# Wine code page 932; wixl (the installer package), osslsigncode and openssl
# (signatures); promtool (package prometheus), prometheus-node-exporter and
# curl for the metrics test; rsyslog, the collector of the shipping test (run
# on private configurations only, never as a service).
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64 wine64 clang libclang-rt-14-dev xvfb xauth locales valgrind unzip
  wixl osslsigncode openssl prometheus prometheus-node-exporter curl rsyslog)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
