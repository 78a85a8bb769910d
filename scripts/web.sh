#!/usr/bin/env bash
# Installs what is missing, builds the web page into build/web/ (with build/web/zimbrots.html,
# the whole page in one file), and serves it on http://127.0.0.1:8000/ or the port given.
# Usage: scripts/web.sh [PORT]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh web
cmake --preset web >/dev/null
cmake --build --preset web
echo "The page in one file, to keep or open from the disk: $PWD/build/web/zimbrots.html"
exec python3 web/serve.py build/web "${1:-8000}"
