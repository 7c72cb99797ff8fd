#!/usr/bin/env bash
# `cmake --install` into a temporary prefix: exactly the expected files, a menu
# entry and metainfo the desktop's validators accept, icons of their sizes, and
# a program that runs from there.
# Usage: install-layout.sh <build folder> <source folder>
set -euo pipefail
build=$1 source=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "cmake --install"; }

{
  grep -v -e '^#' -e '^$' "$source/tests/shell/installed-files.txt"
  (cd "$source/docs/help" && find . -type f -printf 'share/varnelo/help/%P\n')
} | sort >"$tmp/expected"
(cd "$prefix" && find . \( -type f -o -type l \) -printf '%P\n') | sort >"$tmp/installed"
diff -u "$tmp/expected" "$tmp/installed" || fail "the installed files are not the expected ones"
[ -z "$(cd "$prefix" && find . -type d -empty)" ] || fail "empty folders installed"

app=example.varnelo.FtpSuite
desktop=$prefix/share/applications/$app.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"
appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli validate-tree"

# What the desktop-file-utils trigger makes of it: the handler of the three schemes.
update-desktop-database "$prefix/share/applications"
for scheme in ftp ftps ftpes; do
  grep -qx "x-scheme-handler/$scheme=$app.desktop;" "$prefix/share/applications/mimeinfo.cache" ||
    fail "not the handler of $scheme:// links"
done

# The keys the menu, the file manager and the browser go by.
for line in 'Type=Application' 'Name=Varnelo FTP Suite' 'GenericName=FTP Client' \
  'Categories=Network;FileTransfer;' 'Exec=varnelo %U' 'Icon=varnelo' \
  'MimeType=x-scheme-handler/ftp;x-scheme-handler/ftps;x-scheme-handler/ftpes;'; do
  grep -qxF "$line" "$desktop" || fail "$app.desktop lacks '$line'"
done
grep -q '<screenshot type="default">' "$prefix/share/metainfo/$app.metainfo.xml" || fail "no screenshot in the metainfo"
grep -q '<description>' "$prefix/share/metainfo/$app.metainfo.xml" || fail "no description in the metainfo"

for png in "$prefix"/share/icons/hicolor/*x*/apps/varnelo.png; do
  size=$(basename "$(dirname "$(dirname "$png")")")
  file -b "$png" | grep -q "^PNG image data, ${size%x*} x ${size#*x}," || fail "$png is not a ${size} PNG: $(file -b "$png")"
done
file -b "$prefix/share/icons/hicolor/scalable/apps/varnelo.svg" | grep -q SVG || fail "the scalable icon is no SVG"

version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/varnelo" --version)
[ "$version" = "Varnelo FTP Suite 3.7" ] || fail "installed varnelo --version printed '$version'"
# The software centre and the manual name the same version as the program.
grep -q "<release version=\"${version##* }\"" "$prefix/share/metainfo/$app.metainfo.xml" ||
  fail "the metainfo's releases lack ${version##* }"
zcat "$prefix/share/man/man1/varnelo.1.gz" | grep -q "^\.TH VARNELO 1 .*\"$version\"" || fail "the manual is not of $version"
echo "install layout: $(wc -l <"$tmp/installed") files, all as expected"
