#!/usr/bin/env bash
# Builds and runs every test: the Linux build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows program
# under Wine when the MinGW-w64 cross compiler is installed.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --workflow --preset default
cmake --workflow --preset sanitize
if command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  cmake --workflow --preset windows
else
  echo "Windows build skipped: install g++-mingw-w64-x86-64-posix and wine64"
fi
