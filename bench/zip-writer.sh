#!/bin/sh
# The ZIP writer as a whole process beside Info-ZIP zip, in one hyperfine
# run each:
#   - olmek-cli a -9 -r beside zip -9 -r on a tree of 2,000 small text files
#     (20 folders of 100, 100 bytes to 8 KB each) and on one 20 MB text file
#     (/usr/share/common-licenses and /usr/include, repeated);
#   - olmek-cli d beside zip -d deleting the first member of a 100 MB
#     archive of 50 stored members, so that everything after it moves.
# The archives' sizes follow, and every archive of ours passes unzip -t.
#   BUILD=build [WORKDIR=dir] [RUNS=n] sh bench/zip-writer.sh
set -eu
BUILD=${BUILD:-build}
RUNS=${RUNS:-5}
CLI=$(cd "$BUILD" && pwd)/cli/olmek-cli
[ -x "$CLI" ] || { echo "build olmek-cli first ($CLI)" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "hyperfine is not installed" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is not installed: nothing to compare with" >&2; exit 0; }

if [ -z "${WORKDIR:-}" ] && [ -w /dev/shm ]; then WORKDIR=/dev/shm; fi
work=$(mktemp -d -p "${WORKDIR:-${TMPDIR:-/tmp}}")
trap 'rm -rf "$work"' EXIT
cd "$work"

find /usr/share/common-licenses /usr/include -type f | LC_ALL=C sort | xargs cat > once.txt
: > corpus.txt
while [ "$(wc -c < corpus.txt)" -lt 20000000 ]; do cat once.txt >> corpus.txt; done
head -c 20000000 corpus.txt > c && mv c corpus.txt
mkdir big && mv corpus.txt big/

# 2,000 files cut from the text one after another, sizes from a fixed
# sequence.
mkdir tree
awk -v dir=tree 'BEGIN { RS = "\001"; srand(7) }
{
    text = $0; pos = 1
    for (d = 0; d < 20; d++) {
        folder = sprintf("%s/d%02d", dir, d)
        system("mkdir -p " folder)
        for (f = 0; f < 100; f++) {
            n = 100 + int(rand() * 8092)
            name = sprintf("%s/f%03d.txt", folder, f)
            printf "%s", substr(text, pos, n) > name
            close(name)
            pos += n
        }
    }
}' once.txt

sizes() {
    for f in "$@"; do echo "  $f: $(wc -c < "$f") bytes"; done
}

echo "== a -9 -r, 2,000 small files"
hyperfine --warmup 1 --runs "$RUNS" \
    -n "olmek-cli a -9 -r" "rm -f ours.zip && '$CLI' a -9 -r ours.zip tree > /dev/null" \
    -n "zip -9 -r" "rm -f peer.zip && zip -q -9 -r peer.zip tree"
sizes ours.zip peer.zip
unzip -tq ours.zip

echo "== a -9 -r, one 20 MB text file"
hyperfine --warmup 1 --runs "$RUNS" \
    -n "olmek-cli a -9 -r" "rm -f ours.zip && '$CLI' a -9 -r ours.zip big > /dev/null" \
    -n "zip -9 -r" "rm -f peer.zip && zip -q -9 -r peer.zip big"
sizes ours.zip peer.zip
unzip -tq ours.zip

echo "== d, first member of a 100 MB archive"
mkdir blobs
i=0
while [ $i -lt 50 ]; do
    head -c 2000000 /dev/urandom > blobs/$(printf 'b%02d.bin' $i)
    i=$((i + 1))
done
zip -q -0 -r base.zip blobs
hyperfine --warmup 1 --runs "$RUNS" \
    -n "olmek-cli d" --prepare "cp base.zip ours.zip" "'$CLI' d ours.zip blobs/b00.bin > /dev/null" \
    -n "zip -d" --prepare "cp base.zip peer.zip" "zip -q -d peer.zip blobs/b00.bin"
sizes base.zip ours.zip peer.zip
unzip -tq ours.zip
