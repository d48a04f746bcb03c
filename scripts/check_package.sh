#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package in a build folder (default build/) and checks it
# as a user's system would take it: what it holds, that its programs run
# from it, lintian, the desktop entry, the AppStream metadata and the manual
# pages, each of which must name every option its program's --help prints.
#
#   scripts/check_package.sh [BUILD_DIR]
#
# Exit status 0 when every check passed; each failure is said on stderr.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
build=${1:-build}
failures=0
fail() {
    echo "check_package: $*" >&2
    failures=$((failures + 1))
}

rm -f "$build"/qv7m_*.deb
if ! (cd "$build" && cpack -G DEB > cpack.log 2>&1); then
    cat "$build/cpack.log" >&2
    echo "check_package: cpack failed" >&2
    exit 1
fi
deb=$(ls "$build"/qv7m_*.deb)
echo "package: $deb"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x failed"

expected=(
    usr/bin/qv7m
    usr/bin/qv7m-radio
    usr/share/applications/org.qv7m.qv7m.desktop
    usr/share/metainfo/org.qv7m.qv7m.metainfo.xml
    usr/share/man/man1/qv7m.1.gz
    usr/share/man/man1/qv7m-radio.1.gz
    usr/share/doc/qv7m/copyright
    usr/share/doc/qv7m/changelog.gz
)
for size in 16 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/org.qv7m.qv7m.png")
done
for f in "${expected[@]}"; do
    [ -s "$root/$f" ] || fail "missing from the package: /$f"
done

# The programs run from where the package put them.
version=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/qv7m" --version 2>&1)
[ "$version" = "qv7m $(dpkg-deb -f "$deb" Version)" ] || fail "qv7m --version printed: $version"
"$root/usr/bin/qv7m-radio" --help > /dev/null || fail "qv7m-radio --help failed"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ $depends == *libqt6widgets6* ]] || fail "Depends lacks the Qt libraries: $depends"

# Errors fail; warnings fail too unless overridden (an override says why).
lintian_out=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges')
[ -z "$lintian_out" ] || echo "$lintian_out"
if grep -qE '^[EW]: ' <<< "$lintian_out"; then
    fail "lintian reports errors or warnings"
fi

desktop-file-validate "$root/usr/share/applications/org.qv7m.qv7m.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/org.qv7m.qv7m.metainfo.xml" > "$root/as.log" 2>&1 ||
    { cat "$root/as.log" >&2; fail "appstreamcli validate"; }
grep -qE '^[EW]: ' "$root/as.log" && { cat "$root/as.log" >&2; fail "appstreamcli: warnings"; }

# Each page renders cleanly and names every option of its program's --help.
for program in qv7m qv7m-radio; do
    page="$root/usr/share/man/man1/$program.1.gz"
    text=$(MANWIDTH=80 man --warnings -l "$page" 2> "$root/man.err")
    [ -s "$root/man.err" ] && { cat "$root/man.err" >&2; fail "man warns about $program(1)"; }
    help=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$program" --help 2>&1)
    options=$(grep -oE '(^|[ ,])--?[a-zA-Z][a-zA-Z-]*' <<< "$help" | sed 's/^[ ,]*//' | sort -u)
    [ -n "$options" ] || fail "$program --help printed no options"
    for option in $options; do
        grep -qE -- "(^|[^a-zA-Z-])$option([^a-zA-Z-]|$)" <<< "$text" || fail "$program(1) does not mention $option"
    done
done

[ "$failures" -eq 0 ] && echo "package: every check passed"
[ "$failures" -eq 0 ]
