#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks the layout, the menu entry, the
# metainfo and the icons, and starts the installed program unattended.
# Usage: install_test.sh BUILD_DIR DESKTOP_ID
set -uo pipefail
build=$1
id=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix/usr" >/dev/null || { echo "FAIL: cmake --install" >&2; exit 1; }

# Layout: the program in bin/, its own files in lib/calderine/, the desktop's in share/.
for f in bin/CLD lib/calderine/libcldrip.so lib/calderine/libCLDRes.so lib/calderine/cld.chm \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg; do
    [ -f "$prefix/usr/$f" ] || fail "$f is not installed"
done
[ -x "$prefix/usr/bin/CLD" ] || fail "bin/CLD is not executable"
copyright=$prefix/usr/share/doc/calderine/copyright
if [ -f "$copyright" ]; then
    head -1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
        fail "the copyright file is not in Debian's machine-readable form"
    grep -q '^Files: \*$' "$copyright" || fail "the copyright file covers no files"
else
    fail "share/doc/calderine/copyright is not installed"
fi
for size in 16 22 24 32 48 64 128 256; do
    icon=$prefix/usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    file "$icon" | grep -q "PNG image data, $size x $size" || fail "icon $icon is not ${size}x${size}"
done
readelf -d "$prefix/usr/bin/CLD" | grep -q 'R.*PATH.*\$ORIGIN/\.\./lib/calderine' ||
    fail "bin/CLD does not look for its libraries relative to itself"
if readelf -d "$prefix/usr/bin/CLD" "$prefix"/usr/lib/calderine/*.so | grep -q "$build"; then
    fail "an installed file still points into the build folder"
fi

# The desktop's own checkers.
desktop-file-validate "$prefix/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/usr/share/metainfo/$id.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate"
grep -q "^Exec=CLD %F$" "$prefix/usr/share/applications/$id.desktop" || fail "Exec line"
grep -q "^StartupWMClass=CLD$" "$prefix/usr/share/applications/$id.desktop" || fail "window class"

# The installed program, moved away from the build, answers and starts unattended.
home=$prefix/home
mkdir -p "$home"
[ "$("$prefix/usr/bin/CLD" --version)" = "Calderine 2002 4.05a" ] || fail "--version"
out=$(env HOME="$home" XDG_DATA_HOME="$home/data" ODBCINI="$home/odbc.ini" \
      CLD_REGISTRY_DIR="$home/registry" CLD_AUTOMATION=1 QT_QPA_PLATFORM=offscreen \
      timeout 60 "$prefix/usr/bin/CLD" 2>&1)
rc=$?
[ $rc -eq 0 ] || fail "the installed program ended with $rc: $out"
grep -q "CLD launcher shown" <<<"$out" || fail "the installed program showed no launcher: $out"
grep -q "CLD message" <<<"$out" && fail "the installed program showed a message: $out"

# The command line: installed with its manual page and completion, and it finds the
# ripper library in lib/calderine from its own place, with no display and no session.
for f in bin/calderine lib/calderine/libcalderine.so share/man/man1/calderine.1.gz share/bash-completion/completions/calderine; do
    [ -f "$prefix/usr/$f" ] || fail "$f is not installed"
done
[ "$(env -i PATH=/usr/bin:/bin "$prefix/usr/bin/calderine" --version)" = "calderine 4.05a (Calderine 2002)" ] ||
    fail "calderine --version"
zcat "$prefix/usr/share/man/man1/calderine.1.gz" | groff -man -Tutf8 -ww >/dev/null 2>"$prefix/man.err" &&
    [ ! -s "$prefix/man.err" ] || fail "the manual page of calderine: $(cat "$prefix/man.err")"
bash -n "$prefix/usr/share/bash-completion/completions/calderine" || fail "the completion of calderine"
if [ -f "$prefix/usr/lib/calderine/libcldvdrive.so" ]; then
    disc=$prefix/disc
    mkdir -p "$disc"
    head -c $((2352 * 300)) /dev/zero >"$disc/d.bin"
    printf 'FILE "d.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' >"$disc/d.cue"
    out=$(env -i PATH=/usr/bin:/bin HOME="$home" CLD_REGISTRY_DIR="$home/registry" \
          CLD_ASPI_LIBRARY="$prefix/usr/lib/calderine/libcldvdrive.so" CLD_VDRIVE_IMAGES="$disc/d.cue" \
          timeout 60 "$prefix/usr/bin/calderine" devices 2>&1)
    grep -q "^drive	0	" <<<"$out" || fail "the installed calderine lists no drive: $out"
fi

[ $failures -eq 0 ] && echo "install test: all checks passed"
exit $((failures > 0))
