#!/usr/bin/env bash
# Runs the fuzz targets of a sanitizer build, one after the other, within a bounded time.
#   scripts/fuzz.sh <asan-build-dir> <seconds>
# Each target gets an equal share of <seconds>. Fails on any crash, leak, sanitizer report,
# slow input (over 10 s), single allocation over 256 MiB, or when a target does not end within
# its share. The corpora grow in the build folder between runs; the seeds come from fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/fuzz.sh <asan-build-dir> <seconds>}
seconds=${2:-60}
# target:seeds file
targets=(codec_fuzz:fuzz/seeds.txt terminal_text_fuzz:fuzz/terminal_text_seeds.txt)
share=$((seconds / ${#targets[@]}))
# Leave room for start-up, the corpus load and the final leak check inside the share.
if ((share > 20)); then run=$((share - 8)); else run=$(((share + 1) / 2)); fi

for entry in "${targets[@]}"; do
  name=${entry%%:*}
  seeds=${entry#*:}
  fuzzer="$build/fuzz/$name"
  if [ ! -x "$fuzzer" ]; then
    echo "fuzz: $fuzzer is not built (configure with clang and -DORVANTA_FUZZ=ON)" >&2
    exit 1
  fi
  work="$build/fuzz/run-$name"
  rm -rf "$work/seeds" "$work/artifacts"
  mkdir -p "$work/corpus" "$work/seeds" "$work/artifacts"
  /usr/bin/python3 - "$seeds" "$work/seeds" <<'PY'
import pathlib, sys
out = pathlib.Path(sys.argv[2])
for number, line in enumerate(pathlib.Path(sys.argv[1]).read_text().splitlines()):
    text = "".join(line.split())
    if text and not text.startswith("#"):
        (out / ("seed-%03d" % number)).write_bytes(bytes.fromhex(text))
PY

  status=0
  timeout --kill-after=3 "$share" "$fuzzer" \
    -max_total_time="$run" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 \
    -max_len=16384 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    "$work/corpus" "$work/seeds" >"$work/log" 2>&1 || status=$?
  echo "fuzz: $name"
  grep -E "^(stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb|Done )" \
    "$work/log" || true
  if ((status != 0)); then
    echo "fuzz: $name failed with status $status; last lines of $work/log:" >&2
    tail -n 40 "$work/log" >&2
    ls -l "$work/artifacts" >&2 || true
    exit 1
  fi
  echo "fuzz: $name, no findings in ${run}s"
done
