#!/usr/bin/env bash
# The installed tree and the Debian package, checked as a packager would: the programs run from
# where they were installed, the man pages render without warnings, the udev rule and the
# desktop entry are well formed, and the package names the runtime libraries it needs.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Reads all its input before it looks for TEXT: `program | grep -q` under pipefail fails whenever
# grep leaves at the first match while the program is still writing (it dies of SIGPIPE).
holds() { local text; text=$(cat); [[ $text == *"$1"* ]]; }

# The installed tree.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
for program in ov58xx-loader ov58xx-gang ov58xx-sign ov58xx-bootsim; do
    [ -x "$work/prefix/bin/$program" ] || fail "$program not installed"
    [ -f "$work/prefix/share/bash-completion/completions/$program" ] || fail "no completion for $program"
    page="$work/prefix/share/man/man1/$program.1"
    [ -f "$page" ] || fail "no man page for $program"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$program.1 renders with warnings: $warnings"
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | holds "EXIT STATUS" || fail "$program.1 has no EXIT STATUS"
done
OV58XX_LOADER_HOME="$work/home" "$work/prefix/bin/ov58xx-loader" -h | holds "OV58xx Loader - 命令行使用说明" ||
    fail "the installed loader does not print its help"
"$work/prefix/bin/ov58xx-gang" --help | holds "ov58xx-gang -f IMAGE" || fail "the installed gang does not print its help"
"$work/prefix/bin/ov58xx-bootsim" --help | holds "usage: ov58xx-bootsim" || fail "the installed simulator does not print its help"
"$work/prefix/bin/ov58xx-sign" --help 2>&1 | holds "ov58xx-sign --verify" || fail "the installed signer does not print its usage"

rule="$work/prefix/lib/udev/rules.d/60-ov58xx.rules"
[ -f "$rule" ] || fail "no udev rule"
if udevadm verify --help >/dev/null 2>&1; then
    udevadm verify "$rule" >/dev/null || fail "udevadm rejects the rule"
else
    # Each rule line: comma-separated KEY[{attribute}] OPERATOR "value" pairs with keys udev knows.
    pair='(SUBSYSTEM|KERNEL|ACTION|DRIVERS?|TAG|GROUP|MODE|OWNER|RUN|TEST|ENV\{[A-Z_]+\}|ATTRS?\{[A-Za-z_/]+\})(==|!=|=|\+=|:=)"[^"]*"'
    while IFS= read -r line; do
        case "$line" in "" | "#"*) continue ;; esac
        echo "$line" | grep -Eq "^$pair(, $pair)*\$" || fail "udev rule line not well formed: $line"
    done <"$rule"
fi
grep -q 'ATTRS{idVendor}=="1209", ATTRS{idProduct}=="5841"' "$rule" || fail "the rule does not name the chip's USB ID"
grep -q 'TAG+="uaccess"' "$rule" && grep -q 'GROUP="dialout"' "$rule" && grep -q 'ENV{ID_MM_DEVICE_IGNORE}="1"' "$rule" ||
    fail "the rule lacks uaccess, dialout or the ModemManager exclusion"
desktop-file-validate "$work/prefix/share/applications/ov58xx-loader.desktop" || fail "desktop entry not valid"
grep -q '^Name=OV58xx Loader$' "$work/prefix/share/applications/ov58xx-loader.desktop" || fail "desktop entry name"
[ -f "$work/prefix/share/icons/hicolor/scalable/apps/ov58xx-loader.svg" ] || fail "no icon"

# The Debian package.
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack failed"
deb=$(ls "$build"/ov58xx-loader_*_amd64.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6core6 libssl3 libc6 libstdc++6 fonts-wqy-microhei qt6-qpa-plugins; do
    [[ $depends == *"$library"* ]] || fail "the package does not depend on $library: $depends"
done
dpkg-deb -x "$deb" "$work/root"
[ -f "$work/root/usr/lib/udev/rules.d/60-ov58xx.rules" ] || fail "the package holds no udev rule"
OV58XX_LOADER_HOME="$work/home" "$work/root/usr/bin/ov58xx-loader" -h >/dev/null || fail "the packaged loader does not run"
"$work/root/usr/bin/ov58xx-gang" --help >/dev/null || fail "the packaged gang does not run"
echo "install tree and package: 1 passed, 0 failed"
