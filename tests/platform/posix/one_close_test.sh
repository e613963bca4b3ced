#!/bin/sh
# Every descriptor of the POSIX backends is closed by its owner
# (unique_descriptor, or the socket traits of net.cpp), never by a loose
# close() that an early return could skip or repeat.
folder="${1:?usage: one_close_test.sh <src/platform/posix>}"
[ -d "$folder" ] || { echo "no folder $folder" >&2; exit 2; }
bad=$(grep -rnE '(^|[^A-Za-z_:])::close\(|[^:A-Za-z_.>]close\([a-z_]*(fd|descriptor)' "$folder" |
  grep -vE 'files/unique_descriptor\.h:|processes/net\.cpp:.*socket_traits::close')
if [ -n "$bad" ]; then
  echo "descriptors closed outside unique_descriptor:"
  echo "$bad"
  exit 1
fi
echo "every close goes through its owner"
