#!/usr/bin/env bash
# The Debian package made by CPack from the build: its files and the Depends that dpkg-shlibdeps found.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/munyaro_*_*.deb)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$(basename "$deb")" = "munyaro_${version}_$(dpkg --print-architecture).deb" ] || { echo "name: $deb"; exit 1; }
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for f in ./usr/bin/munyaro ./usr/bin/munyaro-cli \
         ./usr/share/applications/io.github.munyaro.Munyaro.desktop \
         ./usr/share/metainfo/io.github.munyaro.Munyaro.metainfo.xml \
         ./usr/share/icons/hicolor/scalable/apps/munyaro.svg ./usr/share/icons/hicolor/256x256/apps/munyaro.png \
         ./usr/share/man/man1/munyaro-cli.1 ./usr/share/doc/munyaro/copyright ./usr/share/munyaro/materia/setup.ini \
         ./usr/share/munyaro/materia/FTPSetting.dat ./usr/share/munyaro/logs/access_log_20261207; do
    grep -qx -- "$f" <<<"$contents" || { echo "missing in the package: $f"; exit 1; }
done
# The keyring's module, loaded by the programs from lib/munyaro/ when a password is kept there.
grep -qE '^\./usr/lib/(.*/)?munyaro/munyaro-keyring\.so$' <<<"$contents" || { echo "missing in the package: munyaro-keyring.so"; exit 1; }
# Nothing of the build or the tests goes along.
if grep -E 'test|bench|screenshot' <<<"$contents"; then echo "unexpected files above"; exit 1; fi
# Read whole first: grep -q stops at its match, and under pipefail tar's broken pipe would fail the check.
copyright=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/munyaro/copyright)
grep -qx 'License: MIT' <<<"$copyright" || { echo "the copyright file names no MIT licence"; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libcurl4 zlib1g libc6 libqt6keychain1; do
    grep -q "$lib" <<<"$depends" || { echo "Depends lacks $lib"; exit 1; }
done
echo "ok: $(basename "$deb")"
