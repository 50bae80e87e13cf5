#!/usr/bin/env bash
# Makes the Windows zip from the cross builds (made or brought up to date
# with scripts/build-windows.sh):
#   OUT_DIR/vortigen-VERSION-windows.zip, holding vortigen-VERSION-windows/
#     win32/dynamic.dll, win32/fourier.dll   for 32-bit editors
#     win64/dynamic.dll, win64/fourier.dll   for 64-bit editors
#     README.txt    how to install them in the editor (windows/README.txt)
#     LICENSE.txt
#   scripts/package-windows.sh [OUT_DIR]     (default build-windows-zip)
# Prints the zip's path. The texts get Windows line ends.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build-windows-zip}")
version=$(scripts/project-version.sh)
name="vortigen-$version-windows"

scripts/build-windows.sh >/dev/null
rm -rf "${out:?}/$name" "$out/$name.zip"
mkdir -p "$out/$name/win32" "$out/$name/win64"
# Without their debugging sections (a fifth of the size); the code is
# the code the windows tier tests.
for bits in 32 64; do
  strip=$([ "$bits" = 32 ] && echo i686 || echo x86_64)-w64-mingw32-strip
  for dll in dynamic.dll fourier.dll; do
    "$strip" --strip-debug -o "$out/$name/win$bits/$dll" "build-win$bits/$dll"
  done
done
sed "s/@VERSION@/$version/; s/\$/\r/" windows/README.txt >"$out/$name/README.txt"
sed 's/$/\r/' LICENSE >"$out/$name/LICENSE.txt"
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "$out/$name.zip"
