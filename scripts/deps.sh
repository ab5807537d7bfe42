#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need, when they are missing.
set -euo pipefail

packages=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools qttools5-dev-tools
          libqt5charts5-dev xvfb xauth fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
