#!/usr/bin/env node
'use strict';
// Times map pages in headless Chromium (offline, as the browser tests run it): for each page the
// load (from the start of navigation until the first frame after the load event), one zoom step
// in from the fitted view and one pan at that zoom (each from the call until the second frame
// after it, so that the painting counts). The pages take turns, run by run; prints the median of
// each figure, the DOM node count and the ratios of every page to the first.
//
//   node bench/atlas_timing.js [--runs N] PAGE.htm PAGE.htm...

const fs = require('node:fs');
const path = require('node:path');
const { pathToFileURL } = require('node:url');

const BROWSER_DIR = path.join(__dirname, '..', 'tests', 'browser');
const { parseMapPage } = require(path.join(BROWSER_DIR, 'lib', 'pagetext'));

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

// Resolves after the second animation frame from now: the frame that follows the one in which
// the change was painted.
function afterPaint() {
  return new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
}

async function timePage(browser, file) {
  const text = fs.readFileSync(file, 'utf8');
  browser.resetLog();
  browser.setTilePatterns(parseMapPage(text).tileLayers.map((t) => t.pattern));
  const { page, events } = await browser.newPage();
  try {
    const start = Date.now();
    await page.goto(pathToFileURL(file).href, { waitUntil: 'load', timeout: 120000 });
    await page.evaluate(afterPaint);
    const load = (Date.now() - start) / 1000;
    const step = await page.evaluate(async () => {
      const measure = async (change) => {
        const t0 = performance.now();
        change();
        await new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
        return (performance.now() - t0) / 1000;
      };
      const zoom = await measure(() => map.setZoom(map.getZoom() + 1, { animate: false }));
      const pan = await measure(() => map.panBy([300, 200], { animate: false }));
      return { zoom, pan, nodes: document.getElementsByTagName('*').length };
    });
    const errors = [...events.pageErrors, ...events.consoleErrors];
    if (errors.length > 0) throw new Error(`${path.basename(file)}: ${errors.join('; ')}`);
    return { load, ...step };
  } finally {
    await page.close();
  }
}

async function main() {
  const args = process.argv.slice(2);
  let runs = 5;
  const pages = [];
  for (let i = 0; i < args.length; i++) {
    if (args[i] === '--runs') runs = Number(args[++i]);
    else pages.push(path.resolve(args[i]));
  }
  if (pages.length === 0 || !(runs > 0)) {
    console.log('usage: node bench/atlas_timing.js [--runs N] PAGE.htm PAGE.htm...');
    return 2;
  }
  const { OfflineBrowser } = require(path.join(BROWSER_DIR, 'lib', 'browser'));
  const browser = await OfflineBrowser.launch();
  const figures = pages.map(() => ({ load: [], zoom: [], pan: [], nodes: 0 }));
  try {
    for (let run = 0; run < runs; run++) {
      for (let p = 0; p < pages.length; p++) {
        const t = await timePage(browser, pages[p]);
        for (const key of ['load', 'zoom', 'pan']) figures[p][key].push(t[key]);
        figures[p].nodes = t.nodes;
      }
    }
  } finally {
    await browser.close();
  }
  const rows = pages.map((file, p) => ({
    name: path.basename(file),
    megabytes: fs.statSync(file).size / 1048576,
    nodes: figures[p].nodes,
    load: median(figures[p].load),
    zoom: median(figures[p].zoom),
    pan: median(figures[p].pan),
  }));
  console.log(`median of ${runs} runs, seconds`);
  console.log(`${'page'.padEnd(24)} ${'MB'.padStart(7)} ${'DOM'.padStart(7)} ${'load'.padStart(7)} ${'zoom'.padStart(7)} ${'pan'.padStart(7)}`);
  for (const r of rows) {
    console.log(
      `${r.name.padEnd(24)} ${r.megabytes.toFixed(1).padStart(7)} ${String(r.nodes).padStart(7)} ` +
        `${r.load.toFixed(3).padStart(7)} ${r.zoom.toFixed(3).padStart(7)} ${r.pan.toFixed(3).padStart(7)}`,
    );
  }
  for (const r of rows.slice(1)) {
    const ratio = (key) => r[key] / rows[0][key];
    console.log(
      `${r.name} / ${rows[0].name}: load ${ratio('load').toFixed(2)}, zoom ${ratio('zoom').toFixed(2)}, pan ${ratio('pan').toFixed(2)}`,
    );
  }
  console.log(`RESULT ${JSON.stringify(rows)}`);
  return 0;
}

main().then(
  (status) => process.exit(status),
  (error) => {
    console.log(`atlas_timing.js: ${error && error.stack ? error.stack : error}`);
    process.exit(1);
  },
);
