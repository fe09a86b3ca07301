#!/usr/bin/env bash
# Builds the Debian package and checks it: its file list and Depends, lintian (no error), the
# desktop entry and AppStream data, then the unpacked program with a fresh user: no --store, the
# store is created under $XDG_DATA_HOME/qelmora/ on first use (and by init-store), the Recommends of
# what a plain window manager needs, and the per-user association agrees
# with the package's own MIME type and desktop entry.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/linux
fail() { echo "package test: $*" >&2; exit 1; }

rm -f "$build"/qelmora_*_amd64.deb
cmake --build --preset linux --target package
debs=("$build"/qelmora_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single qelmora_<version>_amd64.deb in $build"
deb=${debs[0]}
echo "== $deb"

# The file list.
files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for f in /usr/bin/qelmora /usr/bin/qelmora-cli /usr/share/applications/qelmora.desktop \
         /usr/share/mime/packages/qelmora-mdl.xml /usr/share/metainfo/io.github.qelmora.metainfo.xml \
         /usr/share/icons/hicolor/16x16/apps/qelmora.png /usr/share/icons/hicolor/32x32/apps/qelmora.png \
         /usr/share/icons/hicolor/16x16/mimetypes/application-x-qelmora-mdl.png \
         /usr/share/icons/hicolor/32x32/mimetypes/application-x-qelmora-mdl.png \
         /usr/share/man/man1/qelmora-cli.1.gz /usr/share/man/man1/qelmora.1.gz \
         /usr/share/doc/qelmora/README.md /usr/share/doc/qelmora/copyright /usr/share/doc/qelmora/changelog.gz; do
  grep -qxF "$f" <<<"$files" || fail "missing $f"
done
if grep -E 'dravo\.mdb|_test$|/include/|\.a$' <<<"$files"; then fail "files that do not belong in the package"; fi
dpkg-deb -I "$deb" | grep -qE '^ (postinst|prerm|postrm|preinst)' && fail "maintainer scripts in the package"

# Depends: the libraries found by the shared-library scan, and what the program needs besides.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for d in libqt6widgets6 libsqlcipher0 libpq5 libxlsxwriter libzip4 libglib2.0-0 libc6 qt6-qpa-plugins qt6-translations-l10n \
         shared-mime-info; do
  grep -q "$d" <<<"$depends" || fail "Depends lacks $d"
done
[ "$(dpkg-deb -f "$deb" Section)" = science ] || fail "Section is not science"
# Recommends: what xdg-utils needs to read the user's MIME database on a plain window manager.
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Recommends: $recommends"
grep -q libfile-mimeinfo-perl <<<"$recommends" || fail "Recommends lacks libfile-mimeinfo-perl"

# lintian: no error; its warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian found errors"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/pkg"
desktop-file-validate "$root/pkg/usr/share/applications/qelmora.desktop"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --explain "$root/pkg/usr/share/metainfo/io.github.qelmora.metainfo.xml"
fi

# A fresh user runs the unpacked command-line tool without --store.
export HOME="$root/home" XDG_CONFIG_HOME="$root/home/.config" XDG_CACHE_HOME="$root/home/.cache"
unset XDG_DATA_HOME
mkdir -p "$HOME"
cli="$root/pkg/usr/bin/qelmora-cli"
store="$HOME/.local/share/qelmora/dravo.mdb"
"$cli" import "$PWD/samples/sample.mdl" 2>"$root/err" || { cat "$root/err" >&2; fail "import failed"; }
grep -qxF "已创建新的参数数据库：$store" "$root/err" || { cat "$root/err" >&2; fail "no notice of the new store"; }
[ -f "$store" ] || fail "no store at $store"
[ ! -e "$root/pkg/usr/bin/dravo.mdb" ] || fail "a store beside the unpacked program"
"$cli" history >"$root/history" 2>"$root/err" || fail "history failed"
[ ! -s "$root/err" ] || { cat "$root/err" >&2; fail "the store was announced twice"; }
[ "$(wc -l <"$root/history")" -eq 2 ] || { cat "$root/history"; fail "history does not show one row"; }
head -1 "$root/history" | grep -q '^L0,R0,R1,' || fail "history has no header"
echo "store: $store"; cat "$root/history"

# Another new user starts with init-store: the installed program makes the user's store, never
# one beside itself.
(
  export HOME="$root/home2" XDG_DATA_HOME="$root/home2/data" XDG_CONFIG_HOME="$root/home2/.config"
  mkdir -p "$HOME"
  "$cli" init-store >"$root/out" 2>"$root/err" || { cat "$root/err" >&2; fail "init-store failed"; }
  grep -qxF "$XDG_DATA_HOME/qelmora/dravo.mdb" <(sed -n 's/^已创建数据库：//p' "$root/out" "$root/err") ||
    { cat "$root/out" "$root/err" >&2; fail "init-store did not make the user's store"; }
  [ -f "$XDG_DATA_HOME/qelmora/dravo.mdb" ] || fail "no store at $XDG_DATA_HOME/qelmora/dravo.mdb"
  [ ! -e "$root/pkg/usr/bin/dravo.mdb" ] || fail "init-store made a store beside the installed program"
)

# The package's type and entry as the system's, then the user's association on top: the default for
# the type stays qelmora.desktop, and the application still shows in the menus.
export XDG_DATA_DIRS="$root/pkg/usr/share:/usr/share" XDG_CURRENT_DESKTOP=GNOME GIO_USE_VFS=local
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
update-mime-database "$root/pkg/usr/share/mime"
cp samples/sample.mdl "$root/a.mdl"
[ "$(xdg-mime query filetype "$root/a.mdl")" = application/x-qelmora-mdl ] || fail "the package's type is not found"
"$cli" associate || fail "associate failed"
[ "$(xdg-mime query default application/x-qelmora-mdl)" = qelmora.desktop ] || fail "qelmora is not the default"
[ "$(xdg-mime query filetype "$root/a.mdl")" = application/x-qelmora-mdl ] || fail "the type changed"
user_entry="$HOME/.local/share/applications/qelmora.desktop"
desktop-file-validate "$user_entry"
if grep -qx 'NoDisplay=true' "$user_entry"; then fail "the user's entry hides the installed program from the menus"; fi
# A plain window manager (no desktop named): xdg-utils reads the MIME database itself, through the
# recommended File::MimeInfo.
if [ -x /usr/bin/mimetype ]; then
  [ "$(XDG_CURRENT_DESKTOP= DESKTOP_SESSION= xdg-mime query filetype "$root/a.mdl")" = application/x-qelmora-mdl ] ||
    fail "without a desktop, xdg-mime does not find the type of a .mdl"
  [ "$(XDG_CURRENT_DESKTOP= DESKTOP_SESSION= xdg-mime query default application/x-qelmora-mdl)" = qelmora.desktop ] ||
    fail "without a desktop, qelmora is not the default"
fi
echo "package test: passed"
