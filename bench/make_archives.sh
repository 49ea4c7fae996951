#!/usr/bin/env bash
# Builds the benchmark payloads and their archives (ZIP, LZH, CAB) in a scratch folder outside
# the repository. Everything is generated from a fixed seed; nothing is downloaded or copied.
# Idempotent: a payload or an archive that already exists is kept, and each is written under a
# temporary name first, so a stopped run never leaves a file that looks finished.
#
# usage: bench/make_archives.sh [DATA_DIR]      (default /work/benchdata, or $DIZOR_BENCH_DATA)
#
# Creates DATA_DIR/payload/{mixed,small,tiny} with their .manifest files and
# DATA_DIR/archives/{mixed,small}.{zip,lzh,cab}, and tiny.zip for the start-up timing.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
data="${1:-${DIZOR_BENCH_DATA:-/work/benchdata}}"
# The tools must see file names as UTF-8, whatever the caller's locale.
export LC_ALL=C.UTF-8

need() { command -v "$1" >/dev/null || { echo "missing: $1 (apt-get install -y --no-install-recommends $2)" >&2; exit 2; }; }
need python3 python3
need zip zip
need gcab gcab
# Debian's "lha" may point at lhasa, which cannot create archives; jlha is the creator.
need jlha jlha-utils

# jLHA writes names in ISO 8859-1 unless told otherwise, turning Japanese names into "?".
# LZH archives from Japanese Windows tools carry Shift_JIS names, so we make ours the same way.
jlha_jar=/usr/share/java/jlhafrontend.jar
jlha() { java -Dlha.encoding=MS932 -jar "$jlha_jar" "$@"; }

mkdir -p "$data/payload" "$data/archives"

for kind in mixed small tiny; do
  python3 "$here/gen_payload.py" "$kind" "$data/payload/$kind"
done

# Lists the payload's files relative to its root, sorted, one per line.
list_files() { (cd "$1" && find . -type f -printf '%P\n' | LC_ALL=C sort); }

make_zip() {  # payload_dir out
  (cd "$1" && zip -q -r -X "$2" .)
}

make_lzh() {  # payload_dir out
  # Top-level entries of the payload, so jlha adds the folders and recurses itself; "c2"
  # makes level-2 headers with the default -lh5- method, the common LHA for Windows output.
  local -a top
  mapfile -t top < <(cd "$1" && ls -A)
  (cd "$1" && jlha c2q "$2" "${top[@]}" >/dev/null)
}

make_cab() {  # payload_dir out
  # One cabinet holds at most 65535 files and 2 GB, well above both payloads. -z: MSZIP.
  local -a files
  mapfile -t files < <(list_files "$1")
  (cd "$1" && gcab -c -z "$2" "${files[@]}")
}

# tiny.zip only serves the start-up timing, which uses ZIP.
for target in mixed.{zip,lzh,cab} small.{zip,lzh,cab} tiny.zip; do
  kind="${target%.*}" fmt="${target##*.}"
  out="$data/archives/$kind.$fmt"
  if [[ -s "$out" ]]; then
    echo "exists, kept: $out"
    continue
  fi
  tmp="$data/archives/.$kind.tmp.$fmt"
  rm -f "$tmp"
  start=$(date +%s)
  "make_$fmt" "$data/payload/$kind" "$tmp"
  mv "$tmp" "$out"
  echo "made $out ($(stat -c %s "$out") bytes, $(($(date +%s) - start)) s)"
done
