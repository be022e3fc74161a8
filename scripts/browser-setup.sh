#!/usr/bin/env bash
# Installs what the browser tests need when it is missing: Debian's Chromium, a Japanese font
# (so that screenshots show the labels), and the npm packages of tests/browser.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(chromium fonts-ipafont-gothic)
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)
scripts/setup.sh --only "${packages[@]}"

# Never let an npm package fetch a browser of its own: the tests drive /usr/bin/chromium.
if [ ! -d tests/browser/node_modules/playwright-core ] || [ ! -d tests/browser/node_modules/leaflet ]; then
  (cd tests/browser && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
fi
