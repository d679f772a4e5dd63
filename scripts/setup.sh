#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, when missing.
set -euo pipefail
packages=(cmake g++ ninja-build make libgtest-dev libgmock-dev clang libclang-rt-14-dev pgdbf
  qt6-base-dev libxcb1-dev libzip-dev pkgconf zip unzip xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
