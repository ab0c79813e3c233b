#!/usr/bin/env bash
# Builds dustr and the floor program, then runs the benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default
mkdir -p build/default/bench
g++ -std=c++20 -O2 -Wall -Wextra -o build/default/bench/floor bench/floor.cpp
python3 bench/bench.py build/default "$@"
