#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package Pelorin needs to build, run and test.
# Only what is missing is installed; the package lists are refreshed at most once.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-qpa-plugins libqscintilla2-qt6-dev libsqlite3-dev
  libgtest-dev googletest
  # end-to-end tests and screenshots: a virtual display, synthetic input, the clipboard
  xvfb xauth xdotool xclip x11-apps imagemagick fonts-dejavu-core
  # the accessibility end-to-end test: a session bus, the AT-SPI bus and registry, and a client
  dbus-daemon at-spi2-core python3-pyatspi
  # a program on PATH for completion, a REPL and a program that buffers unless it writes to a
  # terminal, for the end-to-end checks of the prompt and of input to commands
  python3
  # sanitizer and fuzzing runtimes
  clang libclang-rt-14-dev
  # the Debian package: CPack's library dependencies come from dpkg-shlibdeps, found with file
  dpkg-dev file
)

if [[ "${PELORIN_WITH_WINDOWS:-1}" == 1 ]]; then
  # cross build for Windows, run under Wine; Qt's host tools (moc, rcc, uic) for the Windows
  # GUI build, whose Qt is cross-built from Debian's sources (scripts/windows-toolchain.sh)
  packages+=(g++-mingw-w64-x86-64-posix wine64 qt6-base-dev-tools)
  # apt-get source (dpkg-dev, above) unpacks Debian's .tar.xz sources with xz
  packages+=(xz-utils)
  # Wine's X11 driver loads these at run time; libwine only recommends them
  packages+=(libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 libxinerama1 libxcomposite1)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "setup: all packages present"
