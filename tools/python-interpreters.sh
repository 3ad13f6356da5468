#!/bin/sh
# Lists the CPython interpreters of version 3.12 or later on this machine besides Debian's own,
# one "VERSION PATH" line each; prints nothing when there are none.
for python in /root/.pyenv/versions/*/bin/python3 /usr/local/bin/python3.1[2-9] /usr/bin/python3.1[2-9]; do
  [ -x "$python" ] || continue
  "$python" -c 'import sys; sys.exit(sys.version_info < (3, 12) or sys.implementation.name != "cpython")' \
    2>/dev/null || continue
  version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
  echo "$version $python"
done | sort -u -k1,1
