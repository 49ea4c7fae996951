#!/usr/bin/env bash
# Times our archiver libraries against the usual Linux extractors on the benchmark archives
# (bench/make_archives.sh), checks every extracted tree against its payload, and prints one
# table. See bench/README.md for what is measured and how to read it.
#
# usage: bench/run.sh [BUILD_DIR]
#   BUILD_DIR            holds bin/UNZIP32.DLL etc.; default: the first /work/main/build*/ that
#                        has them. Without libraries only the peers are measured.
#   RUNS=5               runs per tool and archive; the first is a warm-up and not counted
#   DIZOR_BENCH_DATA     scratch folder of make_archives.sh (default /work/benchdata)
#   BENCH_ARCHIVES       space-separated subset, e.g. "small.zip mixed.cab"
#   BENCH_STRICT=1       also fail when a peer's tree is wrong
#   BENCH_BASELINE=DIR   a build folder of an earlier version: its libraries run too, as
#                        "base" and "base-1core", so a change is compared with what it replaced
#                        in the same run
#
# Exit status: 1 when one of our trees is wrong (or our library refused a good archive's
# names), when no peer at all extracts an archive correctly (the benchmark data is then
# broken), or with BENCH_STRICT=1 when any tree is wrong; 2 when something needed is missing;
# otherwise 0. Timings never fail the run.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
data="${DIZOR_BENCH_DATA:-/work/benchdata}"
runs="${RUNS:-5}"
# A hung extractor must not hang the benchmark; ten minutes is far above any honest run.
time_limit=600
export LC_ALL=C.UTF-8

die() { echo "run.sh: $*" >&2; exit 2; }
((runs >= 2)) || die "RUNS must be at least 2 (the first run is a warm-up)"
[[ -x /usr/bin/time ]] || die "missing /usr/bin/time (apt-get install -y --no-install-recommends time)"
[[ -d "$data/archives" ]] || die "no archives in $data: run bench/make_archives.sh first"

# --- our side: build folder, libraries, driver -------------------------------------------------
# A sanitizer build runs several times slower and would only measure the sanitizer.
sanitized() { grep -qs -e '-fsanitize' "$1/CMakeCache.txt"; }
build="${1:-}"
if [[ -z "$build" ]]; then
  for d in "$repo"/build*/; do
    if [[ -f "$d/bin/UNZIP32.DLL" ]] && ! sanitized "$d"; then build="${d%/}"; break; fi
  done
fi
declare -A lib_file=([zip]=UNZIP32.DLL [lzh]=UNLHA32.DLL [cab]=CAB32.DLL)
declare -A lib_format=([zip]=zip [lzh]=lha [cab]=cab)
driver=""
if [[ -n "$build" ]]; then
  if [[ -x "$build/bin/dizor-bench-driver" ]]; then
    driver="$build/bin/dizor-bench-driver"
  else
    # The top level may not build the driver; it is one g++ line (see extract_driver.cpp).
    mkdir -p "$data/driver"
    driver="$data/driver/dizor-bench-driver"
    if [[ ! -x "$driver" || "$here/extract_driver.cpp" -nt "$driver" ||
          "$here/library_call.cpp" -nt "$driver" ]]; then
      g++ -std=c++20 -O2 -o "$driver" "$here/extract_driver.cpp" "$here/library_call.cpp" -ldl ||
        die "cannot build the driver"
    fi
  fi
  # A copy, so that a rebuild during the run neither breaks a load nor mixes two versions.
  libs="$data/libs"
  rm -rf "$libs"
  mkdir -p "$libs"
  cp "$build"/bin/*.DLL "$libs/"
  echo "our libraries: $build/bin (copied to $libs)" >&2
else
  echo "our libraries: none found (no build*/bin/UNZIP32.DLL); measuring the peers only" >&2
fi
baseline="${BENCH_BASELINE:-}"
base_libs=""
if [[ -n "$baseline" && -n "$driver" ]]; then
  [[ -f "$baseline/bin/UNZIP32.DLL" ]] || die "no libraries in $baseline/bin"
  base_libs="$data/libs-baseline"
  rm -rf "$base_libs"
  mkdir -p "$base_libs"
  cp "$baseline"/bin/*.DLL "$base_libs/"
  echo "baseline libraries: $baseline/bin (copied to $base_libs)" >&2
fi
# Ours and the baseline are measured against the peers, never counted as one.
is_ours() { [[ "$1" == ours* || "$1" == base* ]]; }

# --- the tools ----------------------------------------------------------------------------------
jlha_jar=/usr/share/java/jlhafrontend.jar
peers_for() {
  case "$1" in
    zip) echo "bsdtar 7z unzip" ;;
    lzh) echo "bsdtar 7z lhasa jlha" ;;
    cab) echo "bsdtar 7z cabextract gcab" ;;
  esac
}

# Why a tool cannot run here, or nothing when it can.
unavailable() {  # tool fmt
  case "$1" in
    ours | ours-1core)
      [[ -n "$build" ]] || { echo "no build folder with our libraries"; return; }
      [[ -f "$libs/${lib_file[$2]}" ]] || echo "no $build/bin/${lib_file[$2]}"
      [[ "$1" == ours ]] || command -v taskset >/dev/null || echo "taskset not installed"
      ;;
    base | base-1core)
      [[ -f "$base_libs/${lib_file[$2]}" ]] || echo "no $baseline/bin/${lib_file[$2]}"
      [[ "$1" == base ]] || command -v taskset >/dev/null || echo "taskset not installed"
      ;;
    jlha) [[ -f "$jlha_jar" ]] && command -v java >/dev/null || echo "jlha-utils not installed" ;;
    *) command -v "$1" >/dev/null || echo "$1 not installed" ;;
  esac
}

# Sets the array cmd to extract archive $3 (format $2) with tool $1 into the existing folder $4.
set_command() {
  case "$1" in
    ours) cmd=("$driver" "$libs/${lib_file[$2]}" "${lib_format[$2]}" "$3" "$4/") ;;
    # The same on one core: what a machine without a second core, or a busy one, gets.
    ours-1core) cmd=(taskset -c 0 "$driver" "$libs/${lib_file[$2]}" "${lib_format[$2]}" "$3" "$4/") ;;
    base) cmd=("$driver" "$base_libs/${lib_file[$2]}" "${lib_format[$2]}" "$3" "$4/") ;;
    base-1core) cmd=(taskset -c 0 "$driver" "$base_libs/${lib_file[$2]}" "${lib_format[$2]}" "$3" "$4/") ;;
    # LZH names from Japanese Windows tools are Shift_JIS; bsdtar would otherwise read them as
    # the locale's UTF-8 and fail those entries.
    bsdtar) if [[ "$2" == lzh ]]; then
        cmd=(bsdtar --options hdrcharset=CP932 -xf "$3" -C "$4")
      else
        cmd=(bsdtar -xf "$3" -C "$4")
      fi ;;
    7z) cmd=(7z x -y -bd -bso0 -bsp0 "-o$4" "$3") ;;
    unzip) cmd=(unzip -q -o "$3" -d "$4") ;;
    lhasa) cmd=(lhasa -xqw="$4" "$3") ;;
    # jLHA reads names as ISO 8859-1 unless told; the archives carry Shift_JIS names.
    jlha) cmd=(java -Dlha.encoding=MS932 -jar "$jlha_jar" xqw="$4" "$3") ;;
    cabextract) cmd=(cabextract -q -d "$4" "$3") ;;
    gcab) cmd=(gcab -x -C "$4" "$3") ;;
  esac
}

# Runs cmd once into a fresh $dest; sets wall_us, rss_kb, rc.
measure_once() {
  mkdir -p "$dest"
  # Write-back of the previous run's files must not land inside this run's time.
  sync
  local t0 t1
  t0=$(date +%s%N)
  timeout "$time_limit" /usr/bin/time -f '%M' -o "$work/time.out" "${cmd[@]}" \
    >"$work/tool.log" 2>&1
  rc=$?
  t1=$(date +%s%N)
  wall_us=$(((t1 - t0) / 1000))
  rss_kb=$(tail -n 1 "$work/time.out" 2>/dev/null)
  [[ "$rss_kb" =~ ^[0-9]+$ ]] || rss_kb=0
}

# Checks $dest against manifest $1; sets tree to ok, cp932-names or WRONG.
check_tree() {
  tree=$(python3 "$here/tree_manifest.py" "$1" "$dest" 2>"$work/tree.log")
  [[ -n "$tree" ]] || tree=WRONG
}

# Worse of two tree results.
worse() {
  local a b
  case "$1" in ok) a=0 ;; cp932-names) a=1 ;; *) a=2 ;; esac
  case "$2" in ok) b=0 ;; cp932-names) b=1 ;; *) b=2 ;; esac
  ((a >= b)) && echo "$1" || echo "$2"
}

median() { sort -n | awk '{v[NR]=$1} END {if (NR==0) print 0; else if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }

# Adds the row "=> $1": its median time against tool $2's and its peak RSS against tool $3's.
ratio_row() {
  rows+=("$(printf '%-10s %6s %-11s time %.2fx of %s (%.3f s), peak RSS %.2fx of %s (%.1f MiB)' \
    "$archive_name" "" "=> $1" \
    "$(awk -v a="${med[$1]}" -v b="${med[$2]}" 'BEGIN {print a / b}')" "$2" \
    "$(awk -v u="${med[$2]}" 'BEGIN {print u / 1e6}')" \
    "$(awk -v a="${rss[$1]}" -v b="${rss[$3]}" 'BEGIN {print (b > 0 ? a / b : 0)}')" \
    "$3" "$(awk -v k="${rss[$3]}" 'BEGIN {print k / 1024}')")")
}

work="$data/work"
mkdir -p "$work"
# Other work on the machine skews every figure; the report says how busy it was.
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
out_root="$data/out"
mkdir -p "$out_root"
# ext4 does not hand out an inode it freed in the last few minutes before it has looked at
# many others: right after 20,000 files were deleted, creating 20,000 new ones costs about 5 s
# of kernel time (find_inode_bit -> recently_deleted), whoever creates them, against 0.3 s
# otherwise. So trees of many files are not deleted between runs but at the very end, and
# every run writes into a folder of its own. ext4 looks again from the start of the group for
# every new inode, so even a few hundred recently freed ones cost each creation. A second
# run.sh within minutes of the last one still meets the inodes its end freed.
many_files=1000
kept_trees=()

# The small archives first: deleting even the 44 files of a mixed tree makes ext4 pass over
# those inodes for every file created in the next minute (see above), which fell on whichever
# tool ran first on small.zip.
archives="${BENCH_ARCHIVES:-small.zip small.lzh small.cab mixed.zip mixed.lzh mixed.cab}"
rows=()
problems=()
failed=0

for archive_name in $archives; do
  archive="$data/archives/$archive_name"
  fmt="${archive_name##*.}"
  kind="${archive_name%.*}"
  manifest="$data/payload/$kind.manifest"
  [[ -f "$archive" && -f "$manifest" ]] || die "missing $archive or $manifest: run bench/make_archives.sh"
  size_mb=$(awk -v s="$(stat -c %s "$archive")" 'BEGIN {printf "%.1f", s / 1e6}')

  declare -A med=() rss=() status=()
  good_peer=0 peers_run=0
  ours_tools="ours ours-1core"
  [[ -n "$base_libs" ]] && ours_tools+=" base base-1core"
  for tool in $ours_tools $(peers_for "$fmt"); do
    why=$(unavailable "$tool" "$fmt")
    if [[ -n "$why" ]]; then
      rows+=("$(printf '%-10s %6s %-11s %s' "$archive_name" "$size_mb" "$tool" "skipped: $why")")
      continue
    fi
    times=()
    peak=0
    tree_all=ok
    rc_seen=0 rc_noted=0
    kept_wrong=""
    for ((i = 1; i <= runs; i++)); do
      echo "  $archive_name $tool run $i/$runs" >&2
      dest="$out_root/$kind-$fmt-$tool-$i"
      rm -rf "$dest"
      set_command "$tool" "$fmt" "$archive" "$dest"
      measure_once
      check_tree "$manifest"
      if [[ "$tree" != ok && "$tree_all" == ok ]]; then
        problems+=("$archive_name $tool (run $i): $tree rc=$rc, kept in $dest")
        while IFS= read -r line; do problems+=("$line"); done < <(head -n 6 "$work/tree.log"; tail -n 3 "$work/tool.log" | sed 's/^/  tool: /')
      fi
      tree_all=$(worse "$tree_all" "$tree")
      if ((rc != 0)); then
        rc_seen=$rc
        # The driver prints the library's own result; that is the code a user would see.
        is_ours "$tool" && rc_seen=$(grep -o '0x[0-9A-F]*' "$work/tool.log" | head -n 1)
        if is_ours "$tool" && [[ "$tree" == ok && "$rc_noted" == 0 ]]; then
          problems+=("$archive_name $tool (run $i): result ${rc_seen:-$rc} although every file came out right")
          rc_noted=1
        fi
      fi
      if ((i > 1)); then
        times+=("$wall_us")
        ((rss_kb > peak)) && peak=$rss_kb
      fi
      # Keep the first wrong tree of each tool for a look (the report names it); the others
      # go to keep the disk free, those of many files only at the end.
      if [[ "$tree" != ok && -z "$kept_wrong" ]]; then
        kept_wrong=$dest
      elif (($(wc -l <"$manifest") >= many_files)); then
        kept_trees+=("$dest")
      else
        rm -rf "$dest"
      fi
    done
    med[$tool]=$(printf '%s\n' "${times[@]}" | median)
    min_us=$(printf '%s\n' "${times[@]}" | sort -n | head -n 1)
    rss[$tool]=$peak
    status[$tool]=$tree_all
    if ! is_ours "$tool"; then
      peers_run=1
      [[ "$tree_all" != WRONG ]] && good_peer=1
    fi
    rows+=("$(printf '%-10s %6s %-11s %9.3f %8.3f %12.1f %6s  %-12s' "$archive_name" "$size_mb" "$tool" \
      "$(awk -v u="${med[$tool]}" 'BEGIN {print u / 1e6}')" \
      "$(awk -v u="$min_us" 'BEGIN {print u / 1e6}')" \
      "$(awk -v k="$peak" 'BEGIN {print k / 1024}')" "$rc_seen" "$tree_all")")
  done

  # Ours against the fastest peer whose files came out right (Shift_JIS names left undecoded
  # cost nothing in time, so those peers still count).
  fastest="" lowest_rss=""
  for tool in "${!med[@]}"; do
    is_ours "$tool" || [[ "${status[$tool]}" == WRONG ]] && continue
    if [[ -z "$fastest" ]] || awk -v a="${med[$tool]}" -v b="${med[$fastest]}" 'BEGIN {exit !(a < b)}'; then
      fastest=$tool
    fi
    if [[ -z "$lowest_rss" ]] || ((rss[$tool] < rss[$lowest_rss])); then lowest_rss=$tool; fi
  done
  if [[ -n "${med[ours]:-}" && "${status[ours]}" != ok ]]; then
    rows+=("$(printf '%-10s %6s %-11s %s' "$archive_name" "" "=> ours" "no ratio: our tree is ${status[ours]}")")
  elif [[ -n "${med[ours]:-}" && -n "$fastest" ]]; then
    for mine in $ours_tools; do
      [[ -n "${med[$mine]:-}" ]] && ratio_row "$mine" "$fastest" "$lowest_rss"
    done
    # The change itself: this version against the baseline, on both cores and on one.
    for mine in ours ours-1core; do
      base="base${mine#ours}"
      [[ -n "${med[$mine]:-}" && -n "${med[$base]:-}" ]] && ratio_row "$mine" "$base" "$base"
    done
  fi
  rows+=("")

  if [[ -n "${status[ours]:-}" && "${status[ours]}" != ok ]]; then failed=1; fi
  if [[ -n "${status[ours-1core]:-}" && "${status[ours-1core]}" != ok ]]; then failed=1; fi
  if ((peers_run == 1 && good_peer == 0)); then
    problems+=("$archive_name: no peer extracted it correctly; the benchmark data may be broken")
    failed=1
  fi
  if [[ "${BENCH_STRICT:-0}" == 1 ]]; then
    for tool in "${!status[@]}"; do [[ "${status[$tool]}" == WRONG ]] && failed=1; done
  fi
  unset med rss status
done

# --- start-up cost ------------------------------------------------------------------------------
source "$here/startup.sh"
startup_rows=()
startup_section

# --- report -------------------------------------------------------------------------------------
echo
echo "Load average (1, 5, 15 min) at start: $load_start, at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Extraction: median wall time and minimum of runs 2..$runs, peak RSS over those runs"
printf '%-10s %6s %-11s %9s %8s %12s %6s  %-12s\n' archive MB tool "median s" "min s" "peak RSS MiB" exit tree
for row in "${rows[@]}"; do echo "$row"; done
echo "Start-up: extracting tiny.zip (one 1 KiB file)"
for row in "${startup_rows[@]}"; do echo "$row"; done
if ((${#problems[@]} > 0)); then
  echo
  echo "Trees that did not come out exactly right (first run of each tool that showed it):"
  for p in "${problems[@]}"; do echo "  $p"; done
fi
echo "removing ${#kept_trees[@]} extracted trees" >&2
for tree_dir in "${kept_trees[@]}"; do rm -rf "$tree_dir"; done
exit "$failed"
