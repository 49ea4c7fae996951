#!/bin/bash
# The real dizor binary, run the way a user meets it. Scenarios that need a screen run under
# Xvfb (xvfb-run) and are driven with xdotool; screenshots are kept in ARTIFACT_DIR.
#
#   desktop_test.sh SCENARIO BIN_DIR ARTIFACT_DIR [TEST_LIB_DIR]
#
# TEST_LIB_DIR holds the stand-in archiver libraries (tests/fakes/test_archiver.cpp), whose
# answers, password questions and progress each archive's content scripts.
#
#   settings-window       first start without archives: no library box, the window
#                         (301 x 214, its caption); a click on "指定" and on OK writes the
#                         settings file and ends the program
#   failure-box           an unrecognised file: the "失敗！" box, no window, the program ends
#                         with status 1 once the box is closed
#   batch-without-window  a good archive is extracted and Qt is never even loaded
#   without-qt            no display, or no Qt module: boxes become text on standard error,
#                         and a window that cannot be shown gives status 2
#   unreachable-display   DISPLAY names a display nobody serves (a stale SSH session): no
#                         abort, boxes become text and the batch goes on extracting
#   refusing-display      a display that answers but refuses us (no cookie, as under sudo):
#                         the same, and the settings mode names the refusal
#   options               --help, --version and an unknown option, answered without Qt
#   password-dialog       an encrypted archive: the dialog, a wrong answer, the right one
#   progress-window       a slow archive: the window after half a second, then キャンセル
#                         ends the batch without a box
#   folder-picker-ja      under a Japanese locale: 参照 opens the picker in Japanese, in the
#                         folder the box names; Escape closes it, Escape again the window
#
# Exit status 77 (skipped) when a tool the scenario needs is missing. A scenario that finds its
# Xvfb unusable (xdotool cannot reach it, or the program is refused by it) runs again on a new
# one, at most three times in all; the reason is printed each time.
set -u
# glibc's own fatal messages (a damaged heap, say) go to standard error, where fail() shows them.
export LIBC_FATAL_STDERR_=1
scenario=${1:?scenario} bin=${2:?bin dir} artifacts=${3:?artifact dir} test_libs=${4:-}

skip() { echo "SKIPPED: $*"; exit 77; }
# What the program wrote to standard error goes with every failure: an abort in Qt says why
# only there.
fail() {
  echo "FAILED ($scenario): $*"
  if [[ -s "${work:-}/stderr" ]]; then
    echo "the program's standard error:"
    sed 's/^/  /' "$work/stderr"
    # Refused by, or unable to reach, the Xvfb this run started: the test machine's display is
    # at fault, not the program, which said so instead of aborting.
    if ((needs_screen)) && [[ "$scenario" != refusing-display ]] &&
      grep -qE '画面への接続を拒否されました|画面に接続できません' "$work/stderr"; then
      exit 75
    fi
  fi
  exit 1
}

case "$scenario" in
  settings-window | failure-box | batch-without-window) needs_screen=1 ;;
  password-dialog | progress-window | folder-picker-ja | refusing-display) needs_screen=1 ;;
  without-qt | unreachable-display | options) needs_screen=0 ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac
[[ -x "$bin/dizor" ]] || fail "no dizor in $bin"

if ((needs_screen)) && [[ -z "${DIZOR_UNDER_XVFB:-}" ]]; then
  command -v xvfb-run >/dev/null || skip "xvfb-run is missing (Debian package xvfb)"
  command -v xdotool >/dev/null || skip "xdotool is missing (Debian package xdotool)"
  command -v import >/dev/null || skip "import is missing (Debian package imagemagick)"
  # -a: a free display number, so that tests can run side by side. -noreset: without it the
  # server resets whenever its last client leaves (each xdotool call that finds nothing yet),
  # and a program connecting during the reset is turned away; a desktop always has clients.
  for attempt in 1 2 3; do
    xvfb-run -a -s "-screen 0 640x480x24 -noreset" env DIZOR_UNDER_XVFB=1 bash "$0" "$@"
    rc=$?
    ((rc == 75)) || exit $rc
    echo "attempt $attempt: the display was unusable; again on a new one"
  done
  echo "FAILED ($scenario): no usable display in three attempts"
  exit 1
fi
if ((needs_screen)); then
  # The display must be the one xvfb-run started for us, at the size it was asked for.
  geometry=$(timeout 10 xdotool getdisplaygeometry 2>&1)
  [[ "$geometry" == "640 480" ]] || { echo "display $DISPLAY: $geometry"; exit 75; }
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

# The stand-in ZIP library in place of ours: the archive's content says what it does.
use_stand_in() {
  [[ -n "$test_libs" && -f "$test_libs/UNZIP32.DLL" ]] || skip "no stand-in libraries given"
  cp "$test_libs/UNZIP32.DLL" "$prog/UNZIP32.DLL"
  export DIZOR_TEST_LOG="$work/calls"
}

# The settings file as the program writes it: 21 lines, CR LF, code page 932.
write_settings() {  # mode folder auto_create open_after suppress_warnings
  {
    printf '%s\r\n' "このファイルは「Dizor-解凍」の設定ファイルです。変更すると正しく動作しなくなります。"
    printf '%s\r\n' "$1" "$3" "$4" "$2" "$5"
    for _ in $(seq 15); do printf 'No Data\r\n'; done
  } | iconv -f UTF-8 -t CP932 >"$prog/Dizor-K.ini"
}

# Waits up to $2 seconds for a window whose name matches $1; prints its id. Asked again and
# again rather than with --sync: a window that goes away while xdotool looks at it (Qt makes
# and drops some at start-up) ends xdotool with an X error, and --sync then gives nothing.
window_named() {
  local i id
  for ((i = 0; i < $2 * 10; i++)); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [[ -n "$id" ]] && { echo "$id"; return; }
    sleep 0.1
  done
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

screenshot() {  # name [window]: the whole screen, or the window alone
  sleep 0.5  # let the window paint
  import -window "${2:-root}" "$artifacts/$1.png" || fail "no screenshot"
  echo "screenshot: $artifacts/$1.png"
}

type_in() {  # window text: typed as keys, then Return
  timeout 5 xdotool windowfocus --sync "$1"
  xdotool type --delay 20 "$2"
  xdotool key --clearmodifiers Return
  sleep 0.3
}

wait_gone() {  # window: waits up to 10 s until it is no longer shown
  local i
  for ((i = 0; i < 100; i++)); do
    xdotool search --onlyvisible --name '.' 2>/dev/null | grep -qx "$1" || return 0
    sleep 0.1
  done
  fail "window $1 stayed"
}

key_in() {  # window key
  timeout 5 xdotool windowfocus --sync "$1"
  xdotool key --clearmodifiers "$2"
  sleep 0.3
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
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    ((boxes == 0)) || fail "$boxes box(es) before the window, although every library is there"
    if [[ -z "$win" ]]; then
      kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "ended with status $? and no window"; }
      fail "no window titled Dizor-解凍 Ver 1.10"
    fi
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

  unreachable-display)
    use_stand_in
    # A display number with nothing behind it, as a stale SSH session leaves DISPLAY.
    n=99
    while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do ((n++)); done
    head -c 4096 /dev/urandom >"$work/unknown.bin"
    printf 'accept:UnZip' >"$work/good.zip"
    write_settings 0 /tmp 1 0 1
    env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=":$n" timeout 20 \
      "$prog/dizor" "$work/unknown.bin" "$work/good.zip" 2>"$work/stderr"
    rc=$?
    ((rc == 1)) || fail "batch: exit status $rc (134 is Qt's abort); $(cat "$work/stderr")"
    grep -qxF "[失敗！] \"$work/unknown.bin\"の解凍に失敗しました" "$work/stderr" ||
      fail "batch: $(cat "$work/stderr")"
    grep -q "^UnZip|-x -o -q \"$work/good.zip\"" "$work/calls" ||
      fail "the archive after the box was not extracted: $(cat "$work/calls")"
    # The settings window cannot be shown: the reason names the display.
    env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=":$n" timeout 20 "$prog/dizor" 2>"$work/stderr"
    rc=$?
    ((rc == 2)) || fail "settings mode: exit status $rc; $(cat "$work/stderr")"
    grep -qxF "ウィンドウを表示できません。 画面に接続できません: DISPLAY=:$n" "$work/stderr" ||
      fail "settings mode: $(cat "$work/stderr")"
    ;;

  refusing-display)
    use_stand_in
    # The display answers, but without its cookie the X server turns us away.
    head -c 4096 /dev/urandom >"$work/unknown.bin"
    printf 'accept:UnZip' >"$work/good.zip"
    write_settings 0 /tmp 1 0 1
    XAUTHORITY=/dev/null timeout 20 "$prog/dizor" "$work/unknown.bin" "$work/good.zip" \
      2>"$work/stderr"
    rc=$?
    ((rc == 1)) || fail "batch: exit status $rc (134 is Qt's abort)"
    grep -qxF "[失敗！] \"$work/unknown.bin\"の解凍に失敗しました" "$work/stderr" || fail "batch"
    grep -q "^UnZip|-x -o -q \"$work/good.zip\"" "$work/calls" ||
      fail "the archive after the box was not extracted: $(cat "$work/calls")"
    XAUTHORITY=/dev/null timeout 20 "$prog/dizor" 2>"$work/stderr"
    rc=$?
    ((rc == 2)) || fail "settings mode: exit status $rc"
    grep -qxF "ウィンドウを表示できません。 画面への接続を拒否されました: DISPLAY=$DISPLAY" \
      "$work/stderr" || fail "settings mode"
    ;;

  options)
    for option in --help -h --version; do
      LD_DEBUG=libs timeout 20 "$prog/dizor" "$option" >"$work/stdout" 2>"$work/stderr"
      rc=$?
      ((rc == 0)) || fail "$option: exit status $rc"
      grep -qE 'libdizor_qt|libQt6' "$work/stderr" && fail "$option loaded Qt"
      [[ -z "$(grep -v '^ *[0-9]*:' "$work/stderr")" ]] || fail "$option said: $(cat "$work/stderr")"
    done
    "$prog/dizor" --help | head -n 1 | grep -q '^使い方: dizor ' || fail "--help: $("$prog/dizor" --help)"
    [[ "$("$prog/dizor" --version)" == "dizor (Dizor-解凍 Ver 1.10)" ]] || fail "--version"
    timeout 20 "$prog/dizor" --bogus "$work/x.zip" >"$work/stdout" 2>"$work/stderr"
    rc=$?
    ((rc == 2)) || fail "--bogus: exit status $rc"
    [[ ! -s "$work/stdout" ]] || fail "--bogus wrote to standard output"
    head -n 1 "$work/stderr" | grep -qxF "dizor: 不明なオプションです: --bogus" ||
      fail "--bogus: $(cat "$work/stderr")"
    ;;

  password-dialog)
    use_stand_in
    write_settings 1 "$work/out" 1 0 1
    mkdir -p "$work/out"
    printf 'accept:UnZip password:UnZip=himitsu' >"$work/秘密の書庫.zip"
    "$prog/dizor" "$work/秘密の書庫.zip" 2>"$work/stderr" &
    pid=$!
    dialog=$(window_named '^パスワードの入力$' 15)
    [[ -n "$dialog" ]] || fail "no password dialog"
    [[ -z "$(window_named '^Dizor-解凍' 1)" ]] || fail "the window was shown"
    screenshot password_dialog "$dialog"
    type_in "$dialog" "nope"
    wait_gone "$dialog"  # the next dialog is a new one, not this one closing
    dialog=$(window_named '^パスワードの入力$' 10)
    [[ -n "$dialog" ]] || fail "not asked again after a wrong password"
    screenshot password_wrong "$dialog"
    type_in "$dialog" "himitsu"
    wait_for_end 10
    ((rc == 0)) || fail "exit status $rc; $(cat "$work/stderr")"
    [[ "$(grep '^password|' "$work/calls")" == $'password|wrong\npassword|ok' ]] ||
      fail "the library heard: $(cat "$work/calls")"
    grep -q himitsu "$work/stderr" && fail "the password reached standard error"
    ;;

  progress-window)
    use_stand_in
    write_settings 1 "$work/out" 1 1 1
    mkdir -p "$work/out" "$work/path"
    # A file manager that records being asked: a cancelled batch must not open the folder.
    printf '#!/bin/sh\necho "$1" >>"%s"\n' "$work/opened" >"$work/path/xdg-open"
    chmod +x "$work/path/xdg-open"
    printf 'accept:UnZip progress:UnZip=40 step-ms:UnZip=50' >"$work/大きな書庫.zip"
    printf 'accept:UnZip' >"$work/next.zip"
    PATH="$work/path:$PATH" "$prog/dizor" "$work/大きな書庫.zip" "$work/next.zip" \
      2>"$work/stderr" &
    pid=$!
    started=$(date +%s%N)
    win=$(window_named '^解凍中$' 15)
    [[ -n "$win" ]] || fail "no progress window"
    shown_ms=$(( ($(date +%s%N) - started) / 1000000 ))
    ((shown_ms >= 400)) || fail "the window came after $shown_ms ms, before half a second"
    sleep 1.5
    screenshot progress_window "$win"
    key_in "$win" Escape
    wait_for_end 15
    ((rc == 0)) || fail "exit status $rc; $(cat "$work/stderr")"
    grep -q '^progress|cancelled|' "$work/calls" || fail "the library was not told: $(cat "$work/calls")"
    grep -q "next.zip" "$work/calls" && fail "the batch went on after キャンセル"
    [[ ! -e "$work/opened" ]] || fail "the folder was opened after キャンセル"
    # Qt's own notes about the session (XDG_RUNTIME_DIR) are no boxes.
    [[ -z "$(grep -v '^QStandardPaths:' "$work/stderr")" ]] || fail "it said: $(cat "$work/stderr")"
    ;;

  folder-picker-ja)
    locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' || skip "no ja_JP.UTF-8 locale (localedef -i ja_JP -f UTF-8 ja_JP.UTF-8)"
    [[ -f /usr/share/qt6/translations/qtbase_ja.qm ]] || skip "Qt's Japanese texts are missing (qt6-translations-l10n)"
    mkdir -p "$work/解凍先"
    write_settings 1 "$work/解凍先" 1 0 1
    LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 LANGUAGE= "$prog/dizor" 2>"$work/stderr" &
    pid=$!
    win=$(window_named '^Dizor-解凍 Ver 1\.10$' 15)
    [[ -n "$win" ]] || fail "no window"
    # 参照 (Command1) shows once 指定 is clicked: Frame5 (8,0) + Frame7 (8,16) + Option2(1)
    # (8,32); then 参照 at (224,48), 41 x 18.
    xdotool mousemove --window "$win" 30 56 click 1
    # On a busy machine 参照 may not be enabled yet when the first click comes: click again
    # until the picker shows.
    picker=""
    for _ in 1 2 3 4 5; do
      sleep 0.3
      xdotool mousemove --window "$win" 260 73 click 1
      picker=$(window_named '^フォルダーの参照$' 3)
      [[ -n "$picker" ]] && break
    done
    [[ -n "$picker" ]] || fail "no folder picker"
    sleep 1
    screenshot folder_picker_ja "$picker"
    key_in "$picker" Escape
    for _ in $(seq 50); do
      [[ -z "$(window_now '^フォルダーの参照$')" ]] && break
      sleep 0.1
    done
    [[ -z "$(window_now '^フォルダーの参照$')" ]] || fail "Escape left the picker open"
    key_in "$win" Escape  # キャンセル: the program ends, saving nothing
    wait_for_end 10
    ((rc == 0)) || fail "exit status $rc; $(cat "$work/stderr")"
    ;;
esac
echo "PASSED: $scenario"
