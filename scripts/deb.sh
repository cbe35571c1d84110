#!/usr/bin/env bash
# Builds the Debian package in the release build (cpack -G DEB), checks it
# with lintian, installs it with apt-get, checks what the desktop's triggers
# made of it, purges it and checks that nothing it put under /usr is left.
# It installs into this system: run it as root where that is welcome (a
# container, a test machine). Not one of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" = 0 ] || { echo "deb.sh: run as root: it installs and purges the package" >&2; exit 1; }

./scripts/setup.sh
missing=()
for p in dpkg-dev lintian; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "deb.sh: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

echo "== build"
cmake --preset release >/dev/null
cmake --build --preset release
rm -f build/release/zorv-dla_*.deb
(cd build/release && cpack -G DEB)
deb=$(ls build/release/zorv-dla_*.deb)
echo "== $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

echo "== lintian"
# Errors fail the script; warnings and notes are shown.
lintian --fail-on error --display-info "$deb"
echo "lintian: no errors"

if dpkg-query -W -f='${Status}' zorv-dla 2>/dev/null | grep -q "install ok installed"; then
  echo "deb.sh: zorv-dla is installed already; purging it first"
  apt-get purge -y -q zorv-dla
fi

# What the package holds, and which of its folders exist before.
entries=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^/\?$')
existed=()
while read -r path; do
  [ -e "$path" ] && existed+=("$path")
done <<< "$entries"

echo "== install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$deb"
for program in zorv-dla zorv-dla-ss zorv-dla-batch; do
  command -v "$program" >/dev/null || { echo "FAIL: $program is not on the PATH" >&2; exit 1; }
done
zorv-dla-batch --help >/dev/null
man -w zorv-dla >/dev/null
# The triggers of desktop-file-utils and shared-mime-info have run.
grep -q 'application/x-zorv-dla=.*zorv-dla.desktop' /usr/share/applications/mimeinfo.cache ||
  { echo "FAIL: the applications' MIME cache does not know zorv-dla.desktop" >&2; exit 1; }
grep -q 'application/x-zorv-dla:\*\.dla' /usr/share/mime/globs2 ||
  { echo "FAIL: the MIME database does not map *.dla" >&2; exit 1; }
icons=/usr/share/icons/hicolor/icon-theme.cache  # made by gtk-update-icon-cache's trigger, when installed
if [ -e "$icons" ] && ! grep -aq 'zorv-dla' "$icons"; then
  echo "FAIL: the icon cache does not know the icons" >&2
  exit 1
fi
echo "installed: programs on the PATH, manual pages found, .dla in the MIME database and the applications' cache," \
     "icons in the icon cache"

echo "== purge"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q zorv-dla
left=()
while read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || continue
  keep=0
  for e in "${existed[@]}"; do [ "$e" = "$path" ] && keep=1 && break; done
  [ $keep = 1 ] || left+=("$path")
done <<< "$entries"
if [ ${#left[@]} -gt 0 ]; then
  printf 'FAIL: left after the purge: %s\n' "${left[@]}" >&2
  exit 1
fi
if grep -qs 'zorv-dla' /usr/share/applications/mimeinfo.cache || grep -qs 'x-zorv-dla' /usr/share/mime/globs2 ||
   grep -aqs 'zorv-dla' "$icons"; then
  echo "FAIL: the desktop's caches still name zorv-dla after the purge" >&2
  exit 1
fi
echo "purged: nothing the package put under /usr is left, and the caches no longer name it"
