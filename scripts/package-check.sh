#!/usr/bin/env bash
# Builds the Debian packages (scripts/package.sh) and checks them: file lists, control fields
# and lintian; then, unpacked with dpkg -x into a temporary root and using only that tree, a small
# program built against the library through find_package and through pkg-config loads a
# description, the command-line programs answer --version and --help, the desktop entries
# and man pages are checked, and every installed path the README and the man pages name must
# be in a package. Prints every failed check and exits 1 if there was one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

built=$(scripts/package.sh)
mapfile -t debs <<<"$built"
version=$(sed -n 's/^project(velmor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
libdir=$root/usr/lib/$multiarch
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

deb_of() {
    local deb
    for deb in "${debs[@]}"; do
        [ "$(dpkg-deb -f "$deb" Package)" = "$1" ] && { echo "$deb"; return; }
    done
    echo "no package $1 was built" >&2
    exit 1
}

expect_field() { # package field extended-regex
    dpkg-deb -f "$(deb_of "$1")" "$2" | grep -Eq -- "$3" || fail "$1: $2 does not match '$3'"
}

expect_depends() { # package dependency (literal text, e.g. "libfoo1 (= 1.0)" or "libfoo1 ")
    dpkg-deb -f "$(deb_of "$1")" Depends | sed 's/$/ /' | grep -Fq -- "$2" \
        || fail "$1: Depends lacks '$2'"
}

echo "--- file lists"
for package in libvelmordevicemodel0 libvelmordevicemodel-dev velmor-tools; do
    expected=$(sed -e "s/@MULTIARCH@/$multiarch/" -e "s/@VERSION@/$version/" "tests/package/$package.files" | sort)
    actual=$(dpkg-deb --fsys-tarfile "$(deb_of "$package")" | tar -t | grep -v '/$' | sed 's|^\./||' | sort)
    if [ "$expected" != "$actual" ]; then
        fail "$package: files differ from tests/package/$package.files (< expected, > packaged)"
        diff <(echo "$expected") <(echo "$actual") || true
    fi
done

echo "--- control fields"
[ "$(dpkg-parsechangelog -l packaging/changelog -S Version)" = "$version" ] \
    || fail "packaging/changelog: latest entry is not version $version"
for package in libvelmordevicemodel0 libvelmordevicemodel-dev velmor-tools; do
    expect_field "$package" Version "^$version\$"
    expect_field "$package" Architecture "^$(dpkg --print-architecture)\$"
    expect_field "$package" Maintainer '^[^<>]+ <[^<>@ ]+@[^<> ]+>$'
    expect_field "$package" Source '^velmor$'
    [ "$(dpkg-deb -f "$(deb_of "$package")" Description | wc -l)" -ge 2 ] \
        || fail "$package: Description has no extended text"
done
for dependency in "libc6 " "libqt5core5a " "libqt5serialbus5 " "libqt5serialport5 " "libyaml-cpp0.7 "; do
    expect_depends libvelmordevicemodel0 "$dependency"
done
for dependency in "libvelmordevicemodel0 (= $version)" "qtbase5-dev "; do
    expect_depends libvelmordevicemodel-dev "$dependency"
done
for dependency in "libvelmordevicemodel0 (= $version)" "libqt5widgets5 " "libqt5svg5"; do
    expect_depends velmor-tools "$dependency"
done
dpkg-deb -f "$(deb_of velmor-tools)" Recommends | grep -q "qttranslations5-l10n" \
    || fail "velmor-tools: does not recommend qttranslations5-l10n"
library_deb=$(deb_of libvelmordevicemodel0)
[ "$(dpkg-deb -I "$library_deb" shlibs)" = "libvelmordevicemodel 0 libvelmordevicemodel0 (>= $version)" ] \
    || fail "libvelmordevicemodel0: shlibs is '$(dpkg-deb -I "$library_deb" shlibs)'"
[ "$(dpkg-deb -I "$library_deb" triggers)" = "activate-noawait ldconfig" ] \
    || fail "libvelmordevicemodel0: no ldconfig trigger"

echo "--- lintian"
lintian --fail-on error,warning "${debs[@]}" >"$work/lintian.log" 2>&1 || fail "lintian reports errors or warnings"
grep -v '^running with root privileges' "$work/lintian.log" || true

echo "--- unpacked into $root"
for deb in "${debs[@]}"; do
    dpkg -x "$deb" "$root"
done
readelf -d "$libdir/libvelmordevicemodel.so.$version" | grep -Fq "Library soname: [libvelmordevicemodel.so.0]" \
    || fail "library SONAME is not libvelmordevicemodel.so.0"

# Three variables, so that the count printed proves the file was read.
cat >"$work/three.yml" <<'YAML'
device: Three variables
protocol: ModBUS TCP
host: 127.0.0.1
port: 1502
id: 1
variables:
  - {name: A, addr: 0, type: int16, value: 1}
  - {name: B, addr: 1, type: float32, value: 2.5}
  - {name: C, addr: 3, type: int32, rw: true, value: 3}
YAML

run_installed() { # program arguments...: runs with only the unpacked tree's library
    LD_LIBRARY_PATH=$libdir "$@"
}

check_consumer() { # how-built program
    local linked
    linked=$(run_installed ldd "$2" | sed -n 's/^\s*libvelmordevicemodel\.so\.0 => \(\S*\).*/\1/p')
    [ "$linked" = "$libdir/libvelmordevicemodel.so.0" ] \
        || fail "consumer ($1) links '$linked', not the unpacked library"
    [ "$(run_installed "$2" "$work/three.yml" 2>/dev/null)" = 3 ] \
        || fail "consumer ($1) does not count the 3 variables of a description"
    run_installed "$2" "$root/usr/share/velmor/default.yml" 2>/dev/null | grep -Eq '^[1-9][0-9]*$' \
        || fail "consumer ($1) does not load the installed demo description"
}

echo "--- consumer through find_package(VelmorDeviceModel)"
if cmake -S tests/package/consumer -B "$work/consumer-cmake" -DCMAKE_PREFIX_PATH="$root/usr" \
        -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$work/consumer-cmake.log" 2>&1 \
    && cmake --build "$work/consumer-cmake" >>"$work/consumer-cmake.log" 2>&1; then
    grep -Fq "VelmorDeviceModel_DIR:PATH=$libdir/cmake/VelmorDeviceModel" "$work/consumer-cmake/CMakeCache.txt" \
        || fail "find_package found the package outside the unpacked tree"
    check_consumer find_package "$work/consumer-cmake/consumer"
else
    cat "$work/consumer-cmake.log"
    fail "consumer does not build through find_package"
fi

echo "--- consumer through pkg-config velmordevicemodel"
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion velmordevicemodel)" = "$version" ] || fail "pkg-config --modversion is not $version"
# -fPIC: Qt 5 is built with reduced relocations and refuses code built as PIE.
if g++ -std=c++17 -fPIC tests/package/consumer/consumer.cpp -o "$work/consumer-pkgconfig" \
        $(pkg-config --cflags --libs velmordevicemodel); then
    check_consumer pkg-config "$work/consumer-pkgconfig"
else
    fail "consumer does not build through pkg-config"
fi

echo "--- installed programs"
[ "$(run_installed "$root/usr/bin/velmor-cli" --version)" = "velmor-cli $version" ] \
    || fail "velmor-cli --version does not print 'velmor-cli $version'"
run_installed "$root/usr/bin/velmor-sim" --help | grep -q '^Usage: ' || fail "velmor-sim --help prints no usage"
for program in velmor-tool velmor-timeset velmor-cli velmor-sim; do
    if run_installed ldd "$root/usr/bin/$program" | grep -F 'not found'; then
        fail "$program: libraries not found"
    fi
done

echo "--- desktop entries and man pages"
for entry in "$root"/usr/share/applications/*.desktop; do
    desktop-file-validate "$entry" || fail "$(basename "$entry") does not validate"
    program=$(sed -n 's/^Exec=\(\S*\).*/\1/p' "$entry")
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -x "$root/usr/bin/$program" ] || fail "$(basename "$entry"): Exec names no installed program"
    [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$(basename "$entry"): no icon $icon"
done
for program in velmor-cli velmor-sim; do
    zcat "$root/usr/share/man/man1/$program.1.gz" | grep -q "^\.TH .*\"$program $version\"" \
        || fail "$program.1 was not made from the program's --version"
done
zcat "$root/usr/share/man/man1/velmor-tool.1.gz" | grep -Fq "/usr/share/velmor/default.yml" \
    || fail "velmor-tool.1 does not name the demo description"

echo "--- installed files the README and the man pages name"
# Installed paths (under /usr/share and /lib/systemd) as the texts give them; help2man writes
# a hyphen as "\-", and a path may end a sentence.
named_paths=$({ cat README.md; zcat "$root"/usr/share/man/man1/*.1.gz; } \
    | sed 's/\\-/-/g' | grep -oE '/(usr/share|lib/systemd)/[A-Za-z0-9_.@/-]+' | sed 's/\.$//' | sort -u)
[ -n "$named_paths" ] || fail "the README and the man pages name no installed path"
for path in $named_paths; do
    [ -e "$root$path" ] || fail "$path is named in the README or a man page but is in no package"
done
cmp -s contrib/velmor-cli@.service "$root/lib/systemd/system/velmor-cli@.service" \
    || fail "the packaged systemd unit differs from contrib/velmor-cli@.service"
zcat "$root/usr/share/doc/velmor-tools/description-format.md.gz" | cmp -s docs/description-format.md - \
    || fail "the packaged format reference differs from docs/description-format.md"
grep -q '^Exec=velmor-tool %F$' "$root/usr/share/applications/velmor-tool.desktop" \
    || fail "velmor-tool.desktop does not pass files to velmor-tool"

if [ "$failures" -ne 0 ]; then
    echo "$failures package check(s) failed"
    exit 1
fi
echo "All package checks passed"
