'use strict';
// Headless Chromium that never reaches the network: the Leaflet files come from the npm package,
// tile images are answered with a blank picture, and every other outside request is refused and
// remembered so that the checks can show it.

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

const CHROMIUM = '/usr/bin/chromium';
const LEAFLET_DIST = path.join(path.dirname(require.resolve('leaflet/package.json')), 'dist');

// A 1x1 transparent PNG.
const BLANK_PNG = Buffer.from(
  'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAQAAAC1HAwCAAAAC0lEQVR42mNkYAAAAAYAAjCB0C8AAAAASUVORK5CYII=',
  'base64',
);

const CONTENT_TYPES = {
  '.js': 'application/javascript',
  '.css': 'text/css',
  '.png': 'image/png',
  '.map': 'application/json',
};

const CHROMIUM_ARGS = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--no-proxy-server',
  // Nothing resolves, so even a request that escaped interception could not connect anywhere.
  '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE localhost',
];

// The file of the local Leaflet package that stands for a CDN URL ".../leaflet@1.4.0/dist/NAME".
function leafletFileFor(url) {
  const m = /^https:\/\/[^/]+\/leaflet@1\.4\.0\/dist\/([A-Za-z0-9_./-]+)$/.exec(url.split(/[?#]/)[0]);
  if (!m || m[1].includes('..')) return null;
  const file = path.join(LEAFLET_DIST, m[1]);
  return fs.existsSync(file) ? file : null;
}

function isLocal(url) {
  return /^(file|data|blob|about):/.test(url);
}

class OfflineBrowser {
  static async launch() {
    const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'w05-browser-profile-'));
    const context = await chromium.launchPersistentContext(userDataDir, {
      executablePath: CHROMIUM,
      headless: true,
      args: CHROMIUM_ARGS,
      viewport: { width: 1280, height: 800 },
      serviceWorkers: 'block',
    });
    const browser = new OfflineBrowser(context, userDataDir);
    await context.route('**/*', (route) => browser.answer(route));
    return browser;
  }

  constructor(context, userDataDir) {
    this.context = context;
    this.userDataDir = userDataDir;
    this.tilePatterns = [];
    this.resetLog();
  }

  // Requests seen since the last reset: served from the Leaflet package, answered as tiles,
  // refused.
  resetLog() {
    this.log = { leaflet: [], tiles: 0, refused: [] };
  }

  // Tile URL patterns of the page about to be opened (from its tileLayer lines).
  setTilePatterns(patterns) {
    this.tilePatterns = patterns;
  }

  async answer(route) {
    const url = route.request().url();
    if (isLocal(url)) return route.continue();
    const leafletFile = leafletFileFor(url);
    if (leafletFile) {
      this.log.leaflet.push(path.basename(leafletFile));
      const type = CONTENT_TYPES[path.extname(leafletFile)] || 'application/octet-stream';
      return route.fulfill({ status: 200, contentType: type, body: fs.readFileSync(leafletFile) });
    }
    const bare = url.split(/[?#]/)[0];
    if (/\.(png|jpe?g)$/i.test(bare) && this.tilePatterns.some((p) => p.test(bare))) {
      this.log.tiles++;
      return route.fulfill({ status: 200, contentType: 'image/png', body: BLANK_PNG });
    }
    this.log.refused.push(url);
    return route.abort('blockedbyclient');
  }

  // A new tab that records script errors, console errors and failed script or style requests.
  async newPage() {
    const page = await this.context.newPage();
    const events = { pageErrors: [], consoleErrors: [], failedLoads: [] };
    page.on('pageerror', (error) => events.pageErrors.push(String(error.message || error)));
    page.on('console', (message) => {
      if (message.type() === 'error') events.consoleErrors.push(message.text());
    });
    page.on('requestfailed', (request) => {
      const type = request.resourceType();
      if (type === 'script' || type === 'stylesheet') {
        events.failedLoads.push(`${request.url()} (${request.failure()?.errorText})`);
      }
    });
    page.on('response', (response) => {
      const type = response.request().resourceType();
      if ((type === 'script' || type === 'stylesheet') && response.status() >= 400) {
        events.failedLoads.push(`${response.url()} (status ${response.status()})`);
      }
    });
    return { page, events };
  }

  async close() {
    await this.context.close();
    fs.rmSync(this.userDataDir, { recursive: true, force: true });
  }
}

module.exports = { OfflineBrowser, CHROMIUM, leafletFileFor };
