#!/usr/bin/env bash
# Checks that the project's C++ files are laid out as .clang-format says, changing nothing.
# Without arguments every tracked C++ file of the code folders is checked; with arguments only
# those files. `clang-format -i FILE...` lays a file out.
set -euo pipefail
cd "$(dirname "$0")/.."

command -v clang-format >/dev/null || bash scripts/setup.sh

if [ $# -gt 0 ]; then
  files=("$@")
else
  # Tracked files only: build folders and anything generated stay out.
  mapfile -t files < <(git ls-files -- \
    'app/*.cpp' 'app/*.h' 'controls/*.cpp' 'controls/*.h' 'ftp/*.cpp' 'ftp/*.h' \
    'net/*.cpp' 'net/*.h' 'platform/*.cpp' 'platform/*.h' 'tests/*.cpp' 'tests/*.h' \
    'bench/*.cpp' 'bench/*.h')
fi

# Every file is looked at; any one out of shape fails the check (-Werror).
clang-format --dry-run -Werror "${files[@]}"
echo "format: ${#files[@]} files checked"
