#!/usr/bin/env bash
# The Debian package: built by CPack from the build folder, clean under lintian, its dependencies
# those of the linked libraries; installed with apt, the installed program started on an X server
# of this test's own showing its window, and the package removed again. Its own X server lets
# the suite run it beside the tests that share the suite's display.
set -euo pipefail
build=$1
source "$(dirname "$0")/lib.sh"
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing a package needs root"
    exit 77
fi

work=$(mktemp -d)
chmod 755 "$work" # apt reads the package as its own unprivileged user
installed=no
program=""
xvfb=""
cleanup() {
    [ -n "$program" ] && kill "$program" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    if [ $installed = yes ]; then
        apt-get remove --purge -y -qq -o DPkg::Lock::Timeout=120 marrowlark >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=120 "$@"
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    fail "cpack"
}
deb=$(echo "$work"/marrowlark_*.deb)
[ -f "$deb" ] || fail "no package in $(ls "$work")"
echo "built ${deb##*/}"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = marrowlark ] || fail "Package: $(field Package)"
[ "$(field Section)" = video ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
echo "Depends: $depends"
for library in libc6 libmpv2 libqt6core6 libqt6widgets6 libqt6dbus6 libseccomp2; do
    [[ ", $depends" == *", $library "* || ", $depends" == *", $library" ]] ||
        fail "Depends lacks $library"
done

[ "$(field Recommends)" = qt6-wayland ] || fail "Recommends: $(field Recommends)"

# Errors and warnings fail; what lintian calls information or pedantry is only shown.
lintian --fail-on error,warning --info --display-info "$deb" || fail "lintian"

apt_get install --no-install-recommends "$deb" >"$work/apt.log" 2>&1 || {
    cat "$work/apt.log"
    fail "apt-get install"
}
installed=yes
[ -x /usr/bin/marrowlark ] || fail "no /usr/bin/marrowlark after installing"
desktop-file-validate /usr/share/applications/marrowlark.desktop || fail "installed entry"

# -displayfd: Xvfb picks a free display itself and tells its number.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
read -r -t 20 -u "$display_fd" display_number || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$display_number"
(cd "$work" && exec /usr/bin/marrowlark 2>"$work/program.err") &
program=$!
wait_for "window titled Marrowlark from the installed program" 60 has_marrowlark_window "$program"
kill "$program"
wait_for "end of the installed program" 60 has_ended "$program"
program=""

apt_get remove --purge marrowlark >"$work/apt.log" 2>&1 || {
    cat "$work/apt.log"
    fail "apt-get remove"
}
installed=no
[ ! -e /usr/bin/marrowlark ] || fail "/usr/bin/marrowlark left behind"
echo PASS
