# The start-up section of bench/run.sh, which sources this file: how long a whole program takes
# to extract tiny.zip (one 1 KiB file), so nearly all of it is starting and ending the process,
# loading libraries and, for the programs, reading the settings and checking the libraries.
#
# Uses from run.sh: data, build, libs, repo, driver, work, here, sanitized, median, problems and
# failed; fills startup_rows.
#
# Run by itself, it is the start-up check of the desktop program:
#
#   bench/startup.sh [BUILD_DIR]
#
# times dizor, dizor-cli and bsdtar on a tiny.zip of its own (hyperfine, 3 warm-ups, 40 runs)
# and fails (1) when dizor's median is above 1.5 times dizor-cli's: dizor loads Qt only for a
# box or its window, so an immediate batch that shows nothing must cost what dizor-cli costs.
# BUILD_DIR defaults to the first /work/main/build*/ whose bin/ has dizor, dizor-cli and
# UNZIP32.DLL. Exit status 2 when something needed is missing.

# Writes the settings file of a copied program: fixed destination folder $2, a folder named
# after the archive, no file manager afterwards, no warning about missing libraries. The file
# is code page 932 with CR LF line ends, 21 lines, as the program writes it.
write_settings() {  # program_folder destination_folder
  {
    printf '%s\r\n' "このファイルは「Dizor-解凍」の設定ファイルです。変更すると正しく動作しなくなります。"
    printf '%s\r\n' 1 1 0 "$2" 1
    for _ in $(seq 15); do printf 'No Data\r\n'; done
  } | iconv -f UTF-8 -t CP932 >"$1/Dizor-K.ini"
}

# Copies program $1 and the libraries beside it into folder $2, since the program reads its
# settings file from its own folder and we must not write into someone's build folder.
install_copy() {  # program_path folder destination_folder
  rm -rf "$2"
  mkdir -p "$2"
  cp "$1" "$2/"
  cp "$(dirname "$1")"/*.DLL "$2/" 2>/dev/null
  # dizor's Qt module: loaded only for a box or the window, but it belongs beside the program.
  cp "$(dirname "$1")"/libdizor_qt.so "$2/" 2>/dev/null
  write_settings "$2" "$3"
}

# Times one command string; $2 is the folder it extracts into, checked against tiny's payload.
startup_measure() {  # label out_dir command_string
  local label="$1" out="$2" command="$3" tree median mean sd rss rc
  local prepare="rm -rf '$out' && mkdir -p '$(dirname "$out")'"
  [[ "$label" == bsdtar || "$label" == ours* ]] && prepare+=" && mkdir -p '$out'"
  bash -c "$prepare"
  /usr/bin/time -f '%M' -o "$work/time.out" bash -c "exec $command" >"$work/tool.log" 2>&1
  rc=$?
  rss=$(tail -n 1 "$work/time.out")
  tree=$(python3 "$here/tree_manifest.py" "$data/payload/tiny.manifest" "$out" 2>"$work/tree.log")
  if [[ "$tree" != ok ]]; then
    problems+=("start-up $label: ${tree:-WRONG} rc=$rc")
    while IFS= read -r line; do problems+=("$line"); done < <(head -n 4 "$work/tree.log"; tail -n 3 "$work/tool.log" | sed 's/^/  tool: /')
    [[ "$label" == bsdtar ]] || failed=1
  fi
  if command -v hyperfine >/dev/null; then
    # hyperfine subtracts the cost of its own shell, which matters at these few milliseconds.
    hyperfine --style none -i -w 3 -r 30 --prepare "$prepare" \
      --export-json "$work/hyperfine.json" "$command" >/dev/null 2>&1
    read -r median mean sd < <(python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print("%.1f %.1f %.1f" % (r["median"] * 1e3, r["mean"] * 1e3, r["stddev"] * 1e3))' "$work/hyperfine.json")
  else
    local times=() t0 t1
    for ((i = 0; i < 30; i++)); do
      bash -c "$prepare"
      t0=$(date +%s%N)
      bash -c "exec $command" >/dev/null 2>&1
      t1=$(date +%s%N)
      times+=("$(((t1 - t0) / 1000))")
    done
    median=$(printf '%s\n' "${times[@]}" | median | awk '{printf "%.1f", $1 / 1e3}')
    mean=$(printf '%s\n' "${times[@]}" | awk '{s += $1} END {printf "%.1f", s / NR / 1e3}')
    sd="?"
  fi
  startup_rows+=("$(printf '%-30s %8s ms (mean %s ± %s) %8.1f MiB  exit %s  %s' "$label" \
    "$median" "$mean" "$sd" "$(awk -v k="${rss:-0}" 'BEGIN {print k / 1024}')" "$rc" "$tree")")
}

startup_section() {
  local tiny="$data/archives/tiny.zip" base="$data/startup"
  if [[ ! -f "$tiny" || ! -f "$data/payload/tiny.manifest" ]]; then
    startup_rows+=("skipped: no tiny.zip; run bench/make_archives.sh")
    return
  fi
  mkdir -p "$base"
  echo "  start-up timings" >&2
  startup_measure bsdtar "$base/out-bsdtar" "bsdtar -xf '$tiny' -C '$base/out-bsdtar'"
  if [[ -n "$build" && -f "$libs/UNZIP32.DLL" ]]; then
    startup_measure "ours (driver + UNZIP32.DLL)" "$base/out-driver" \
      "'$driver' '$libs/UNZIP32.DLL' zip '$tiny' '$base/out-driver/'"
  else
    startup_rows+=("ours (driver): skipped, no UNZIP32.DLL built")
  fi

  # The programs: from the build folder, or else any build*/ that has one with UNZIP32.DLL
  # beside it (a program without the library would only report it missing).
  local name program folder
  for name in dizor-cli dizor; do
    program=""
    for folder in ${build:+"$build"} "$repo"/build*; do
      if [[ -x "$folder/bin/$name" && -f "$folder/bin/UNZIP32.DLL" ]] && ! sanitized "$folder"; then
        program="$folder/bin/$name"
        break
      fi
    done
    if [[ -z "$program" ]]; then
      startup_rows+=("$name: skipped, no build*/bin/ holds both $name and UNZIP32.DLL")
      continue
    fi
    install_copy "$program" "$base/$name" "$base/out-$name/"
    # With AutoCreateFolder the program extracts tiny.zip into a folder named tiny.
    local run="'$base/$name/$name' '$tiny'"
    # The desktop program needs no screen in batch mode; offscreen keeps it off any display.
    [[ "$name" == dizor ]] && run="env QT_QPA_PLATFORM=offscreen $run"
    startup_measure "$name" "$base/out-$name/tiny" "$run"
  done
}

# --- run by itself ------------------------------------------------------------------------------
startup_standalone() {
  local here repo build work name limit=1.5
  here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
  repo="$(dirname "$here")"
  build="${1:-}"
  if [[ -z "$build" ]]; then
    for folder in "$repo"/build*/; do
      if [[ -x "$folder/bin/dizor" && -x "$folder/bin/dizor-cli" && -f "$folder/bin/UNZIP32.DLL" ]]
      then
        build="${folder%/}"
        break
      fi
    done
  fi
  for name in dizor dizor-cli UNZIP32.DLL ZIP32J.DLL; do
    [[ -n "$build" && -e "$build/bin/$name" ]] || {
      echo "startup.sh: no $name in ${build:-any build*/}/bin" >&2
      return 2
    }
  done
  command -v hyperfine >/dev/null || { echo "startup.sh: hyperfine is missing" >&2; return 2; }
  command -v bsdtar >/dev/null || { echo "startup.sh: bsdtar is missing" >&2; return 2; }

  work="$(mktemp -d)"
  trap 'rm -rf "$work"' RETURN
  # tiny.zip: one 1 KiB file, as in the benchmark's own set.
  python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("tiny/payload.bin", bytes((i * 37 + 11) % 251 for i in range(1024)))' \
    "$work/tiny.zip" || return 2
  for name in dizor dizor-cli; do
    install_copy "$build/bin/$name" "$work/$name" "$work/out-$name/"
  done
  mkdir -p "$work/out-bsdtar"
  # No screen: should dizor want a box after all, it writes it as text instead of waiting.
  unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
  hyperfine -N -w 3 -r 40 --export-json "$work/times.json" \
    -p "rm -rf $work/out-dizor" -n dizor "$work/dizor/dizor $work/tiny.zip" \
    -p "rm -rf $work/out-dizor-cli" -n dizor-cli "$work/dizor-cli/dizor-cli $work/tiny.zip" \
    -p "rm -rf $work/out-bsdtar/tiny" -n bsdtar "bsdtar -xf $work/tiny.zip -C $work/out-bsdtar" \
    || return 2
  for name in dizor dizor-cli; do
    cmp -s "$work/out-bsdtar/tiny/payload.bin" "$work/out-$name/tiny/tiny/payload.bin" || {
      echo "startup.sh: $name did not extract tiny.zip correctly" >&2
      return 1
    }
  done
  python3 - "$work/times.json" "$limit" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
limit = float(sys.argv[2])
print()
print("start-up on tiny.zip      median ms   mean ms ± sd")
for name in ("dizor", "dizor-cli", "bsdtar"):
    r = results[name]
    print(f"{name:<24} {r['median'] * 1e3:9.2f}  {r['mean'] * 1e3:8.2f} ± {r['stddev'] * 1e3:.2f}")
ratio = results["dizor"]["median"] / results["dizor-cli"]["median"]
verdict = "ok" if ratio <= limit else "TOO SLOW"
print(f"dizor / dizor-cli = {ratio:.2f} (limit {limit}): {verdict}")
sys.exit(0 if ratio <= limit else 1)
PY
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
  startup_standalone "$@"
  exit $?
fi
