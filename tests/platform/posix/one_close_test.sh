#!/bin/sh
# Every descriptor and directory stream of the POSIX backends is closed by
# its owner (unique_descriptor, unique_directory, or the socket traits of
# net.cpp), never by a loose close() that an early return could skip or repeat.
folder="${1:?usage: one_close_test.sh <src/platform/posix>}"
[ -d "$folder" ] || { echo "no folder $folder" >&2; exit 2; }
bad=$(grep -rnE '(^|[^A-Za-z_:])::close(dir)?\(|[^:A-Za-z_.>]close(dir)?\([a-z_]*(fd|descriptor|dir)' "$folder" |
  grep -vE 'files/unique_descriptor\.h:|processes/net\.cpp:.*socket_traits::close')
if [ -n "$bad" ]; then
  echo "descriptors or directories closed outside their owner:"
  echo "$bad"
  exit 1
fi
echo "every close goes through its owner"
