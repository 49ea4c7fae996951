#!/usr/bin/env bash
# The main job, headless: builds the programs, makes a few sample archives of our own (with
# Japanese and blank-holding names, one damaged, one not an archive at all), and extracts
# them with dizor-cli into folders beside them. Prints the messages and the extracted trees.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j"$(nproc)" --target dizor-cli >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

work=$(mktemp -d /tmp/dizor-demo.XXXXXX)
mkdir -p "$work/src/写真 2026" "$work/src/docs"
printf '春はあけぼの。\n' > "$work/src/docs/枕草子.txt"
printf 'hello, world\n' > "$work/src/docs/readme.txt"
head -c 200000 /dev/urandom > "$work/src/写真 2026/photo.bin"
(cd "$work/src" && zip -qr "$work/サンプル 1.zip" .)
(cd "$work/src" && gcab -cz "$work/sample.cab" docs/readme.txt "docs/枕草子.txt")
# jlha (Debian's jlha-utils) creates LZH; names in Shift_JIS, as Japanese Windows tools write them.
if [ -f /usr/share/java/jlhafrontend.jar ]; then
  (cd "$work/src" && java -Dlha.encoding=MS932 -jar /usr/share/java/jlhafrontend.jar c2q \
    "$work/書類.lzh" docs >/dev/null)
fi
cp "$work/サンプル 1.zip" "$work/damaged.zip"
# Damage the data of the large member, leaving the headers readable.
printf 'XXXXXXXXXXXXXXXX' | dd of="$work/damaged.zip" bs=1 seek=60000 conv=notrunc status=none
printf 'not an archive\n' > "$work/メモ.txt"

# Settings for the demonstration: a folder per archive beside it, no file manager.
settings="$build/bin/Dizor-K.ini"
saved=""
if [ -f "$settings" ]; then saved=$(mktemp); cp "$settings" "$saved"; fi
{
  printf 'このファイルは「Dizor-解凍」の設定ファイルです。変更すると正しく動作しなくなります。\r\n'
  printf '0\r\n1\r\n0\r\n%s\r\n1\r\n' "$HOME"
  for _ in $(seq 15); do printf 'No Data\r\n'; done
} | iconv -f UTF-8 -t CP932 > "$settings"

set +e
shopt -s nullglob
"$build/bin/dizor-cli" "$work"/*.zip "$work"/*.cab "$work"/*.lzh "$work/メモ.txt" 2>&1
status=$?
set -e
if [ -n "$saved" ]; then mv "$saved" "$settings"; else rm -f "$settings"; fi
echo "dizor-cli exit status: $status (1: some archive failed, as the damaged one and the text file should)"
echo "--- extracted into $work:"
(cd "$work" && find . -path ./src -prune -o -print | sort)
