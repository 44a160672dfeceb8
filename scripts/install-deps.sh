#!/usr/bin/env bash
# Installs what the project needs from Debian's packages. Packages already
# installed are left alone, so running it again changes nothing.
set -euo pipefail

# clang builds the fuzz targets (libFuzzer comes with it).
# Qt 6 and a font draw the window; xvfb, xdotool, xauth and imagemagick run
# and look at it in a real X server. e2fsprogs makes the disk images that
# lost tables are found in.
packages=(cmake g++ clang make pkg-config python3 tzdata zlib1g-dev libgtest-dev mariadb-server mariadb-client libmariadb-dev
  qt6-base-dev fonts-dejavu-core xvfb xauth xdotool imagemagick e2fsprogs)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
