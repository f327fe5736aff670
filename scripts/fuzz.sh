#!/bin/sh
# Builds the libFuzzer targets with clang in a build folder of their own and
# runs each for FUZZ_SECONDS seconds (default 60) on a copy of its seed corpus,
# then prints per target the executions, the time, libFuzzer's final coverage
# and whether it crashed. Exits non-zero when any target crashed.
#
#   FUZZ_SECONDS=300 scripts/fuzz.sh
#   FUZZ_TARGETS=fuzz_step_file scripts/fuzz.sh
#   FUZZ_GROW=1 scripts/fuzz.sh    # also merge inputs with new coverage into fuzz/corpus/
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)

FUZZ_SECONDS=${FUZZ_SECONDS:-60}
FUZZ_BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
FUZZ_TARGETS=${FUZZ_TARGETS:-fuzz_integer_text fuzz_step_file fuzz_history}
FUZZ_GROW=${FUZZ_GROW:-0}
JOBS=${JOBS:-$(nproc)}

# CC and CXX only count when the folder is configured for the first time.
CC=clang CXX=clang++ cmake -S . -B "$FUZZ_BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVESMIRA_FUZZ=ON -DVESMIRA_TESTS=OFF -DVESMIRA_UI=OFF -DVESMIRA_WERROR=ON >/dev/null
# shellcheck disable=SC2086
cmake --build "$FUZZ_BUILD_DIR" -j "$JOBS" --target $FUZZ_TARGETS

# Absolute paths: fuzz_step_file changes the working directory while an input
# runs, and a crash is written out from there.
RUNS="$ROOT/$FUZZ_BUILD_DIR/runs"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
# Step files are fastest in memory; the folder also takes what a crashed
# fuzz_step_file leaves behind.
scratch=$(mktemp -d -p /dev/shm vesmira-fuzz.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"

table=""
failed=0

# fuzz NAME TARGET MAX_LEN SECONDS: runs TARGET on the corpus already in
# $RUNS/NAME/corpus and adds a row to the table.
fuzz() {
  name=$1 target=$2 max_len=$3 seconds=$4
  work="$RUNS/$name"
  set -- -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -max_len="$max_len" -artifact_prefix="$work/artifacts/"
  if [ -f "fuzz/$target.dict" ]; then
    set -- "$@" -dict="$ROOT/fuzz/$target.dict"
  fi

  echo "== $name: ${seconds}s, log in $work/log"
  start=$(date +%s)
  rc=0
  "$ROOT/$FUZZ_BUILD_DIR/fuzz/$target" "$@" "$work/corpus" >"$work/log" 2>&1 || rc=$?
  took=$(($(date +%s) - start))

  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$work/log" | tail -n 1 || true)
  artifacts=$(ls "$work/artifacts")
  if [ "$rc" -ne 0 ] || [ -n "$artifacts" ]; then
    failed=1
    result="CRASH (exit $rc)"
    grep -E -A 30 'ERROR:|check failed|runtime error|deadly signal' "$work/log" | head -n 40 || true
    for artifact in $artifacts; do
      echo "reproduce: $FUZZ_BUILD_DIR/fuzz/$target $work/artifacts/$artifact"
    done
  else
    result="no crash"
  fi

  if [ "$FUZZ_GROW" = 1 ] && [ "$rc" -eq 0 ] && [ "$name" = "$target" ]; then
    "$ROOT/$FUZZ_BUILD_DIR/fuzz/$target" -merge=1 "fuzz/corpus/$target" "$work/corpus" \
      >"$work/merge.log" 2>&1
  fi

  table="$table$(printf '%-20s %12s %8s   %-18s %s' "$name" "${executions:-?}" "$took" \
    "${coverage:-?}" "$result")
"
}

fresh() {
  rm -rf "${RUNS:?}/${1:?}"
  mkdir -p "$RUNS/$1/corpus" "$RUNS/$1/artifacts"
}

for target in $FUZZ_TARGETS; do
  fresh "$target"
  cp "fuzz/corpus/$target/"* "$RUNS/$target/corpus/"
  # Long enough for a field's 32,767 characters, in UTF-8 as well.
  fuzz "$target" "$target" 65536 "$FUZZ_SECONDS"

  if [ "$target" = fuzz_step_file ]; then
    # The size limits, on their own (inputs of a megabyte run a thousand
    # times slower): seeds too large for git, one just over the 1 MiB limit
    # and one within it whose 700,000 LF-ended lines make a snapshot (every
    # line ended by CR LF) that the save must refuse.
    name=fuzz_step_file_1MiB
    fresh "$name"
    head -c 1048577 /dev/zero | tr '\0' 'a' >"$RUNS/$name/corpus/over-the-limit"
    { printf '2001\n'; head -c 700000 /dev/zero | tr '\0' '\n'; } \
      >"$RUNS/$name/corpus/lf-lines-save-over-limit"
    fuzz "$name" "$target" 1048600 $((FUZZ_SECONDS / 4 + 5))
  fi
done

echo
printf '%-20s %12s %8s   %-18s %s\n' target executions seconds coverage result
printf '%s' "$table"
exit "$failed"
