#!/bin/bash
# The real dizor binary, run the way a user meets it. Scenarios that need a screen run under
# Xvfb (xvfb-run) and are driven with xdotool; screenshots are kept in ARTIFACT_DIR.
#
#   desktop_test.sh SCENARIO BIN_DIR ARTIFACT_DIR
#
#   settings-window       first start without archives: no library box, the window
#                         (301 x 214, its caption); a click on "指定" and on OK writes the
#                         settings file and ends the program
#   failure-box           an unrecognised file: the "失敗！" box, no window, the program ends
#                         with status 1 once the box is closed
#   batch-without-window  a good archive is extracted and Qt is never even loaded
#   without-qt            no display, or no Qt module: boxes become text on standard error,
#                         and a window that cannot be shown gives status 2
#
# Exit status 77 (skipped) when a tool the scenario needs is missing.
set -u
scenario=${1:?scenario} bin=${2:?bin dir} artifacts=${3:?artifact dir}

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED ($scenario): $*"; exit 1; }

case "$scenario" in
  settings-window | failure-box | batch-without-window) needs_screen=1 ;;
  without-qt) needs_screen=0 ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac
[[ -x "$bin/dizor" ]] || fail "no dizor in $bin"

if ((needs_screen)) && [[ -z "${DIZOR_UNDER_XVFB:-}" ]]; then
  command -v xvfb-run >/dev/null || skip "xvfb-run is missing (Debian package xvfb)"
  command -v xdotool >/dev/null || skip "xdotool is missing (Debian package xdotool)"
  command -v import >/dev/null || skip "import is missing (Debian package imagemagick)"
  # -a: a free display number, so that tests can run side by side.
  exec xvfb-run -a -s "-screen 0 640x480x24" env DIZOR_UNDER_XVFB=1 bash "$0" "$@"
fi
# A developer's offscreen setting would keep the window off the Xvfb screen.
((needs_screen)) && unset QT_QPA_PLATFORM WAYLAND_DISPLAY

work=$(mktemp -d)
pid=""
trap '[[ -n "$pid" ]] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$artifacts"

# The program reads and writes its settings beside itself: run a copy, never the build's.
prog="$work/prog"
mkdir -p "$prog"
cp "$bin/dizor" "$prog/"
[[ "$scenario" == without-qt ]] || cp "$bin/libdizor_qt.so" "$prog/"
cp "$bin"/*.DLL "$prog/" 2>/dev/null

# The settings file as the program writes it: 21 lines, CR LF, code page 932.
write_settings() {  # mode folder auto_create open_after suppress_warnings
  {
    printf '%s\r\n' "このファイルは「Dizor-解凍」の設定ファイルです。変更すると正しく動作しなくなります。"
    printf '%s\r\n' "$1" "$3" "$4" "$2" "$5"
    for _ in $(seq 15); do printf 'No Data\r\n'; done
  } | iconv -f UTF-8 -t CP932 >"$prog/Dizor-K.ini"
}

# Waits up to $2 seconds for a window whose name matches $1; prints its id.
window_named() {
  timeout "$2" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1
}

# The visible window whose name matches $1 right now, if any.
window_now() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1
}

# Waits up to $1 seconds for the program to end; sets rc.
wait_for_end() {
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "the program did not end"
  wait "$pid"
  rc=$?
  pid=""
}

screenshot() {  # name
  sleep 0.5  # let the window paint
  import -window root "$artifacts/$1.png" || fail "no screenshot"
  echo "screenshot: $artifacts/$1.png"
}

press_return_in() {  # window
  timeout 5 xdotool windowfocus --sync "$1"
  xdotool key --clearmodifiers Return
  sleep 0.3
}

case "$scenario" in
  settings-window)
    # No settings file yet, every library we ship beside the program: the window comes with no
    # box before it (no GCA library exists for Linux, and its absence is not worth one).
    "$prog/dizor" 2>"$work/stderr" &
    pid=$!
    boxes=0
    win=""
    for ((i = 0; i < 150; i++)); do
      box=$(window_now '^Error$')
      if [[ -n "$box" ]]; then
        press_return_in "$box"
        ((++boxes))
        continue
      fi
      win=$(window_now '^Dizor-解凍 Ver 1\.10$')
      [[ -n "$win" ]] && break
      sleep 0.1
    done
    ((boxes == 0)) || fail "$boxes box(es) before the window, although every library is there"
    [[ -n "$win" ]] || fail "no window titled Dizor-解凍 Ver 1.10"
    eval "$(xdotool getwindowgeometry --shell "$win")"
    [[ "$WIDTH" == 301 && "$HEIGHT" == 214 ]] || fail "client area ${WIDTH}x${HEIGHT}"
    screenshot settings_window
    # Places in pixels: Frame5 (8,0) + Frame7 (8,16) + Option2(1) (8,32); Command2 (128,184).
    xdotool mousemove --window "$win" 30 56 click 1
    sleep 0.3
    xdotool mousemove --window "$win" 168 196 click 1
    wait_for_end 10
    ((rc == 0)) || fail "exit status $rc; $(cat "$work/stderr")"
    [[ -f "$prog/Dizor-K.ini" ]] || fail "OK wrote no settings file"
    mapfile -t lines < <(iconv -f CP932 -t UTF-8 "$prog/Dizor-K.ini")
    ((${#lines[@]} == 21)) || fail "settings file has ${#lines[@]} lines"
    for line in "${lines[@]}"; do [[ "$line" == *$'\r' ]] || fail "a line without CR LF"; done
    [[ "${lines[1]}" == $'1\r' ]] || fail "DestinationMode is '${lines[1]}', not 1"
    home=$(getent passwd "$(id -u)" | cut -d: -f6)
    [[ "${lines[4]}" == "$home"$'\r' ]] || fail "DestinationFolder is '${lines[4]}'"
    ;;

  failure-box)
    write_settings 0 /tmp 1 0 1
    head -c 4096 /dev/urandom >"$work/unknown.bin"
    "$prog/dizor" "$work/unknown.bin" 2>"$work/stderr" &
    pid=$!
    box=$(window_named '^失敗！$' 15)
    [[ -n "$box" ]] || fail "no 失敗！ box"
    screenshot failure_box
    [[ -z "$(window_named '^Dizor-解凍' 1)" ]] || fail "the window was shown"
    kill -0 "$pid" 2>/dev/null || fail "the program ended before the box was closed"
    press_return_in "$box"
    wait_for_end 10
    ((rc == 1)) || fail "exit status $rc, not 1; $(cat "$work/stderr")"
    ;;

  batch-without-window)
    [[ -f "$prog/UNZIP32.DLL" && -f "$prog/ZIP32J.DLL" ]] || skip "no UNZIP32.DLL built in $bin"
    write_settings 1 "$work/out" 1 0 1
    mkdir -p "$work/src" "$work/out"
    printf '解凍のテスト\n' >"$work/src/hello.txt"
    python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z: z.write(sys.argv[2], "hello.txt")' \
      "$work/tiny.zip" "$work/src/hello.txt" || fail "cannot build tiny.zip"
    LD_DEBUG=libs timeout 30 "$prog/dizor" "$work/tiny.zip" 2>"$work/stderr"
    rc=$?
    ((rc == 0)) || fail "exit status $rc; $(grep -v '^ *[0-9]*:' "$work/stderr")"
    cmp -s "$work/src/hello.txt" "$work/out/tiny/hello.txt" || fail "hello.txt not extracted"
    if grep -E 'libdizor_qt|libQt6' "$work/stderr" >/dev/null; then
      fail "Qt was loaded for a batch that shows nothing"
    fi
    [[ -z "$(grep -v '^ *[0-9]*:' "$work/stderr")" ]] || fail "it said: $(cat "$work/stderr")"
    ;;

  without-qt)
    head -c 4096 /dev/urandom >"$work/unknown.bin"
    write_settings 0 /tmp 1 0 1
    expected="[失敗！] \"$work/unknown.bin\"の解凍に失敗しました"
    # The module is missing: the box is text, and the batch ends as usual.
    QT_QPA_PLATFORM=offscreen timeout 20 "$prog/dizor" "$work/unknown.bin" 2>"$work/stderr"
    rc=$?
    ((rc == 1)) || fail "no module, batch: exit status $rc"
    grep -qxF "$expected" "$work/stderr" || fail "no module: $(cat "$work/stderr")"
    # The settings window cannot be shown: say so and end with 2, saving nothing.
    rm -f "$prog/Dizor-K.ini"
    QT_QPA_PLATFORM=offscreen timeout 20 "$prog/dizor" 2>"$work/stderr"
    rc=$?
    ((rc == 2)) || fail "no module, settings mode: exit status $rc"
    grep -q '^ウィンドウを表示できません。' "$work/stderr" || fail "no module: $(cat "$work/stderr")"
    [[ ! -e "$prog/Dizor-K.ini" ]] || fail "a settings file was written"
    # No display at all, module present: Qt is not asked (it would abort the process).
    cp "$bin/libdizor_qt.so" "$prog/"
    write_settings 0 /tmp 1 0 1
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 \
      "$prog/dizor" "$work/unknown.bin" 2>"$work/stderr"
    rc=$?
    ((rc == 1)) || fail "no display: exit status $rc"
    grep -qxF "$expected" "$work/stderr" || fail "no display: $(cat "$work/stderr")"
    ;;
esac
echo "PASSED: $scenario"
