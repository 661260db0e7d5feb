#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the tools need.
# Does nothing when everything is already present; needs root (or sudo) otherwise.
set -euo pipefail

# Real package names only: dpkg-query never reports a virtual package (such as
# libqt6svg6-dev, which qt6-svg-dev provides) as installed.
PKGS=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libxkbcommon-dev libx11-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev nlohmann-json3-dev
  clang libclang-rt-14-dev
  xvfb xauth x11-apps imagemagick
  locales fonts-dejavu-core
  desktop-file-utils shared-mime-info appstream xdg-utils man-db groff-base
  dpkg-dev fakeroot file lintian
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A decimal-comma locale for the locale tests.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  if [ -f /etc/locale.gen ]; then
    $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
  fi
fi
