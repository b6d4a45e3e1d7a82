#!/usr/bin/env bash
# Runs scripts/check-layers on a tree that breaks the layers of TABLE, and
# passes when the check fails naming exactly the violations given, one per
# argument, in its order.
#
#   expect_violations.sh CHECK TABLE TREE VIOLATION...
set -uo pipefail
check=$1 table=$2 tree=$3
shift 3
output=$("$check" --layers "$table" "$tree")
status=$?
expected=$(printf '%s\n' "$@")
if [ $status -ne 1 ] || [ "$output" != "$expected" ]; then
  printf 'exit status %d, expected 1; violations:\n%s\nexpected:\n%s\n' $status "$output" "$expected" >&2
  exit 1
fi
