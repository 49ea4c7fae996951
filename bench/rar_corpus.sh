#!/usr/bin/env bash
# Our RAR engine against the peers on the largest RAR archives of the shared corpus. Nothing
# in Debian writes RAR, so these are the archives there are: the RAR 2.9 PPMd/LZSS sample that
# unpacks to 242 MB, the same data as a set of four volumes, and the biggest of the rest.
# Each tool extracts each archive RUNS times into a fresh folder (sync before each run, the
# first run a warm-up); the table gives median wall time, peak RSS, and whether the tree is
# the corpus test's golden tree (tests/libs/golden/rar/: names, sizes, CRC-32, links).
#
# usage: bench/rar_corpus.sh [BUILD_DIR]   (default: the first build*/ with bin/UNRAR32.DLL)
#   RUNS=5  DIZOR_BENCH_DATA=/work/benchdata (scratch space)  CORPUS=../shared/corpus
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
corpus="${CORPUS:-$repo/../shared/corpus}/rar"
data="${DIZOR_BENCH_DATA:-/work/benchdata}/rar"
runs="${RUNS:-5}"
export LC_ALL=C.UTF-8

die() { echo "rar_corpus.sh: $*" >&2; exit 2; }
[[ -d "$corpus" ]] || die "no corpus at $corpus"
[[ -x /usr/bin/time ]] || die "missing /usr/bin/time"
build="${1:-}"
if [[ -z "$build" ]]; then
  for d in "$repo"/build*/; do
    [[ -f "$d/bin/UNRAR32.DLL" ]] && { build="${d%/}"; break; }
  done
fi
[[ -n "$build" && -x "$build/bin/dizor-bench-driver" ]] || die "no build with the driver"
mkdir -p "$data/libs"
cp "$build/bin/UNRAR32.DLL" "$build/bin/UNRAR.DLL" "$data/libs/"
driver="$build/bin/dizor-bench-driver"

archives=(test_read_format_rar_ppmd_lzss_conversion.rar
          test_read_format_rar_multivolume.part0001.rar
          test_read_format_rar_filter.rar test_read_format_rar_sfx.exe
          test_read_format_rar5_solid.rar Rar.solid.rar)

# The tree in the golden format: "d path", "f path size crc32", "l path target", sorted.
tree() {
  python3 - "$1" <<'PY'
import os, sys, zlib
root = sys.argv[1]
rows = []
for dirpath, dirs, files in os.walk(root):
    for name in dirs + files:
        full = os.path.join(dirpath, name)
        rel = os.path.relpath(full, root)
        if os.path.islink(full):
            rows.append("l\t%s\t%s" % (rel, os.readlink(full)))
        elif os.path.isdir(full):
            rows.append("d\t%s" % rel)
        else:
            crc = 0
            with open(full, "rb") as f:
                for chunk in iter(lambda: f.read(1 << 20), b""):
                    crc = zlib.crc32(chunk, crc)
            rows.append("f\t%s\t%d\t%08x" % (rel, os.path.getsize(full), crc))
print("\n".join(sorted(rows)))
PY
}

run_tool() {  # tool archive out
  case $1 in
    ours) "$driver" "$data/libs/UNRAR32.DLL" rar "$2" "$3/" >/dev/null ;;
    bsdtar) bsdtar -xf "$2" -C "$3" ;;
    unar) unar -q -f -o "$3" -D "$2" >/dev/null ;;
  esac
}

printf '%-48s %-7s %9s %9s %8s  %s\n' archive tool "median s" "min s" "RSS MiB" tree
for a in "${archives[@]}"; do
  archive="$corpus/$a"
  [[ -f "$archive" ]] || continue
  golden="$repo/tests/libs/golden/rar/$a.tree"
  declare -A median=()
  # 7-Zip as Debian builds it reads no RAR at all.
  for tool in ours bsdtar unar; do
    command -v "$tool" >/dev/null 2>&1 || [[ $tool == ours ]] || continue
    times=() rss=0 verdict=ok
    for ((i = 0; i <= runs; i++)); do
      out="$data/out-$tool"
      rm -rf "$out" && mkdir -p "$out" && sync
      start=$(date +%s%N)
      /usr/bin/time -f %M -o "$data/rss" bash -c "$(declare -f run_tool); driver='$driver' \
        data='$data' run_tool $tool '$archive' '$out'" 2>/dev/null
      end=$(date +%s%N)
      ((i == 0)) && continue
      times+=($(( (end - start) / 1000000 )))
      r=$(tail -n 1 "$data/rss"); ((r > rss)) && rss=$r
    done
    if ! diff -q <(tree "$out") <(sort "$golden") >/dev/null; then verdict=WRONG; fi
    sorted=($(printf '%s\n' "${times[@]}" | sort -n))
    med=${sorted[$(( ${#sorted[@]} / 2 ))]}
    median[$tool]=$med
    printf '%-48s %-7s %9.3f %9.3f %8.1f  %s\n' "$a" "$tool" "$(bc -l <<<"$med/1000")" \
      "$(bc -l <<<"${sorted[0]}/1000")" "$(bc -l <<<"$rss/1024")" "$verdict"
  done
  if [[ -n "${median[bsdtar]:-}" && -n "${median[ours]:-}" ]]; then
    printf '%-48s => ours/bsdtar %.2fx\n' "" "$(bc -l <<<"${median[ours]}/${median[bsdtar]}")"
  fi
  unset median
done
rm -rf "$data"/out-*
