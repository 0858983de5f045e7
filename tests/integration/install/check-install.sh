#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under /usr, as the Debian
# package does, and checks what landed there: the file list, the desktop
# entry, the metainfo, the icons, the man pages and completions (against
# --help), the programs' versions, and that no program points into the
# build tree.
#   check-install.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2
here=$(cd "$(dirname "$0")" && pwd)

root=$(mktemp -d "${TMPDIR:-/tmp}/glowmere-install.XXXXXX")
trap 'rm -rf "$root"' EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

if ! DESTDIR=$root cmake --install "$build" --prefix /usr >"$root.log" 2>&1; then
    cat "$root.log" >&2
    rm -f "$root.log"
    echo "FAILED: cmake --install" >&2
    exit 1
fi
rm -f "$root.log"
usr=$root/usr

# Exactly these files, nothing else (a new installed file belongs in this list).
expected=(
    bin/glowmere bin/glowmerectl bin/glowmere-bridge-sim
    share/applications/org.glowmere.Glowmere.desktop
    share/metainfo/org.glowmere.Glowmere.metainfo.xml
    share/icons/hicolor/scalable/apps/org.glowmere.Glowmere.svg
    share/man/man1/glowmere.1 share/man/man1/glowmerectl.1 share/man/man1/glowmere-bridge-sim.1
    share/bash-completion/completions/glowmerectl
    share/zsh/vendor-completions/_glowmerectl
    share/glowmere/support.html share/glowmere/lightbulb_trans_Template.svg
    share/doc/glowmere/copyright
)
sizes=(16 22 24 32 48 64 128 256)
for size in "${sizes[@]}"; do expected+=("share/icons/hicolor/${size}x${size}/apps/org.glowmere.Glowmere.png"); done
actual=$(cd "$usr" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)
for file in "${expected[@]}"; do
    grep -qxF "$file" <<<"$actual" || fail "not installed: /usr/$file"
done
expected_list=$(printf '%s\n' "${expected[@]}")
for file in $actual; do
    grep -qxF "$file" <<<"$expected_list" ||
        fail "installed but not expected: /usr/$file (add it to the list in $0 if it belongs)"
done
if [[ -n $(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr) ]]; then
    fail "installed outside /usr: $(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)"
fi

# The programs: executable, no search path into the build tree, the one version.
for program in glowmere glowmerectl glowmere-bridge-sim; do
    binary=$usr/bin/$program
    [[ -x $binary ]] || {
        fail "/usr/bin/$program is not executable"
        continue
    }
    search_path=$(readelf -d "$binary" | grep -E 'R(UN)?PATH')
    [[ -z $search_path ]] || fail "/usr/bin/$program keeps a library search path: $search_path"
    said=$("$binary" --version 2>&1)
    [[ $said == "$program $version" ]] || fail "'$program --version' says '$said', not '$program $version'"
done

# The desktop entry: valid, its program and icon installed.
desktop=$usr/share/applications/org.glowmere.Glowmere.desktop
if [[ -f $desktop ]]; then
    desktop-file-validate "$desktop" >&2 || fail "desktop-file-validate refuses $desktop"
    exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [[ -x $usr/bin/$exec_program ]] || fail "the desktop entry starts '$exec_program', which is not in /usr/bin"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [[ -f $usr/share/icons/hicolor/scalable/apps/$icon.svg ]] ||
        fail "the desktop entry's icon '$icon' is not in the hicolor theme"
fi

# The metainfo: valid, this version, launching the installed entry.
metainfo=$usr/share/metainfo/org.glowmere.Glowmere.metainfo.xml
if [[ -f $metainfo ]]; then
    appstreamcli validate --no-net "$metainfo" >"$root/appstream.log" 2>&1 ||
        fail "appstreamcli validate --no-net refuses $metainfo: $(cat "$root/appstream.log")"
    grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
    launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
    [[ -f $usr/share/applications/$launchable ]] || fail "the metainfo launches '$launchable', which is not installed"
fi

# The icons: each PNG as large as its folder says (width and height from
# the PNG header).
for size in "${sizes[@]}"; do
    png=$usr/share/icons/hicolor/${size}x${size}/apps/org.glowmere.Glowmere.png
    [[ -f $png ]] || continue
    read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$png")
    width=$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4)) height=$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))
    [[ $width == "$size" && $height == "$size" ]] || fail "$png is ${width}x${height}"
done
grep -q '<svg' "$usr/share/icons/hicolor/scalable/apps/org.glowmere.Glowmere.svg" 2>/dev/null ||
    fail "the scalable icon is no SVG"

# The man pages: clean for groff, this version, and naming what --help lists.
for page in "$usr"/share/man/man1/*.1; do
    warnings=$(groff -man -ww -z "$page" 2>&1)
    [[ -z $warnings ]] || fail "groff warns about $(basename "$page"): $warnings"
    grep -q "Glowmere $version" "$page" || fail "$(basename "$page") does not give version $version"
done
"$here/check-docs.sh" "$usr/bin/glowmerectl" "$usr/bin/glowmere-bridge-sim" "$usr/bin/glowmere" -- \
    "$usr/share/man/man1" "$usr/share/bash-completion/completions/glowmerectl" \
    "$usr/share/zsh/vendor-completions/_glowmerectl" || fail "the installed man pages or completions"

if ((failures)); then
    echo "$failures failures" >&2
    exit 1
fi
echo "installed $(wc -l <<<"$actual") files under /usr; all checks passed"
