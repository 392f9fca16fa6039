#!/usr/bin/env bash
# Installs the dependencies, builds, and starts the program on the shipped example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec bash scripts/demo.sh
