#!/bin/sh
# olmek-cli a (LZHUF, -lh1-) beside jlha a (-lh5-; jlha offers no lh1) on
# the 20 MB text corpus of bench_lzhuf: /usr/share/common-licenses and
# /usr/include, files in name order, repeated until it is full.
#   BUILD=build [WORKDIR=dir] sh bench/lha-writer.sh
set -eu
BUILD=${BUILD:-build}
CLI=$(cd "$BUILD" && pwd)/cli/olmek-cli
[ -x "$CLI" ] || { echo "build olmek-cli first ($CLI)" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "hyperfine is not installed" >&2; exit 1; }
command -v jlha >/dev/null || { echo "jlha is not installed: nothing to compare with" >&2; exit 0; }

if [ -z "${WORKDIR:-}" ] && [ -w /dev/shm ]; then WORKDIR=/dev/shm; fi
work=$(mktemp -d -p "${WORKDIR:-${TMPDIR:-/tmp}}")
trap 'rm -rf "$work"' EXIT
cd "$work"
find /usr/share/common-licenses /usr/include -type f | LC_ALL=C sort | xargs cat > once.txt
: > corpus.txt
while [ "$(wc -c < corpus.txt)" -lt 20000000 ]; do cat once.txt >> corpus.txt; done
head -c 20000000 corpus.txt > c && mv c corpus.txt

hyperfine --warmup 1 --runs 5 \
    -n "olmek-cli a (lh1)" "rm -f ours.lzh && '$CLI' a ours.lzh corpus.txt" \
    -n "jlha a (lh5)" "rm -f peer.lzh && jlha aq peer.lzh corpus.txt"
for f in ours.lzh peer.lzh; do
    echo "$f: $(wc -c < $f) bytes, $(( $(wc -c < $f) * 1000 / 20000000 )) per mille of the corpus"
done
lhasa t ours.lzh > /dev/null && echo "lhasa t ours.lzh: ok"
