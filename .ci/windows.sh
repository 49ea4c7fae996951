#!/usr/bin/env bash
# The Windows program: cross-builds Dizor-K.exe for x86_64 (build-win64) and i686 (build-win32)
# with mingw-w64, then runs the Windows tests of build-win64 under Wine on an Xvfb display:
# the core's unit tests, the Win32 adapter tests, and the end-to-end runs of Dizor-K.exe with
# stand-in archiver libraries. A screenshot of the settings window is kept as
# build-win64/artifacts/dizor-k-settings.png. The i686 build is the program only: its tests
# would need 32-bit Wine (wine32:i386), which this machine does not have. About 8 minutes on
# 2 cores from scratch.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
start=$(date +%s)
step() { echo "== $* ($(( $(date +%s) - start )) s)"; }

# --- Packages ---------------------------------------------------------------------------------
packages=(wine wine64 xvfb xdotool xauth fonts-ipafont-gothic locales imagemagick
          cmake ninja-build googletest mingw-w64
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Wine takes the system ANSI code page from the locale: ja_JP gives code page 932, the one the
# program and the archiver libraries are made for, and UTF-8 names for the files on disk.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

# --- Builds -----------------------------------------------------------------------------------
# Release without debug information keeps the static programs small and the builds short; -O2,
# as GCC 12 at -O3 gives false -Wrestrict warnings inside std::string.
release=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
         "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG")
step "build-win64 (x86_64): the program and its tests"
cmake -S "$src" -B "$src/build-win64" -G Ninja -DDIZOR_WERROR=ON "${release[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchains/mingw-w64-x86_64.cmake"
cmake --build "$src/build-win64" -j2
step "build-win32 (i686): the program"
cmake -S "$src" -B "$src/build-win32" -G Ninja -DDIZOR_WERROR=ON "${release[@]}" \
  -DDIZOR_BUILD_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchains/mingw-w64-i686.cmake"
cmake --build "$src/build-win32" -j2

# --- Wine on a display of our own -------------------------------------------------------------
export WINEPREFIX=$src/build-win64/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
export WINEARCH=win64
export LC_ALL=ja_JP.UTF-8

display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    display=":$n"
    break
  fi
done
[ -n "$display" ] || { echo "no free X display number"; exit 1; }
# -noreset: without it the server resets whenever its last client leaves (an xdotool call
# between two tests, say) and turns away whoever connects during the reset.
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.2
done

step "Wine prefix and display $display"
wineboot -i >/dev/null 2>&1
# Windows draw their own title bars (there is no window manager), and Japanese text is drawn
# with IPA P Gothic wherever Wine's default user-interface fonts are asked for.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
for font in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "MS UI Gothic" "MS Sans Serif"; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /t REG_SZ /d IPAPGothic /f \
    >/dev/null 2>&1
done
wineserver -w

# --- Tests ------------------------------------------------------------------------------------
step "tests under Wine"
status=0
(cd "$src/build-win64" && ctest --output-on-failure --timeout 600) || status=1

mkdir -p "$src/build-win64/artifacts"
if [ -f "$src/build-win64/bin/dizor-k-settings.bmp" ]; then
  convert "$src/build-win64/bin/dizor-k-settings.bmp" \
    "$src/build-win64/artifacts/dizor-k-settings.png"
  echo "screenshot: build-win64/artifacts/dizor-k-settings.png"
fi
exit $status
