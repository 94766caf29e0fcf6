#!/usr/bin/env bash
# Installs the build into a temporary root and checks one side of it: the menu entry, the software
# centre's description or the files and the programs.
set -euo pipefail
check=$1 build=$2 source=$3 id=$4 version=$5
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=/opt/vellumar-relocated
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >/dev/null
tree=$root$prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

case $check in
desktop_entry)
    entry=$tree/share/applications/$id.desktop
    out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate failed: $out"
    [[ -z $out ]] || fail "desktop-file-validate says: $out"
    # The entry starts the installed program by name and shows the installed icon.
    grep -qx "Exec=vellumar" "$entry" || fail "Exec is not the installed program"
    grep -qx "Icon=$id" "$entry" || fail "Icon is not $id"
    [[ -x $tree/bin/vellumar && -f $tree/share/icons/hicolor/scalable/apps/$id.svg ]] || fail "program or icon missing"
    ;;
metainfo)
    info=$tree/share/metainfo/$id.metainfo.xml
    appstreamcli validate --no-net "$info" || fail "appstreamcli rejects $info"
    # The tree as a whole: the description, its launchable entry and the icon belong together.
    appstreamcli validate-tree --no-net "$tree" || fail "appstreamcli rejects the installed tree"
    grep -q "<release version=\"$version\"" "$info" || fail "no release $version in the description"
    # Each screenshot is a picture of the repository, named by its path there.
    shots=$(grep -o '<image>[^<]*</image>' "$info" | sed 's#.*/raw/main/##; s#</image>##')
    [[ -n $shots ]] || fail "no screenshot"
    for shot in $shots; do
        file -b "$source/$shot" | grep -q '^PNG image data' || fail "screenshot $shot is not a PNG of the repository"
    done
    ;;
tree)
    # Exactly these files, the programs in bin and everything else under share.
    expected=("bin/vellumar" "bin/vellumar-batch" "share/applications/$id.desktop"
              "share/metainfo/$id.metainfo.xml" "share/doc/vellumar/copyright"
              "share/icons/hicolor/scalable/apps/$id.svg" "share/man/man1/vellumar.1" "share/man/man1/vellumar-batch.1"
              "share/bash-completion/completions/vellumar-batch" "share/zsh/vendor-completions/_vellumar-batch"
              "share/fish/vendor_completions.d/vellumar-batch.fish")
    for size in 16 32 48 64 128 256; do
        png=share/icons/hicolor/${size}x${size}/apps/$id.png
        expected+=("$png")
        # The icon is as large as its folder says.
        file -b "$tree/$png" | grep -q "^PNG image data, $size x $size," || fail "$png is not $size x $size"
    done
    actual=$(cd "$tree" && find . -type f | sed 's#^\./##' | sort)
    wanted=$(printf '%s\n' "${expected[@]}" | sort)
    [[ $actual == "$wanted" ]] || fail "installed files differ: $(diff <(echo "$wanted") <(echo "$actual") || true)"
    # The program runs from a prefix it was not built for.
    out=$("$tree/bin/vellumar-batch" --version) || fail "the installed vellumar-batch --version failed"
    [[ $out == *"$version"* ]] || fail "vellumar-batch --version says '$out'"
    ;;
*) fail "unknown check $check" ;;
esac
echo "package.$check: passed"
