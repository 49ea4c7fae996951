#!/usr/bin/env bash
# Installs what building, testing and the demonstration need, from Debian's packages.
# Run as root (or through sudo) on Debian 12 or a system with the same packages.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  # build
  build-essential cmake ninja-build pkg-config clang-format
  # engines of our archiver libraries
  libarchive-dev liblhasa-dev libmspack-dev zlib1g-dev libb2-dev nettle-dev libdeflate-dev
  libbz2-dev liblzma-dev libzstd-dev
  # the desktop program and its Japanese text
  qt6-base-dev qt6-translations-l10n fonts-ipafont-gothic fonts-ipafont-mincho locales
  # tests
  libgtest-dev libgmock-dev xvfb xauth xdotool imagemagick desktop-file-utils shared-mime-info
  # peer tools: making sample archives, comparing trees, the benchmark
  zip unzip libarchive-tools p7zip-full lhasa cabextract gcab jlha-utils unar hyperfine time
  # the portable core is also compiled for Windows
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
)
apt-get update
apt-get install -y --no-install-recommends "${packages[@]}"
# The folder picker's test looks at Qt's own texts under a Japanese locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
