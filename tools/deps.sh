#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and any named as arguments; quick when all
# are present.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libjpeg62-turbo-dev
          libgtest-dev googletest fonts-dejavu-core fonts-liberation xvfb xauth clang-format
          python3-jsonschema parallel libimage-exiftool-perl fusefat dosfstools libjpeg-turbo-progs liblcms2-dev
          libgs-common librsvg2-bin desktop-file-utils appstream lintian dpkg-dev file man-db bash-completion zsh
          fish qt6-tools-dev qt6-l10n-tools qt6-translations-l10n "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
