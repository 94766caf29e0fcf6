#!/usr/bin/env bash
# Builds the Debian package with the release preset and checks it: lintian finds no error, its
# dependencies were worked out from the programs' libraries, and, as root, dpkg installs it, the
# installed vellumar-batch reduces a photo, and dpkg removes it again.
set -euo pipefail
cd "$(dirname "$0")/.."
fail() { echo "package_check: FAIL: $*" >&2; exit 1; }

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target vellumar vellumar-batch vellumar_manual_files
rm -f build/release/vellumar_*.deb
(cd build/release && cpack -G DEB >/dev/null)
debs=(build/release/vellumar_*.deb)
deb=${debs[0]}
echo "package_check: $deb, $(stat -c %s "$deb") bytes"
# The manual pages compressed, and the completions where each shell looks (listed once: grep -q would
# close the pipe on dpkg-deb).
contents=$(dpkg-deb -c "$deb")
for file in usr/share/man/man1/vellumar-batch.1.gz usr/share/man/man1/vellumar.1.gz \
    usr/share/bash-completion/completions/vellumar-batch usr/share/zsh/vendor-completions/_vellumar-batch \
    usr/share/fish/vendor_completions.d/vellumar-batch.fish; do
    grep -q " \./$file\$" <<<"$contents" || fail "$file is not in the package"
done

# Errors fail the check; the warnings and notes that remain are shown.
lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"
depends=$(dpkg-deb --field "$deb" Depends)
for lib in libqt6widgets6 libqt6core6 libjpeg62-turbo libc6; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
! dpkg-deb --contents "$deb" | grep -E 'share/man/.*\.[0-9]$' || fail "an uncompressed manual page"

if [[ $(id -u) != 0 ]]; then
    echo "package_check: skipped installing the package: dpkg -i needs root"
    exit 0
fi
work=$(mktemp -d)
trap 'dpkg -r vellumar >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
dpkg -i "$deb" >/dev/null
/usr/bin/vellumar-batch --version
! ldd /usr/bin/vellumar /usr/bin/vellumar-batch | grep 'not found' || fail "a library is missing"
mkdir "$work/src" "$work/dst"
{ printf 'P6\n64 48\n255\n'; head -c $((64 * 48 * 3)) /dev/urandom; } | cjpeg -quality 90 >"$work/src/photo.jpg"
/usr/bin/vellumar-batch --resize 50 --quality 80 "$work/src" "$work/dst" >"$work/log" || fail "the run failed: $(cat "$work/log")"
size=$(exiftool -s3 -ImageSize "$work/dst/photo.jpg")
[[ $size == 32x24 ]] || fail "the installed vellumar-batch wrote a photo of $size, not 32x24"
dpkg -r vellumar >/dev/null
[[ ! -e /usr/bin/vellumar-batch ]] || fail "dpkg -r left /usr/bin/vellumar-batch"
echo "package_check: installed, ran and removed $deb"
