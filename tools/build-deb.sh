#!/usr/bin/env bash
# Builds the Debian package, source and binary, from a copy of the work tree,
# so that the build leaves nothing in the repository: the .deb, the source
# package and the .changes land in OUT_DIR (default build/deb), and the copy is
# removed once it built. The source package is there for lintian, which checks
# debian/ only through it.
# Usage: tools/build-deb.sh [OUT_DIR]   (DEB_BUILD_OPTIONS is passed through)
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
mkdir -p "${1:-$root/build/deb}"
out=$(realpath "${1:-$root/build/deb}")
cd "$root"
version=$(dpkg-parsechangelog -S Version)
tree="$out/vorbex-$version"
# Only what an earlier build left: OUT_DIR may hold other files
rm -rf "$tree" "$out"/vorbex_"$version"[._]* "$out"/vorbex-dbgsym_"$version"_*
mkdir "$tree"

# The files git would see (tracked, or new and not ignored) as they are now,
# uncommitted edits included; without git, everything but the build folder.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' file; do
            # tracked files deleted in the work tree are still listed
            if [ -e "$file" ] || [ -L "$file" ]; then printf '%s\0' "$file"; fi
        done |
        tar --null --no-recursion -T - -cf - | tar -xf - -C "$tree"
else
    tar --exclude=./build --exclude='./obj-*' -cf - . | tar -xf - -C "$tree"
fi
# Files older than the changelog entry would keep their own times in the
# packages; from the same sources, two checkouts must give the same bytes.
find "$tree" -exec touch -h -d "@$(dpkg-parsechangelog -S Timestamp)" {} +

(cd "$tree" && dpkg-buildpackage -us -uc -j"$(nproc)")
rm -rf "$tree"
ls -l "$out"
