#!/usr/bin/env bash
# Runs each libFuzzer target for a while, niced, seeded from fuzz/corpus_seeds/ and, for the
# archive targets, from ../shared/corpus/ (read in place, never copied into the tree).
#   fuzz/run_fuzzers.sh BUILD_DIR SECONDS_PER_TARGET [target...]
# BUILD_DIR must be a clang build with -DDIZOR_FUZZ=ON (see fuzz/CMakeLists.txt). The grown
# corpus stays in BUILD_DIR/fuzz-corpus/<target>/ and is reused by the next run; findings go
# to BUILD_DIR/fuzz-artifacts/<target>/ and make the script fail. Copy each finding into
# fuzz/regressions/<target>/ once it is understood.
set -u
build=$(cd "${1:?build directory}" && pwd) || exit 1
seconds=${2:?seconds per target}
shift 2
src=$(cd "$(dirname "$0")/.." && pwd)
corpus_dir="$src/../shared/corpus"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(split_command_line settings_reader library_command_line zip_archive lha_archive
           cab_archive rar_archive)
fi

status=0
for t in "${targets[@]}"; do
  bin="$build/bin/fuzz_$t"
  if [ ! -x "$bin" ]; then
    echo "fuzz_$t: not built (needs clang and -DDIZOR_FUZZ=ON)" >&2
    status=1
    continue
  fi
  work="$build/fuzz-corpus/$t"
  artifacts="$build/fuzz-artifacts/$t"
  tmp="$build/fuzz-tmp/$t"
  mkdir -p "$work" "$artifacts" "$tmp"
  seeds=("$src/fuzz/corpus_seeds/$t")
  max_len=4096
  case $t in
    *_archive)
      format=${t%_archive}
      seeds+=("$corpus_dir/$format")
      max_len=262144
      ;;
  esac
  existing=()
  for s in "${seeds[@]}"; do [ -d "$s" ] && existing+=("$s"); done
  # Findings are crashes, leaks, timeouts and running out of memory; "slow-unit-" files
  # are only libFuzzer's note of an input that took over 10 s.
  findings() { ls "$artifacts" | grep -cE '^(crash|leak|timeout|oom)-'; }
  before=$(findings)
  start=$(date +%s)
  # DIZOR_FUZZ_KEEP_GOING=1: -fork=1 with -ignore_*, so that a finding is kept in
  # $artifacts and the run goes on (for long runs while a finding is still open; the
  # forked jobs cost most of the speed). Otherwise the first finding ends the run.
  # -timeout: a decoder may work for seconds on a bomb, never for a minute (the margin is
  # for niced runs on a machine busy with compilers, where a 0.1 s input once took 30 s).
  # -rss_limit_mb: other users. -malloc_limit_mb: liblzma asks for its whole dictionary in
  # one malloc (4 GB for a mutated ZIP LZMA header) and touches little of it; only resident
  # memory counts. -handle_xfsz=0: the target limits file sizes itself and wants the failed
  # write, not libFuzzer's stop.
  mode=()
  if [ "${DIZOR_FUZZ_KEEP_GOING:-0}" = 1 ]; then
    mode=(-fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1)
  fi
  DIZOR_FUZZ_TMP="$tmp" nice -n 19 "$bin" "$work" "${existing[@]}" "${mode[@]}" \
    -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2560 -malloc_limit_mb=8192 \
    -handle_xfsz=0 -max_len=$max_len -artifact_prefix="$artifacts/" -print_final_stats=1 \
    >"$build/fuzz-$t.log" 2>&1
  rc=$?
  end=$(date +%s)
  # "#<runs>" starts libFuzzer's progress lines in both modes.
  runs=$(grep -aoE '^#[0-9]+' "$build/fuzz-$t.log" | tail -n 1 | tr -d '#')
  found=$(( $(findings) - before ))
  echo "fuzz_$t: $((end - start)) s, ${runs:-?} runs, $found new finding(s), exit $rc"
  if [ $rc -ne 0 ] || [ $found -ne 0 ]; then
    status=1
    ls -t "$artifacts" | grep -E '^(crash|leak|timeout|oom)-' | head -n "$found" |
      sed "s|^|  $artifacts/|" >&2
  fi
  rm -rf "$tmp"
done
exit $status
