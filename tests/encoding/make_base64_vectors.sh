#!/bin/bash
# Writes the Base64 reference vectors: for every length 1..1024 one line
# "<hex of the bytes> <base64 of the bytes>", the bytes taken in turn from a
# fixed-seed pseudo-random stream and the text made by coreutils' base64, so
# that the encoder is checked against a reference that shares none of its
# code. Usage: make_base64_vectors.sh OUTPUT
set -euo pipefail

out=$1
tmp="$out.tmp"

# Park-Miller generator: every product stays below 2^53, so any awk computes
# the same stream exactly. Each line: hex, then the same bytes as printf
# octal escapes.
LC_ALL=C awk 'BEGIN {
  x = 20261207
  for (n = 1; n <= 1024; n++) {
    hex = ""; oct = ""
    for (i = 0; i < n; i++) {
      x = (x * 48271) % 2147483647
      b = int(x / 8388608) % 256
      hex = hex sprintf("%02x", b)
      oct = oct sprintf("\\%03o", b)
    }
    print hex, oct
  }
}' | while read -r hex oct; do
  printf '%s %s\n' "$hex" "$(printf "$oct" | base64 -w0)"
done >"$tmp"

lines=$(wc -l <"$tmp")
if [ "$lines" -ne 1024 ]; then
  echo "make_base64_vectors.sh: expected 1024 lines, got $lines" >&2
  exit 1
fi
mv "$tmp" "$out"
