#!/usr/bin/env bash
# The Debian package: builds it from the tree with CPack (cmake/package.cmake), installs it
# with apt as a user would, and checks what it installed: the programs run from /usr/bin and
# find the archiver libraries beside them, a ZIP archive made on the spot is extracted, each
# user's settings live in that user's ~/.config/dizor (the program folder belongs to root),
# and removing the package leaves nothing behind. Run as root; about 6 minutes on 2 cores.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=${PACKAGE_BUILD_DIR:-build-deb}
start=$(date +%s)
step() { echo "== $* ($(( $(date +%s) - start )) s)"; }

passed=0
failed=0
check() {  # description command...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what"
  fi
}

step "build the package"
# -O2: GCC 12 at -O3 gives false -Wrestrict warnings inside std::string.
cmake -S "$src" -B "$build" -G Ninja -DDIZOR_WERROR=ON -DDIZOR_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j2 --target package
deb=$(readlink -f "$(ls "$build"/dizor_*.deb | head -n 1)")
[ -f "$deb" ] || { echo "no package was made"; exit 1; }
echo "package: $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

# A user of our own, with a home folder, as on a desktop; removed again at the end.
user=dizor-ci-$$
work=$(mktemp -d)
cleanup() {
  apt-get remove -y --purge dizor >/dev/null 2>&1 || true
  userdel -r "$user" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# The user's file manager records the folder it is asked to open.
as_user() { setpriv --reuid="$user" --regid="$user" --init-groups env -i \
  PATH="$work/path:/usr/bin:/bin" HOME="$home" LANG=C.UTF-8 "$@"; }

step "install it"
# apt takes a path with a slash in it as a package file.
apt-get install -y --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; exit 1; }
useradd --create-home --home-dir "$work/home" --shell /bin/sh "$user"
home=$work/home
chmod 755 "$work"

step "what it installed"
folder=$(dirname "$(readlink -f /usr/bin/dizor-cli)")
echo "program folder: $folder"
installed=$(dpkg -L dizor)
for file in /usr/bin/dizor /usr/bin/dizor-cli "$folder/dizor" "$folder/dizor-cli" \
            "$folder/libdizor_qt.so" "$folder/UNZIP32.DLL" "$folder/ZIP32J.DLL" \
            "$folder/UNLHA32.DLL" "$folder/CAB32.DLL" "$folder/UNRAR32.DLL" "$folder/UNRAR.DLL" \
            /usr/share/applications/dizor.desktop /usr/share/mime/packages/dizor.xml \
            /usr/share/icons/hicolor/scalable/apps/dizor.svg \
            /usr/share/icons/hicolor/64x64/apps/dizor.png \
            /usr/share/man/man1/dizor.1.gz /usr/share/man/man1/dizor-cli.1.gz \
            /usr/share/man/ja/man1/dizor.1.gz /usr/share/man/ja/man1/dizor-cli.1.gz; do
  check "$file is in the package" grep -qxF "$file" <<<"$installed"
done
check "the program folder is under /usr/lib" test "${folder#/usr/lib/}" != "$folder"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dependency in libc6 libstdc++6 libqt6widgets6 libarchive13 qt6-qpa-plugins; do
  check "depends on $dependency" grep -q "$dependency" <<<"$depends"
done
entry=/usr/share/applications/dizor.desktop
check "the desktop entry starts /usr/bin/dizor" grep -qxF 'Exec="/usr/bin/dizor" %F' "$entry"
check "the desktop entry does not claim GCA" bash -c "! grep -q x-gca '$entry'"
if command -v desktop-file-validate >/dev/null; then
  check "the desktop entry is valid" desktop-file-validate "$entry"
fi

step "run it as a user"
archives=$home/書庫
mkdir -p "$work/in/フォルダ" "$archives" "$work/out"
printf '中身のテスト\n' >"$work/in/フォルダ/ファイル.txt"
printf 'plain\n' >"$work/in/a.txt"
(cd "$work/in" && python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for name in sys.argv[2:]: z.write(name)' "$archives/sample 書庫.zip" a.txt フォルダ/ファイル.txt)
chown -R "$user" "$archives" "$work/out"
mkdir -p "$work/path"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s/opened"\n' "$work" >"$work/path/xdg-open"
chmod 755 "$work/path" "$work/path/xdg-open"
touch "$work/opened" && chown "$user" "$work/opened"

# No settings yet: the same place as the archive, a folder made for it.
set +e
as_user dizor-cli "$archives/sample 書庫.zip" >"$work/stdout" 2>"$work/stderr"
rc=$?
set -e
check "dizor-cli extracted the sample (status 0, nothing said)" \
  test "$rc" = 0 -a ! -s "$work/stderr" -a ! -s "$work/stdout"
check "a.txt extracted" cmp -s "$work/in/a.txt" "$archives/sample 書庫/a.txt"
check "the Japanese name extracted" \
  cmp -s "$work/in/フォルダ/ファイル.txt" "$archives/sample 書庫/フォルダ/ファイル.txt"
[ -s "$work/stderr" ] && cat "$work/stderr"
sleep 0.5  # the file manager is started without waiting for it
check "the destination was opened" grep -qxF "$archives/sample 書庫/" "$work/opened"

# The settings file is the user's own.
as_user dizor-cli >"$work/stdout" 2>&1 || true
check "the settings are in ~/.config/dizor" \
  grep -qF "設定ファイル: $home/.config/dizor/Dizor-K.ini" "$work/stdout"
check "nothing was written into the program folder" test ! -e "$folder/Dizor-K.ini"
# Settings written there are read: a fixed destination folder.
{
  printf '%s\r\n' "このファイルは「Dizor-解凍」の設定ファイルです。変更すると正しく動作しなくなります。"
  printf '%s\r\n' 1 1 0 "$work/out" 1
  for _ in $(seq 15); do printf 'No Data\r\n'; done
} | iconv -f UTF-8 -t CP932 >"$home/.config/dizor/Dizor-K.ini"
chown "$user" "$home/.config/dizor/Dizor-K.ini"
as_user dizor-cli "$archives/sample 書庫.zip" >"$work/stdout" 2>"$work/stderr" || true
check "the user's settings chose the destination" cmp -s "$work/in/a.txt" "$work/out/sample 書庫/a.txt"
# XDG_CONFIG_HOME, where the user set it.
as_user env XDG_CONFIG_HOME="$home/elsewhere" dizor-cli >"$work/stdout" 2>&1 || true
check "XDG_CONFIG_HOME is honoured" \
  grep -qF "設定ファイル: $home/elsewhere/dizor/Dizor-K.ini" "$work/stdout"

# Root too keeps its settings in its own folder: the package's folder is never written.
env -i PATH=/usr/bin:/bin XDG_CONFIG_HOME="$work/rootconfig" LANG=C.UTF-8 dizor-cli \
  >"$work/stdout" 2>&1 || true
check "root's settings are in root's own folder" \
  grep -qF "設定ファイル: $work/rootconfig/dizor/Dizor-K.ini" "$work/stdout"
check "root wrote nothing into the program folder" test ! -e "$folder/Dizor-K.ini"

# The desktop program answers without a screen, and its options without Qt.
as_user dizor --version >"$work/stdout" 2>&1 || true
check "dizor --version" grep -qxF "dizor (Dizor-解凍 Ver 1.10)" "$work/stdout"
head -c 2048 /dev/urandom >"$work/unknown.bin" && chmod 644 "$work/unknown.bin"
set +e
as_user dizor "$work/unknown.bin" >"$work/stdout" 2>"$work/stderr"
rc=$?
set -e
check "dizor without a screen reports in text (status 1)" test "$rc" = 1
check "dizor found its libraries" bash -c "! grep -q 'DLL' '$work/stderr'"
if command -v man >/dev/null; then
  check "man dizor-cli" bash -c "man -w dizor-cli | grep -q /usr/share/man/man1/dizor-cli.1.gz"
  check "man dizor-cli in Japanese" bash -c \
    "LANG=ja_JP.UTF-8 man -w dizor-cli | grep -q /usr/share/man/ja/man1/dizor-cli.1.gz"
fi

step "remove it"
apt-get remove -y --purge dizor >/dev/null
check "the programs are gone" test ! -e /usr/bin/dizor-cli -a ! -e "$folder"
check "the user's settings stay" test -f "$home/.config/dizor/Dizor-K.ini"

step "done"
echo "package checks: $passed passed, $failed failed"
[ "$failed" = 0 ]
