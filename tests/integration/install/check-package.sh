#!/usr/bin/env bash
# Builds the Debian package from the build with CPack and checks it without
# installing it on this machine: its control fields and dependencies, its
# file list, the programs it carries (unpacked, they run and give the
# version), and that dpkg and apt would install it.
#   check-package.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/glowmere-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "FAILED: cpack" >&2
    exit 1
fi
deb=$(ls "$work"/out/glowmere_*.deb 2>/dev/null | head -n1)
[[ -n $deb ]] || {
    cat "$work/cpack.log" >&2
    echo "FAILED: cpack made no glowmere_*.deb" >&2
    exit 1
}
arch=$(dpkg --print-architecture)
[[ $(basename "$deb") == "glowmere_${version}-1_${arch}.deb" ]] || fail "the package is named $(basename "$deb")"

# Control fields.
field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == glowmere ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version-1" ]] || fail "Version: $(field Version), not $version-1"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
# The libraries the programs link, found by dpkg-shlibdeps, and tzdata.
depends_names=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
for package in libc6 libstdc++6 libcurl4 libpugixml1v5 libnova-0.16-0 libcpp-httplib0.11 \
    libqt6core6 libqt6gui6 libqt6widgets6 tzdata; do
    grep -qxF "$package" <<<"$depends_names" || fail "Depends lacks $package: $depends"
done
[[ -n $(field Maintainer) && -n $(field Description) ]] || fail "no Maintainer or Description"

# The files: the same ones cmake --install puts under /usr, programs stripped.
contents=$(dpkg-deb --contents "$deb" | awk '{ print $NF }' | grep -v '/$' | sed 's|^\./||' | sort)
for file in usr/bin/glowmere usr/bin/glowmerectl usr/bin/glowmere-bridge-sim \
    usr/share/applications/org.glowmere.Glowmere.desktop usr/share/metainfo/org.glowmere.Glowmere.metainfo.xml \
    usr/share/man/man1/glowmerectl.1 usr/share/icons/hicolor/256x256/apps/org.glowmere.Glowmere.png \
    usr/share/bash-completion/completions/glowmerectl usr/share/glowmere/support.html \
    usr/share/doc/glowmere/copyright; do
    grep -qxF "$file" <<<"$contents" || fail "the package lacks /$file"
done
outside=$(grep -v '^usr/' <<<"$contents")
[[ -z $outside ]] || fail "the package installs outside /usr: $outside"

# Unpacked, the programs run and give the version.
dpkg-deb -x "$deb" "$work/root"
for program in glowmere glowmerectl glowmere-bridge-sim; do
    said=$("$work/root/usr/bin/$program" --version 2>&1)
    [[ $said == "$program $version" ]] || fail "the packaged $program --version says '$said'"
    [[ $(file "$work/root/usr/bin/$program") != *"not stripped"* ]] || fail "the packaged $program is not stripped"
done

# dpkg would unpack it over this system (as root; it takes dpkg's lock).
if [[ $(id -u) -eq 0 ]]; then
    dpkg --dry-run -i "$deb" >"$work/dpkg.log" 2>&1 || fail "dpkg --dry-run -i: $(cat "$work/dpkg.log")"
else
    echo "not root: dpkg --dry-run -i skipped"
fi
# apt resolves its dependencies from the archive as for a fresh system: with an
# empty list of installed packages, everything it needs must be found.
if compgen -G "/var/lib/apt/lists/*_Packages*" >/dev/null; then
    : >"$work/status"
    if ! apt-get install -s -o Dir::State::status="$work/status" -o Debug::NoLocking=1 "$deb" >"$work/apt.log" 2>&1; then
        fail "apt cannot resolve the package's dependencies on a fresh system: $(tail -20 "$work/apt.log")"
    else
        echo "apt on an empty system would install $(grep -c '^Inst ' "$work/apt.log") packages with it"
    fi
else
    echo "no apt package lists here (apt-get update first): the fresh-system check skipped"
fi

if ((failures)); then
    echo "$failures failures" >&2
    exit 1
fi
echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) kB, Depends: $depends"
