#!/usr/bin/env bash
# Installs the Debian packages that building, testing, the demo and the screenshots need; does
# nothing (and needs no root) when they are all there.
set -euo pipefail

packages=(cmake make g++ qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools
          qttranslations5-l10n libqt5charts5-dev xvfb xauth fonts-dejavu-core)
dpkg -s "${packages[@]}" >/dev/null 2>&1 && exit 0

missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
