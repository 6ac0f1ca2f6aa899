#!/usr/bin/env bash
# Checks that what ships is reproducible: builds the plug-in and the reference host a second
# time from the same sources, copied into another folder with a path of another length, and
# compares the two installs byte for byte with dist/ (which scripts/build.sh made). Also checks
# that neither file holds the folder it was built in. Exits non-zero on any difference.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
other="$root/build/reproducible/built-again-in-another-folder/sources"
rm -rf "$root/build/reproducible"
mkdir -p "$other"

# The sources as they stand in the working tree (tracked and new files, not ignored ones).
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -C "$other" -xf -

(cd "$other" && cmake --preset mingw -DISPELL_BUILD_TESTS=OFF >/dev/null &&
  cmake --build --preset mingw >/dev/null && cmake --install build/mingw --strip >/dev/null)

status=0
for file in ispell.dll plugin-host.exe; do
  if cmp -s "$root/dist/$file" "$other/dist/$file"; then
    echo "reproducible: $file is the same $(stat -c %s "$root/dist/$file") bytes from both folders"
  else
    echo "reproducible: $file differs between the two folders:"
    cmp "$root/dist/$file" "$other/dist/$file" | head -n 3 || true
    status=1
  fi
  for folder in "$root" "$other"; do
    if grep -q -a -F "$folder" "$root/dist/$file" "$other/dist/$file"; then
      echo "reproducible: $file holds the build folder $folder"
      status=1
    fi
  done
done
exit $status
