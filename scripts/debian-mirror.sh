#!/usr/bin/env bash
# Prints the first Debian mirror of this machine's apt sources, in either format (an installed
# system may have only the classic sources.list), else Debian's own. A missing file is no failure.
set -uo pipefail
mirror=$({ sed -n 's/^URIs: *\(http[^ ]*debian\)\/*$/\1/p' /etc/apt/sources.list.d/debian.sources
          sed -n 's/^deb  *\(\[[^]]*\]  *\)\{0,1\}\(http[^ ]*debian\)\/*  *.*/\2/p' /etc/apt/sources.list
        } 2>/dev/null | head -n 1)
echo "${mirror:-http://deb.debian.org/debian}"
