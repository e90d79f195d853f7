#!/usr/bin/env bash
# Whole-process extraction of a ZIP of 2,000 small files: olmek-cli x beside
# unzip -o -qq in one hyperfine run, into an empty folder and over an
# existing extraction.  Usage: bench/extract-small-files.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cli=$(cd "$build" && pwd)/cli/olmek-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src"
for d in $(seq 1 20); do
  mkdir -p "$work/src/d$d"
  for f in $(seq 1 100); do
    head -c $(( (d * 131 + f * 17) % 4000 + 100 )) /usr/share/common-licenses/GPL-3 \
      > "$work/src/d$d/f$f.txt"
  done
done
(cd "$work/src" && zip -q -r -9 ../small.zip .)
cd "$work"
echo "== into an empty folder"
hyperfine -N --warmup 2 --runs 15 \
  --prepare 'rm -rf out' \
  -n olmek "$cli x -y -d out small.zip" \
  -n unzip 'unzip -o -qq small.zip -d out' 2>&1 | grep -v '^ *$'
echo "== over an existing extraction"
"$cli" x -y -d out small.zip > /dev/null
hyperfine -N --warmup 2 --runs 15 \
  -n olmek "$cli x -y -d out small.zip" \
  -n unzip 'unzip -o -qq small.zip -d out' 2>&1 | grep -v '^ *$'
