#!/bin/sh
# The format code stays portable: it may include the C++ standard library
# (<vector>, <cstdint>, ...) and its own headers, never an operating-system
# header (<windows.h>, <unistd.h>, <sys/...>, ...), a library's, or platform/.
# Prints each offending line and fails when there is one.
folder="${1:?usage: os_free_test.sh <src/formats>}"
[ -d "$folder" ] || { echo "no folder $folder" >&2; exit 2; }
bad=$(grep -rnE '^[[:space:]]*#[[:space:]]*include' "$folder" |
  grep -vE '#[[:space:]]*include[[:space:]]*(<[a-z_0-9]+>|"formats/[a-z_0-9]+\.h")[[:space:]]*(//.*)?$')
if [ -n "$bad" ]; then
  echo "includes outside the standard library and formats/:"
  echo "$bad"
  exit 1
fi
count=$(grep -rlE '#[[:space:]]*include' "$folder" | wc -l)
echo "$count files include only the standard library and formats/"
