#!/usr/bin/env bash
# Makes the release files in dist/, named after the version that
# "quarnel --version" prints (project(... VERSION) in CMakeLists.txt):
#   dist/quarnel-VERSION-windows-x64.zip  quarnel.exe and bytediff.exe
#       stripped, README.txt for Windows users, LICENSE and an example
#       setup.txt (the text files with CR LF line ends);
#   dist/quarnel_VERSION_amd64.deb  both programs stripped, their manual
#       pages, the README and the copyright file, depending on the packages
#       dpkg-shlibdeps finds for the programs' libraries; lintian must find
#       no error in it.
# The programs come from build/ (./setup.sh) and build-windows/
# (tools/build-windows.sh), which it builds first. Installs the Debian
# packages it needs that are missing (as root; otherwise it prints the
# command to run). Files get the time of the last commit, so the same tree
# gives the same files.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

packages=(dpkg-dev lintian zip binutils-mingw-w64-x86-64)
QUARNEL_NO_RECOMMENDS=1 ./tools/install-packages.sh "${packages[@]}"

version=$(sed -n 's/^project(quarnel VERSION \([0-9][0-9.]*\)[ )].*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
    echo "package.sh: no version in CMakeLists.txt's project() line" >&2
    exit 1
fi

./setup.sh quarnel bytediff
if grep -qE '^QUARNEL_(SANITIZE|TSAN):BOOL=ON' build/CMakeCache.txt; then
    echo "package.sh: build/ is configured with sanitizers; reconfigure it without them" >&2
    exit 1
fi
./tools/build-windows.sh quarnel bytediff
# The version both builds print.
if [ "$(build/quarnel --version)" != "quarnel $version" ] ||
    ! grep -q "program_version = \"$version\"" build-windows/generated/entry/version.h; then
    echo "package.sh: the programs do not print version $version; rebuild them" >&2
    exit 1
fi

export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
rm -rf dist
mkdir -p dist
dist=$PWD/dist

# A text file with CR LF line ends, for Windows users' editors.
with_crlf() { sed -e 's/\r$//' -e 's/$/\r/' -e "s/@VERSION@/$version/g" "$1" > "$2"; }

# --- The Windows zip ---------------------------------------------------------
windows=$stage/windows
mkdir -p "$windows"
for program in quarnel bytediff; do
    x86_64-w64-mingw32-strip -o "$windows/$program.exe" "build-windows/$program.exe"
done
with_crlf packaging/windows/README.txt "$windows/README.txt"
with_crlf LICENSE "$windows/LICENSE"
with_crlf packaging/windows/setup.txt "$windows/setup.txt"
chmod 0644 "$windows"/*
touch -d "@$SOURCE_DATE_EPOCH" "$windows"/*
zip_name=quarnel-$version-windows-x64.zip
(cd "$windows" && TZ=UTC zip -q -X -D -9 "$dist/$zip_name" quarnel.exe bytediff.exe README.txt LICENSE setup.txt)

# --- The Debian package ------------------------------------------------------
root=$stage/deb
DESTDIR=$root cmake --install build --prefix /usr --strip >/dev/null
gzip -9n "$root"/usr/share/man/man1/*.1
doc=$root/usr/share/doc/quarnel
mkdir -p "$doc"
cp packaging/debian/copyright "$doc/copyright"
gzip -9n < README.md > "$doc/README.md.gz"
maintainer=$(sed -n 's/^Maintainer: //p' packaging/debian/control.in)
{
    echo "quarnel ($version) unstable; urgency=medium"
    echo
    echo "  * Release $version."
    echo
    echo " -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n > "$doc/changelog.gz"

# The packages that hold the libraries the programs load.
shlibs=$stage/shlibs
mkdir -p "$shlibs/debian"
printf 'Source: quarnel\n\nPackage: quarnel\nArchitecture: amd64\n' > "$shlibs/debian/control"
depends=$(cd "$shlibs" && dpkg-shlibdeps -O "-e$root/usr/bin/quarnel" "-e$root/usr/bin/bytediff" 2>/dev/null |
          sed -n 's/^shlibs:Depends=//p')
if [ -z "$depends" ]; then
    echo "package.sh: dpkg-shlibdeps found no dependencies" >&2
    exit 1
fi

find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod 0644 {} +
chmod 0755 "$root"/usr/bin/*
mkdir -p "$root/DEBIAN"
installed_size=$(du -sk --apparent-size "$root/usr" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@INSTALLED_SIZE@/$installed_size/" -e "s/@DEPENDS@/$depends/" \
    packaging/debian/control.in > "$root/DEBIAN/control"
(cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) > "$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
deb_name=quarnel_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$dist/$deb_name" >/dev/null

echo "== lintian $deb_name"
lintian --fail-on error --allow-root "$dist/$deb_name" || {
    echo "package.sh: lintian found errors in $deb_name" >&2
    exit 1
}

echo "== dist/ ($((SECONDS - started)) s)"
ls -l dist
echo "Depends: $depends"
