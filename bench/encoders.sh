#!/bin/sh
# Text encoders on a 50 MB file: olmek-cli beside coreutils base64 and
# sharutils uuencode/uudecode, each pair in one hyperfine run.
#   BUILD=build [WORKDIR=dir] sh bench/encoders.sh
set -eu
BUILD=${BUILD:-build}
CLI=$(cd "$BUILD" && pwd)/cli/olmek-cli
[ -x "$CLI" ] || { echo "build olmek-cli first ($CLI)" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "hyperfine is not installed" >&2; exit 1; }

# On tmpfs by default, so that the disk's write-back does not drown the
# difference between the tools.
if [ -z "${WORKDIR:-}" ] && [ -w /dev/shm ]; then WORKDIR=/dev/shm; fi
work=$(mktemp -d -p "${WORKDIR:-${TMPDIR:-/tmp}}")
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c 50000000 /dev/urandom > data.bin
mkdir ours
"$CLI" encode b64 -d ours data.bin > /dev/null
"$CLI" encode uu -d ours data.bin > /dev/null
base64 data.bin > peer.b64

run() {
    hyperfine --warmup 2 --runs 10 "$@"
}

run -n "olmek-cli encode b64" "'$CLI' encode b64 -y -d ours data.bin" \
    -n "base64" "base64 data.bin > peer.b64"
run -n "olmek-cli decode (Base64)" "'$CLI' decode -y -d ours ours/data.bin.b64" \
    -n "base64 -d" "base64 -d peer.b64 > peer.out"
if command -v uuencode >/dev/null; then
    uuencode data.bin data.bin > peer.uue
    run -n "olmek-cli encode uu" "'$CLI' encode uu -y -d ours data.bin" \
        -n "uuencode" "uuencode data.bin data.bin > peer.uue"
    run -n "olmek-cli decode (uuencode)" "'$CLI' decode -y -d ours ours/data.bin.uue" \
        -n "uudecode" "uudecode -o peer.out peer.uue"
fi
cmp ours/data.bin data.bin
