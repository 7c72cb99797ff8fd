#!/usr/bin/env bash
# The Debian package built by CPack: its name and control data, exactly the
# expected files under /usr, no maintainer scripts (the desktop's and icon
# theme's dpkg triggers refresh the caches), and dependencies that name the
# package of every library the program loads and are met on this machine.
# Usage: debian-package.sh <build folder> <source folder>
set -euo pipefail
build=$1 source=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$tmp/out") >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; fail "cpack"; }
debs=("$tmp"/out/*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one package, got: ${debs[*]}"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "varnelo_3.7-1_$arch.deb" ] || fail "package file name $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = varnelo ] || fail "Package: $(field Package)"
[ "$(field Version)" = 3.7-1 ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
echo "Depends: $depends"

# Files: exactly the install layout, under /usr, owned by root.
dpkg-deb -c "$deb" >"$tmp/contents"
awk '$1 ~ /^-/ { print $6 }' "$tmp/contents" | sort >"$tmp/packaged"
{
  grep -v -e '^#' -e '^$' "$source/tests/shell/installed-files.txt"
  (cd "$source/docs/help" && find . -type f -printf 'share/varnelo/help/%P\n')
} | sed 's|^|./usr/|' | sort >"$tmp/expected"
diff -u "$tmp/expected" "$tmp/packaged" || fail "the package's files are not the expected ones"
if awk '$2 != "root/root"' "$tmp/contents" | grep -q .; then fail "files not owned by root: $(awk '$2 != "root/root"' "$tmp/contents")"; fi
if awk '{ print $6 }' "$tmp/contents" | grep -v -e '^\./$' -e '^\./usr/' | grep -q .; then fail "files outside /usr"; fi

# Control area: no maintainer scripts.
dpkg-deb -e "$deb" "$tmp/control"
[ "$(ls "$tmp/control" | tr '\n' ' ')" = "control md5sums " ] || fail "control area holds: $(ls "$tmp/control")"

# Every dependency met on this machine, version included.
satisfied() {  # one "name (op version)" term
  local name op version installed
  name=$(sed -E 's/^ *([^ (]+).*/\1/' <<<"$1")
  installed=$(dpkg-query -W -f='${Status} ${Version}' "$name" 2>/dev/null | awk '$3 == "installed" { print $4 }')
  [ -n "$installed" ] || return 1
  if [[ $1 =~ \(([<>=]+)\ *([^\)]+)\) ]]; then
    op=${BASH_REMATCH[1]} version=${BASH_REMATCH[2]}
    case $op in '>=') op=ge ;; '<=') op=le ;; '=') op=eq ;; '>>') op=gt ;; '<<') op=lt ;; esac
    dpkg --compare-versions "$installed" "$op" "$version" || return 1
  fi
}
names=()
IFS=',' read -ra groups <<<"$depends"
for group in "${groups[@]}"; do
  ok=0
  IFS='|' read -ra alternatives <<<"$group"
  for alt in "${alternatives[@]}"; do
    names+=("$(sed -E 's/^ *([^ (:]+).*/\1/' <<<"$alt")")
    if satisfied "$alt"; then ok=1; fi
  done
  [ $ok -eq 1 ] || fail "dependency not met: $group"
done
has() { printf '%s\n' "${names[@]}" | grep -qx "$1"; }
for must in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libc6 libstdc++6; do
  has "$must" || fail "Depends lacks $must"
done

# The program as unpacked: every library it loads resolves, and each one it
# links directly comes from a package the dependencies name.
dpkg-deb -x "$deb" "$tmp/root"
program=$tmp/root/usr/bin/varnelo
file -b "$program" | grep -q 'stripped' && ! file -b "$program" | grep -q 'not stripped' || fail "the program is not stripped"
ldd "$program" >"$tmp/ldd"
if grep -q 'not found' "$tmp/ldd"; then fail "unresolved libraries: $(grep 'not found' "$tmp/ldd")"; fi
owner() {  # the package owning a library, with or without the /usr prefix (merged /usr)
  local path=$1 real
  real=$(readlink -f "$path")
  for p in "$path" "$real" "${path#/usr}" "${real#/usr}" "/usr$path" "/usr$real"; do
    dpkg-query -S "$p" 2>/dev/null | head -n1 | sed -E 's/:.*//' && return 0
  done
  return 1
}
while read -r lib; do
  pkg=$(owner "$lib") || fail "no package owns $lib"
  pkg=${pkg%%,*}
  has "$pkg" || fail "$lib comes from $pkg, which Depends does not name"
done < <(readelf -d "$program" | sed -nE 's/.*\(NEEDED\).*\[(.*)\]$/\1/p' |
  while read -r needed; do awk -v n="$needed" '$1 == n && $2 == "=>" { print $3 }' "$tmp/ldd"; done)
[ "$(readelf -d "$program" | grep -c NEEDED)" -ge 5 ] || fail "too few libraries linked: $(readelf -d "$program" | grep NEEDED)"
# Qt loads its X11 platform plugin at run time; its package must be named too.
xcb=$(dpkg-query -S '*/qt6/plugins/platforms/libqxcb.so' | head -n1) || fail "no package holds Qt's X11 platform plugin"
has "${xcb%%:*}" || fail "Qt's X11 platform plugin comes from ${xcb%%:*}, which Depends does not name"
[ "$(field Recommends)" = "qt6-wayland, xdg-utils, hicolor-icon-theme" ] || fail "Recommends: $(field Recommends)"

# The caches: the menu's (MIME handlers) and the icon theme's are rebuilt by the
# triggers of the packages that own them, on the folders our files land in.
for trigger in desktop-file-utils:/usr/share/applications/example.varnelo.FtpSuite.desktop \
  hicolor-icon-theme:/usr/share/icons/hicolor/48x48/apps/varnelo.png; do
  pkg=${trigger%%:*} path=${trigger#*:}
  grep -q "^.${path}\$" <(awk '{ print $6 }' "$tmp/contents") || fail "the package lacks $path"
  triggers=/var/lib/dpkg/info/$pkg.triggers
  [ -f "$triggers" ] || continue
  watched=0
  while read -r kind folder; do
    case $kind in interest|interest-noawait) [[ $path == "$folder"/* ]] && watched=1 ;; esac
  done <"$triggers"
  [ $watched -eq 1 ] || fail "$pkg does not watch $path"
done

# Installs into an empty root and is removed from it again (dpkg sets owners: root only).
if [ "$(id -u)" -eq 0 ]; then
  admin=$tmp/clean/var/lib/dpkg
  mkdir -p "$admin/info" "$admin/updates"
  touch "$admin/status" "$admin/available"
  dpkg_clean=(dpkg --root="$tmp/clean" --log=/dev/null --force-depends)
  "${dpkg_clean[@]}" -i "$deb" >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; fail "dpkg -i into a clean root"; }
  [ -x "$tmp/clean/usr/bin/varnelo" ] || fail "dpkg -i left no /usr/bin/varnelo"
  "${dpkg_clean[@]}" -r varnelo >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; fail "dpkg -r from the clean root"; }
  [ -z "$(find "$tmp/clean/usr" -type f 2>/dev/null)" ] || fail "dpkg -r left files behind"
else
  echo "not root: the install into an empty root is left out"
fi

version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version)
[ "$version" = "Varnelo FTP Suite 3.7" ] || fail "the packaged varnelo --version printed '$version'"
echo "package $(basename "$deb"): $(wc -l <"$tmp/packaged") files, dependencies met"
