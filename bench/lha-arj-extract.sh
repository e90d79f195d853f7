#!/usr/bin/env bash
# Whole-process extraction of one 20 MB text file: olmek-cli x beside
# lhasa on an -lh5- archive made by jlha, and beside arj x on an ARJ -m1
# archive, each pair in one hyperfine run.  Prints the ratios too.
# Usage: bench/lha-arj-extract.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cli=$(cd "$build" && pwd)/cli/olmek-cli
for tool in hyperfine jlha lhasa arj; do
  command -v "$tool" > /dev/null || { echo "$tool is not installed" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src"
# Text from the system's documentation, repeated up to 20 MB.
find /usr/share/doc /usr/share/common-licenses -type f \( -name copyright -o -path '*licenses*' \) \
  -size -200k 2> /dev/null | sort | head -400 | xargs cat > "$work/text.once"
[ -s "$work/text.once" ] || cp /usr/share/common-licenses/GPL-3 "$work/text.once"
while [ "$(stat -c %s "$work/src/big.txt" 2> /dev/null || echo 0)" -lt 20000000 ]; do
  cat "$work/text.once" >> "$work/src/big.txt"
done
truncate -s 20000000 "$work/src/big.txt"
(cd "$work/src" && jlha a1o5q ../big.lzh big.txt > /dev/null && arj a -m1 ../big.arj big.txt > /dev/null)
cd "$work"
run() {
  hyperfine -N --warmup 1 --runs 10 --prepare 'rm -rf out' --export-json "$1.json" \
    -n olmek "$2" -n "$3" "$4" 2>&1 | grep -v '^ *$'
  python3 - "$1.json" << 'PY'
import json, sys
r = {x["command"]: x["median"] for x in json.load(open(sys.argv[1]))["results"]}
names = list(r)
print(f"ratio {names[0]}/{names[1]}: {r[names[0]] / r[names[1]]:.2f}")
PY
}
echo "== -lh5-, 20 MB of text"
run lh5 "$cli x -y -d out big.lzh" lhasa "lhasa xqfw=out big.lzh"
echo "== ARJ -m1, 20 MB of text"
run arj "$cli x -y -d out big.arj" arj "arj x -y -htout big.arj"
