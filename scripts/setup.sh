#!/usr/bin/env bash
# Installs what this machine lacks to build and test the pack (Debian packages).
# Safe to run again: it asks apt only for what is missing.
set -euo pipefail

packages=(
  cmake g++ make binutils python3
  libgtest-dev libgmock-dev libbenchmark-dev
  libopenexr-dev libpng-dev nlohmann-json3-dev libcli11-dev libtbb-dev
)
if [[ "${1:-}" == "--windows" ]]; then
  packages+=(g++-mingw-w64-x86-64 wine64 wine)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
