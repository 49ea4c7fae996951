#!/bin/bash
# `cmake --install` into a fresh prefix (with a blank in its name, as a home folder may have):
# one self-contained folder lib/dizor, relative links in bin that the programs follow back to
# their folder, the desktop entry naming the program by its full path, icon and MIME type.
#
#   install_test.sh BUILD_DIR CMAKE
#
# Exit status 77 (skipped) when the build has no install rules for dizor.
set -u
build=${1:?build dir} cmake=${2:-cmake}

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/my prefix"

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  fail "cmake --install: $(tail -n 5 "$work/install.log")"
folder="$prefix/lib/dizor"
[[ -e "$folder/dizor" ]] || skip "the build installs no dizor (is cmake/install.cmake included?)"

for file in dizor dizor-cli libdizor_qt.so; do
  [[ -f "$folder/$file" ]] || fail "$folder/$file is missing"
done
for library in "$build"/bin/*.DLL; do
  [[ -e "$library" ]] || continue
  [[ -f "$folder/$(basename "$library")" ]] || fail "$(basename "$library") is not installed"
done
[[ -w "$folder" ]] || fail "$folder is not writable by the user who installed it"

for program in dizor dizor-cli; do
  link="$prefix/bin/$program"
  [[ -L "$link" ]] || fail "$link is not a symbolic link"
  [[ "$(readlink "$link")" == "../lib/dizor/$program" ]] || fail "$link -> $(readlink "$link")"
  [[ -x "$link" ]] || fail "$link does not lead to the program"
done

entry="$prefix/share/applications/dizor.desktop"
[[ -f "$entry" ]] || fail "no desktop entry"
grep -qxF "Exec=\"$prefix/bin/dizor\" %F" "$entry" || fail "Exec: $(grep ^Exec "$entry")"
grep -qxF "TryExec=$prefix/bin/dizor" "$entry" || fail "TryExec: $(grep ^TryExec "$entry")"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "the installed desktop entry is not valid"
fi
for file in share/icons/hicolor/scalable/apps/dizor.svg share/icons/hicolor/64x64/apps/dizor.png \
            share/mime/packages/dizor.xml share/man/man1/dizor.1.gz share/man/man1/dizor-cli.1.gz; do
  [[ -f "$prefix/$file" ]] || fail "$file is missing"
done
# No GCA library exists for Linux: the desktop entry does not offer to open GCA archives.
grep -q 'x-gca' "$entry" && fail "the desktop entry claims the GCA type"
zcat "$prefix/share/man/man1/dizor-cli.1.gz" | grep -q '^\.TH DIZOR-CLI 1 ' || fail "dizor-cli.1"

# Started through its link, each program finds its own folder: the settings file lives there,
# and the archiver libraries beside it are found (no box says they are missing).
"$prefix/bin/dizor-cli" >"$work/cli.out" 2>&1 || fail "dizor-cli: $(cat "$work/cli.out")"
grep -qF "$folder/Dizor-K.ini" "$work/cli.out" || fail "dizor-cli: $(head -n 1 "$work/cli.out")"
head -c 1024 /dev/urandom >"$work/unknown.bin"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  "$prefix/bin/dizor" "$work/unknown.bin" >"$work/dizor.out" 2>&1
rc=$?
((rc == 1)) || fail "dizor on an unknown file: exit status $rc; $(cat "$work/dizor.out")"
grep -q 'の解凍に失敗しました$' "$work/dizor.out" || fail "dizor: $(cat "$work/dizor.out")"
if [[ -f "$folder/UNZIP32.DLL" ]] && grep -q 'UNZIP32.DLL' "$work/dizor.out"; then
  fail "dizor did not find the libraries beside it: $(cat "$work/dizor.out")"
fi
echo "PASSED: installed into $prefix"
