#!/usr/bin/env bash
# Builds the Debian package of Quenta from a clean clone of the commit checked out here (what is not
# committed is not in it), and leaves quenta_VERSION_ARCH.deb in the folder given (default: the top
# of this clone). Prints the package's path last.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(cd "${1:-$top}" && pwd)
"$top/scripts/install-deps.sh" --with-package
if [ -n "$(git -C "$top" status --porcelain --untracked-files=no)" ]; then
  echo "package-deb.sh: uncommitted changes are not in the package" >&2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git clone --quiet --no-hardlinks "$top" "$work/src"
git -C "$work/src" checkout --quiet --detach "$(git -C "$top" rev-parse HEAD)"
cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUENTA_TESTS=OFF -DQUENTA_BENCH=OFF >/dev/null
cmake --build "$work/build" -j"$(nproc)"
(cd "$work/build" && cpack -G DEB >/dev/null)
package=$(find "$work/build" -maxdepth 1 -name 'quenta_*.deb' -print -quit)
[ -n "$package" ] || { echo "package-deb.sh: cpack made no package" >&2; exit 1; }
cp "$package" "$out/"
echo "$out/$(basename "$package")"
