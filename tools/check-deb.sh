#!/usr/bin/env bash
# Checks the packages that `make deb` built: lintian on the source and binary
# packages, then installs vorbex, finds its manual page, runs the package's
# autopkgtest (the installed tool on the installed examples) on this machine,
# and purges it again, checking that none of its files is left.
# Installs and purges the package vorbex: run as root, on a machine where
# losing an installed vorbex does not matter.
# Usage: tools/check-deb.sh [DEB_DIR]   (default build/deb)
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
deb_dir=$(realpath "${1:-$root/build/deb}")
cd "$root"
tools/require-packages.sh lintian autopkgtest man-db
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg --print-architecture)
deb="$deb_dir/vorbex_${version}_${arch}.deb"
changes="$deb_dir/vorbex_${version}_${arch}.changes"
dsc="$deb_dir/vorbex_${version}.dsc"
for file in "$deb" "$changes" "$dsc"; do
    [ -f "$file" ] || { echo "check-deb: $file is missing (make deb builds it)" >&2; exit 1; }
done

echo "== lintian $(basename "$changes")"
# Warnings fail as errors do; pedantic and informational tags are shown only.
# Lintian warns that it runs as root, which it may here: it only reads.
lintian --pedantic --display-info --fail-on error,warning "$changes" 2> >(grep -v 'running with root privileges' >&2)
echo "lintian: no errors, no warnings"

if dpkg-query -W -f='${Status}' vorbex 2>/dev/null | grep -q 'install ok installed'; then
    echo "check-deb: vorbex is installed already; purge it first (apt-get purge vorbex)" >&2
    exit 1
fi
purge() { DEBIAN_FRONTEND=noninteractive apt-get purge -y -q vorbex >/dev/null; }
trap purge EXIT

echo "== install $(basename "$deb")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb"
mapfile -t installed < <(dpkg -L vorbex)
[ "$(command -v vorbex)" = /usr/bin/vorbex ] || { echo "check-deb: vorbex is not /usr/bin/vorbex" >&2; exit 1; }
page=$(man -w vorbex)
[ "$page" = /usr/share/man/man1/vorbex.1.gz ] || { echo "check-deb: man -w vorbex gives '$page'" >&2; exit 1; }
echo "manual page: $page"

# The null runner tests on this machine, against the package just installed;
# -B: the binaries under test are those given, not built again from the source.
echo "== autopkgtest $(basename "$dsc")"
autopkgtest -B "$deb" "$dsc" -- null

echo "== purge"
trap - EXIT
purge
left=()
for path in "${installed[@]}"; do
    # directories such as /usr/bin stay, being shared
    if [ -e "$path" ] && [ ! -d "$path" ]; then left+=("$path"); fi
done
status=$(dpkg-query -W -f='${db:Status-Abbrev}' vorbex 2>/dev/null || true)
if [ -e /usr/bin/vorbex ] || [ ${#left[@]} -gt 0 ] || [[ -n $status && $status != [up]n* ]]; then
    echo "check-deb: purging vorbex left ${left[*]:-its package record}" >&2
    exit 1
fi
echo "vorbex purged: /usr/bin/vorbex and its ${#installed[@]} paths are gone"
