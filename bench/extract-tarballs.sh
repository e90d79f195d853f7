#!/usr/bin/env bash
# Whole-process extraction of 100 MB compressed TAR archives: olmek-cli x
# beside GNU tar on the same .tar.xz, .tar.zst and .tar.gz, each pair in one
# hyperfine run, and the ratio of the mean times (olmek / tar).
# Usage: bench/extract-tarballs.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cli=$(cd "$build" && pwd)/cli/olmek-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# 100 MB of files, many small ones and a few large: text with numbers in
# it and runs of noisier bytes, which compresses to about a third.
python3 - <<'PY'
import os, random
random.seed(1995)
words = open('/usr/share/common-licenses/GPL-3').read().split()
total, i = 0, 0
while total < 100 * 1024 * 1024:
    size = random.choice([random.randint(100, 20000)] * 9 + [random.randint(1 << 20, 4 << 20)])
    d = f'tree/d{i % 40}'
    os.makedirs(d, exist_ok=True)
    with open(f'{d}/f{i}.dat', 'wb') as f:
        n = 0
        while n < size:
            line = ' '.join(random.choice(words) for _ in range(random.randint(4, 14)))
            b = f'{random.randint(0, 10**9)} {line}\n'.encode()
            if random.random() < 0.01:
                b += random.randbytes(random.randint(100, 3000))
            f.write(b)
            n += len(b)
        total += n
    i += 1
PY
tar -cf big.tar -C tree .
rm -rf tree
xz -T2 -6 -k big.tar
zstd -q -3 big.tar -o big.tar.zst
gzip -6 -k big.tar
rm big.tar
ls -l big.tar.*

ratio() {
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"]; print("ratio %s/%s: %.2f" % (r[0]["command"], r[1]["command"], r[0]["mean"]/r[1]["mean"]))' "$1"
}

for kind in "xz:-xJf" "zst:--zstd -xf" "gz:-xzf"; do
  ext=${kind%%:*}
  opt=${kind#*:}
  echo "== 100 MB .tar.$ext"
  hyperfine --warmup 1 --runs 3 --export-json "$ext.json" \
    --prepare 'rm -rf out; mkdir out' \
    -n olmek "$cli x -y -d out big.tar.$ext" \
    -n tar "tar $opt big.tar.$ext -C out" 2>&1 | grep -v '^ *$'
  ratio "$ext.json"
done
