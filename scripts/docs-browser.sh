#!/usr/bin/env bash
# scripts/docs-browser.sh: build the documentation, then let headless Chromium (Debian's
# package: apt-get install chromium) take screenshots of the home page and of the API
# reference page into build/, to look at.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/docs.sh
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "docs-browser: no chromium on PATH (apt-get update && apt-get install -y chromium)" >&2
  exit 1
fi
html="$PWD/build/docs/html"
shoot() {  # shoot PAGE PNG
  "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1280,1600 \
    --screenshot="$PWD/build/$2" "file://$html/$1" 2>/dev/null
  echo "build/$2 <- $1"
}
shoot index.html docs-home.png
shoot api/vantorel/index.html docs-api.png
