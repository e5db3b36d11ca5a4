#!/bin/sh
# Renders the man page with every groff warning enabled and fails on any
# warning or error, so a broken page never ships.
# Usage: tools/check-manpage.sh [page]   (default: doc/vorbex.1)
set -eu
page=${1:-"$(dirname "$0")/../doc/vorbex.1"}
if ! command -v groff >/dev/null 2>&1; then
    echo "check-manpage: groff is not installed (apt-get install groff-base)" >&2
    exit 1
fi
messages=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1) || {
    printf '%s\n' "$messages" >&2
    echo "check-manpage: groff failed on $page" >&2
    exit 1
}
if [ -n "$messages" ]; then
    printf '%s\n' "$messages" >&2
    echo "check-manpage: $page renders with warnings" >&2
    exit 1
fi
echo "check-manpage: $page renders without warnings"
