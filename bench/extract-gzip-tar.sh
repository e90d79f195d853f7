#!/usr/bin/env bash
# Whole-process extraction of a 50 MB .gz file and of a 50 MB tar archive:
# olmek-cli x beside gzip -dc to a file and beside tar -xf, each pair in
# one hyperfine run, and the ratio of the mean times (olmek / peer).
# Usage: bench/extract-gzip-tar.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cli=$(cd "$build" && pwd)/cli/olmek-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Text with numbers in it and runs of noisier bytes: compresses to about a
# third, as logs and sources do.
python3 - <<'PY'
import random
random.seed(1995)
words = open('/usr/share/common-licenses/GPL-3').read().split()
with open('data', 'wb') as f:
    while f.tell() < 86 * 1024 * 1024:
        line = ' '.join(random.choice(words) for _ in range(random.randint(4, 14)))
        f.write(f'{random.randint(0, 10**9)} {line}\n'.encode())
        if random.random() < 0.01:
            f.write(random.randbytes(random.randint(100, 3000)))
# 50 MB of files for the tar: many small ones and a few large.
import os
os.makedirs('tree', exist_ok=True)
total, i = 0, 0
src = open('data', 'rb')
while total < 50 * 1024 * 1024:
    size = random.choice([random.randint(100, 20000)] * 9 + [random.randint(1 << 20, 4 << 20)])
    d = f'tree/d{i % 40}'
    os.makedirs(d, exist_ok=True)
    with open(f'{d}/f{i}.dat', 'wb') as f:
        f.write(src.read(size))
    total += size
    i += 1
PY
gzip -c -6 data > big.gz
rm data
tar -cf big.tar -C tree .
rm -rf tree
printf 'big.gz: %s bytes; big.tar: %s bytes\n' "$(stat -c %s big.gz)" "$(stat -c %s big.tar)"

ratio() {
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"]; print("ratio %s/%s: %.2f" % (r[0]["command"], r[1]["command"], r[0]["mean"]/r[1]["mean"]))' "$1"
}

echo "== 50 MB .gz"
hyperfine --warmup 1 --runs 5 --export-json gz.json \
  --prepare 'rm -rf out; mkdir out' \
  -n olmek "$cli x -y -d out big.gz" \
  -n gzip 'gzip -dc big.gz > out/big' 2>&1 | grep -v '^ *$'
ratio gz.json

echo "== 50 MB tar"
hyperfine --warmup 1 --runs 5 --export-json tar.json \
  --prepare 'rm -rf out; mkdir out' \
  -n olmek "$cli x -y -d out big.tar" \
  -n tar 'tar -xf big.tar -C out' 2>&1 | grep -v '^ *$'
ratio tar.json
