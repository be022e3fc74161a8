'use strict';
// Checks of one map page: what its text promises, then what the browser makes of it.

const fs = require('node:fs');
const { pathToFileURL } = require('node:url');
const { brief } = require('./report');
const { parseMapPage, parsePopup, curveLength, directionText, positionBox } = require('./pagetext');

const BASE_LAYER_LABELS = ['OpenStreetMap', 'OpenStreetMap Japan', '地理院地図(標準)', '地理院地図(淡色)', '地理院(空中写真)'];
const OVERLAY_LABELS = ['色別標高図', '陰影起伏図'];
const SETTLE_MS = 15000;

// Static checks: the popup of every polyline tells the same river as its tooltip, with the
// length of its own positions and the direction between its own stream-node markers; every
// marker names the stream or river of its polyline, in its colour.
function popupDisagreements(parsed, waterSystemCodes) {
  const markers = new Map(parsed.markers.map((m) => [`${m.number}${m.kind}`, m]));
  const fieldsByNumber = new Map();
  const problems = [];
  for (const path of parsed.paths.values()) {
    const fields = path.popup === undefined ? null : parsePopup(path.popup);
    if (!fields) {
      problems.push(`${path.variable}: popup has not the stream form: ${path.popup}`);
      continue;
    }
    if (path.tooltip !== `c-${fields.location} ${fields.riverName}`) {
      problems.push(`${path.variable}: tooltip ${JSON.stringify(path.tooltip)} names another stream than its popup`);
    }
    const length = curveLength(path.positions || []);
    if (Math.abs(length - fields.lengthKm) > 0.0011) {
      problems.push(`${path.variable}: popup length ${fields.lengthKm} km, positions give ${length.toFixed(3)} km`);
    }
    const start = markers.get(`${path.number}a`);
    const end = markers.get(`${path.number}b`);
    const direction = start && end ? directionText(start, end) : '';
    if (fields.direction !== direction) {
      problems.push(`${path.variable}: direction ${JSON.stringify(fields.direction)}, markers give ${JSON.stringify(direction)}`);
    }
    if (waterSystemCodes && !waterSystemCodes.has(String(Number(fields.waterSystemCode)))) {
      problems.push(`${path.variable}: water system ${fields.waterSystemCode} was not asked for`);
    }
    fieldsByNumber.set(path.number, { ...fields, color: path.color });
  }
  for (const marker of parsed.markers) {
    const fields = fieldsByNumber.get(marker.number);
    if (!fields) {
      problems.push(`${marker.variable}: no polyline of that number`);
      continue;
    }
    const node = marker.kind.length === 1 ? `c-${fields.location}` : fields.riverName;
    const text = `${node} ${marker.kind.endsWith('a') ? '始点' : '終点'}`;
    if (marker.tooltip !== text || marker.popup !== text || marker.color !== fields.color) {
      problems.push(`${marker.variable}: ${JSON.stringify(marker.tooltip)} in ${marker.color}, expected ${JSON.stringify(text)} in ${fields.color}`);
    }
  }
  return problems;
}

function boxesEqual(a, b) {
  if (!a || !b) return false;
  return ['minLat', 'maxLat', 'minLon', 'maxLon'].every((k) => Math.abs(a[k] - b[k]) < 5e-9);
}

// Polylines worth hovering (at least two distinct positions), spread evenly over the page.
function pickPaths(parsed, limit) {
  const drawable = [...parsed.paths.values()].filter((p) => {
    const pos = p.positions || [];
    return pos.some((q) => q[0] !== pos[0][0] || q[1] !== pos[0][1]);
  });
  return spread(drawable, limit);
}

function spread(items, limit) {
  if (items.length <= limit) return items;
  if (limit <= 1) return items.slice(0, limit);
  const picked = new Set();
  for (let i = 0; i < limit; i++) picked.add(items[Math.round((i * (items.length - 1)) / (limit - 1))]);
  return [...picked];
}

// River start and end markers (they carry the river name), spread over the page.
function pickRiverMarkers(parsed, limit) {
  return spread(parsed.markers.filter((m) => m.kind === 'ra' || m.kind === 'rb'), limit);
}

// A screen point on the rendered line of a polyline where nothing covers it, or null. Points are
// taken from the SVG path itself, so simplification and clipping by Leaflet do not matter.
function findHitPoint(variable) {
  const layer = window[variable];
  const element = layer && layer._path;
  if (!element || typeof element.getTotalLength !== 'function') return null;
  const total = element.getTotalLength();
  const matrix = element.getScreenCTM();
  if (!(total > 0) || !matrix) return null;
  const fractions = [0.5, 0.3, 0.7, 0.4, 0.6, 0.2, 0.8, 0.1, 0.9, 0.05, 0.95];
  for (const f of fractions) {
    const at = element.getPointAtLength(total * f);
    const p = new DOMPoint(at.x, at.y).matrixTransform(matrix);
    if (p.x < 5 || p.y < 5 || p.x > window.innerWidth - 5 || p.y > window.innerHeight - 5) continue;
    for (const [dx, dy] of [[0, 0], [0.5, 0], [-0.5, 0], [0, 0.5], [0, -0.5]]) {
      if (document.elementFromPoint(p.x + dx, p.y + dy) === element) return { x: p.x + dx, y: p.y + dy };
    }
  }
  return null;
}

// A point on the map where no river, marker, control or popup is.
function findEmptyPoint() {
  for (let y = 60; y < window.innerHeight - 60; y += 37) {
    for (let x = 60; x < window.innerWidth - 60; x += 41) {
      const e = document.elementFromPoint(x, y);
      if (e && !e.closest('.leaflet-interactive, .leaflet-control, .leaflet-popup, .leaflet-tooltip')) return { x, y };
    }
  }
  return null;
}

async function nextFrames(page) {
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
}

// A point to hover on a polyline or marker, zooming to it when it is hidden at the current view.
async function hoverPoint(page, variable) {
  let hit = await page.evaluate(findHitPoint, variable);
  if (!hit) {
    await page.evaluate((v) => {
      const layer = window[v];
      if (layer instanceof L.CircleMarker) map.setView(layer.getLatLng(), 17, { animate: false });
      else map.fitBounds(layer.getBounds(), { animate: false, maxZoom: 17 });
    }, variable);
    await nextFrames(page);
    hit = await page.evaluate(findHitPoint, variable);
  }
  return hit;
}

// The tooltip or popup content that is open (a closed one fades out for a moment before it is
// removed) compared with the HTML rendering of the text in the page.
function compareShown([kind, expected]) {
  const open = [...document.querySelectorAll(`.leaflet-${kind}`)].filter((e) => e.style.opacity !== '0');
  const element = open.length === 1 ? (kind === 'popup' ? open[0].querySelector('.leaflet-popup-content') : open[0]) : null;
  const want = new DOMParser().parseFromString(expected, 'text/html').body;
  return {
    ok: !!element && element.innerHTML === want.innerHTML,
    shown: element ? element.textContent : `${open.length} open`,
    want: want.textContent,
  };
}

function isOpen(kind) {
  return [...document.querySelectorAll(`.leaflet-${kind}`)].some((e) => e.style.opacity !== '0');
}

// Closes every popup and tooltip and waits until their elements are gone.
async function clearOverlays(page) {
  await page.evaluate(() => {
    map.closePopup();
    map.eachLayer((layer) => layer.closeTooltip && layer.closeTooltip());
  });
  await page.waitForFunction(() => !document.querySelector('.leaflet-tooltip, .leaflet-popup'), null, { timeout: 3000 });
}

// Hovers and clicks each picked polyline or marker; returns the mismatches found. (Page functions
// here return nothing: Leaflet's map methods return the map, which is slow to serialise.)
async function hoverAndClick(page, items, popupScreenshot) {
  const tooltipProblems = [];
  const popupProblems = [];
  const covered = [];
  for (const item of items) {
    // The mouse leaves the previous item first; a popup that panned the map may have left it off
    // the line without a mouseout, so whatever is still open is closed as well.
    const empty = await page.evaluate(findEmptyPoint);
    if (empty) await page.mouse.move(empty.x, empty.y);
    await clearOverlays(page);
    const hit = await hoverPoint(page, item.variable);
    if (!hit && item.kind) {
      // Markers of later streams drawn on the same node can hide a marker completely.
      covered.push(item.variable);
      continue;
    }
    if (!hit) {
      tooltipProblems.push(`${item.variable}: no visible point of it to hover`);
      continue;
    }
    await page.mouse.move(hit.x, hit.y);
    const tooltip = await page
      .waitForFunction(isOpen, 'tooltip', { timeout: 3000 })
      .then(() => page.evaluate(compareShown, ['tooltip', item.tooltip]))
      .catch(() => ({ ok: false, shown: null, want: item.tooltip }));
    if (!tooltip.ok) tooltipProblems.push(`${item.variable}: shown ${JSON.stringify(tooltip.shown)}, page has ${JSON.stringify(tooltip.want)}`);
    await page.mouse.click(hit.x, hit.y);
    const popup = await page
      .waitForFunction(isOpen, 'popup', { timeout: 3000 })
      .then(() => page.evaluate(compareShown, ['popup', item.popup]))
      .catch(() => ({ ok: false, shown: null, want: item.popup }));
    if (!popup.ok) popupProblems.push(`${item.variable}: shown ${JSON.stringify(popup.shown)}, page has ${JSON.stringify(popup.want)}`);
    if (popupScreenshot && item === items[0]) {
      await page
        .waitForFunction(() => getComputedStyle(document.querySelector('.leaflet-popup')).opacity === '1', null, { timeout: 3000 })
        .catch(() => {});
      await page.screenshot({ path: popupScreenshot });
    }
  }
  await clearOverlays(page);
  return { tooltipProblems, popupProblems, covered };
}

// Counts the layers on the map and their SVG elements, and checks every polyline of the text.
function countLayers(expectedPaths) {
  const result = { polylines: 0, circleMarkers: 0, svgPaths: 0, missing: [], wrongColor: [] };
  map.eachLayer((layer) => {
    if (layer instanceof L.CircleMarker) result.circleMarkers++;
    else if (layer instanceof L.Polyline) result.polylines++;
  });
  result.svgPaths = document.querySelectorAll('.leaflet-overlay-pane svg path').length;
  for (const [variable, color] of expectedPaths) {
    const layer = window[variable];
    if (!(layer instanceof L.Polyline) || !map.hasLayer(layer)) result.missing.push(variable);
    else if (!layer._path || layer._path.getAttribute('stroke') !== color) {
      result.wrongColor.push(`${variable} ${layer._path && layer._path.getAttribute('stroke')} instead of ${color}`);
    }
  }
  return result;
}

// Whether the view holds both ends of every polyline, and whether it is as close as fitting
// exactly those positions allows.
function checkView(variables) {
  const view = map.getBounds();
  const outside = [];
  const all = [];
  for (const variable of variables) {
    const latlngs = window[variable] ? window[variable].getLatLngs() : [];
    if (latlngs.length === 0) continue;
    all.push(...latlngs);
    for (const end of [latlngs[0], latlngs[latlngs.length - 1]]) {
      if (!view.contains(end)) outside.push(`${variable} ${end.lat},${end.lng}`);
    }
  }
  const fittingZoom = all.length ? map.getBoundsZoom(L.latLngBounds(all)) : null;
  return { outside, zoom: map.getZoom(), fittingZoom, view: view.toBBoxString() };
}

function layerControlLabels() {
  const labels = (selector) => [...document.querySelectorAll(`${selector} label`)].map((l) => l.textContent.trim());
  const checked = [...document.querySelectorAll('.leaflet-control-layers-base label')]
    .filter((l) => l.querySelector('input').checked)
    .map((l) => l.textContent.trim());
  return {
    base: labels('.leaflet-control-layers-base'),
    overlays: labels('.leaflet-control-layers-overlays'),
    checked,
  };
}

// Opens the layer control as a user does and switches one base layer and one overlay on.
async function useLayerControl(page, browser) {
  const tilesBefore = browser.log.tiles;
  await page.hover('.leaflet-control-layers');
  await page.getByText('地理院地図(淡色)', { exact: true }).click({ timeout: 3000 });
  await page.getByText('色別標高図', { exact: true }).click({ timeout: 3000 });
  await page.waitForLoadState('networkidle', { timeout: SETTLE_MS }).catch(() => {});
  const on = await page.evaluate(() => ({ pale: map.hasLayer(gsip), relief: map.hasLayer(gsir), osmjp: map.hasLayer(osmjp) }));
  return { ...on, newTiles: browser.log.tiles - tilesBefore };
}

// Opens a map page in the browser and waits until its map has been drawn.
async function openMapPage(browser, parsed, file) {
  browser.resetLog();
  browser.setTilePatterns(parsed.tileLayers.map((t) => t.pattern));
  const { page, events } = await browser.newPage();
  await page.goto(pathToFileURL(file).href, { waitUntil: 'load', timeout: 60000 });
  await page
    .waitForFunction(() => typeof map !== 'undefined' && map._loaded, null, { timeout: SETTLE_MS })
    .catch(() => {});
  await page.waitForLoadState('networkidle', { timeout: SETTLE_MS }).catch(() => {});
  return { page, events };
}

// All checks of one map page. `options`: label, screenshot (png path), reportedPathCount
// (hydrochart's "(path=N)"), waterSystemCodes (Set of the codes asked for), interactLimit
// (how many polylines to hover and click), markerLimit (how many river markers), riverNames
// (names the page must carry exactly), everyMarkerVisible (no picked marker may be hidden),
// title (the title the browser must show).
async function checkMapPage(report, browser, file, options) {
  const label = options.label;
  const text = fs.readFileSync(file, 'utf8');
  const parsed = parseMapPage(text);
  const paths = [...parsed.paths.values()];

  report.check(
    `${label}: page text has the map page form`,
    parsed.problems.length === 0 && parsed.tileLayers.length === 7 && !!parsed.script && !!parsed.styleSheet,
    brief([...parsed.problems, `${parsed.tileLayers.length} tile layers`, `script ${parsed.script}`, `style ${parsed.styleSheet}`]),
  );
  if (options.reportedPathCount !== undefined) {
    report.check(
      `${label}: page holds as many polylines as hydrochart reported (path=${options.reportedPathCount})`,
      parsed.pathCount === options.reportedPathCount && paths.length === parsed.pathCount,
      `${parsed.pathCount} "var myPath" lines, ${paths.length} complete polylines`,
    );
  }
  report.check(
    `${label}: fitBounds box is the box of all polyline positions`,
    boxesEqual(parsed.fitBounds, positionBox(paths)),
    `fitBounds ${JSON.stringify(parsed.fitBounds)}, positions ${JSON.stringify(positionBox(paths))}`,
  );
  const disagreements = popupDisagreements(parsed, options.waterSystemCodes);
  report.check(`${label}: every popup agrees with its polyline (name, length, direction, water system)`, disagreements.length === 0, brief(disagreements));
  if (options.riverNames) {
    // Tooltips and popups are HTML: a "<" of a name is written as "&lt;" so that it shows as text.
    const asShown = (text) => text.replace(/&lt;/g, '<');
    const tooltips = new Set(paths.map((p) => asShown((p.tooltip || '').replace(/^c-\d+ /, ''))));
    const popups = paths.map((p) => asShown(p.popup || ''));
    const lost = options.riverNames.filter((n) => !tooltips.has(n) || !popups.some((p) => p.includes(`所属河川:${n}<br>`)));
    report.check(`${label}: script strings carry every river name, shown as text`, lost.length === 0, `lost: ${brief(lost.map((n) => JSON.stringify(n)))}`);
  }

  const opened = await report.guard(`${label}: page opens in the browser`, () => openMapPage(browser, parsed, file));
  if (!opened) return;
  const { page, events } = opened;
  const step = (name, body) => report.guard(`${label}: ${name}`, body);
  try {
    await step('loads', async () => {
      const errors = [...events.pageErrors.map((e) => `page error: ${e}`), ...events.consoleErrors.map((e) => `console: ${e}`)];
      const pwned = await page.evaluate(() => typeof window.__pwned);
      report.check(`${label}: loads with no script error and runs no injected script`, errors.length === 0 && pwned === 'undefined', brief([...errors, `__pwned is ${pwned}`]));
      const served = new Set(browser.log.leaflet);
      report.check(
        `${label}: Leaflet script and style sheet load (from the local package)`,
        events.failedLoads.length === 0 && served.has('leaflet.js') && served.has('leaflet.css'),
        brief([...events.failedLoads, `served: ${[...served].join(',') || 'nothing'}`]),
      );
      if (options.screenshot) await page.screenshot({ path: options.screenshot });
      if (options.title !== undefined) {
        const title = await page.title();
        report.check(`${label}: browser shows the title ${JSON.stringify(options.title)}`, title === options.title, JSON.stringify(title));
      }
    });

    await step('layers', async () => {
      const counts = await page.evaluate(countLayers, paths.map((p) => [p.variable, p.color]));
      report.check(
        `${label}: map holds ${parsed.pathCount} polylines, one per polyline of the page, in its colour`,
        counts.polylines === parsed.pathCount && counts.missing.length === 0 && counts.wrongColor.length === 0,
        `${counts.polylines} polylines; missing ${brief(counts.missing)}; colour ${brief(counts.wrongColor)}`,
      );
      report.check(
        `${label}: map holds ${parsed.circleMarkerCalls} circle markers (SVG paths in the overlay pane: polylines + markers)`,
        counts.circleMarkers === parsed.circleMarkerCalls && counts.svgPaths === parsed.pathCount + parsed.circleMarkerCalls,
        `${counts.circleMarkers} circle markers, ${counts.svgPaths} SVG paths`,
      );
    });

    await step('view', async () => {
      const view = await page.evaluate(checkView, paths.map((p) => p.variable));
      report.check(
        `${label}: view fits the rivers (both ends of every polyline inside, zoom as close as the rivers allow)`,
        view.outside.length === 0 && view.fittingZoom !== null && view.zoom === view.fittingZoom,
        `view ${view.view} zoom ${view.zoom} (fitting zoom ${view.fittingZoom}); outside: ${brief(view.outside)}`,
      );
    });

    await step('layer control', async () => {
      const control = await page.evaluate(layerControlLabels);
      report.check(
        `${label}: layer control lists the five base layers and two overlays, OpenStreetMap Japan shown`,
        JSON.stringify(control.base) === JSON.stringify(BASE_LAYER_LABELS) &&
          JSON.stringify(control.overlays) === JSON.stringify(OVERLAY_LABELS) &&
          JSON.stringify(control.checked) === JSON.stringify(['OpenStreetMap Japan']),
        JSON.stringify(control),
      );
    });

    await step('tooltips and popups', async () => {
      const picked = pickPaths(parsed, options.interactLimit ?? 10);
      const riverMarkers = pickRiverMarkers(parsed, options.markerLimit ?? 2);
      const popupShot = options.screenshot && options.screenshot.replace(/\.png$/, '-popup.png');
      const shown = await hoverAndClick(page, [...picked, ...riverMarkers], popupShot);
      const hovered = riverMarkers.length - shown.covered.length;
      const markersShown = options.everyMarkerVisible ? shown.covered.length === 0 : riverMarkers.length === 0 || hovered > 0;
      report.check(
        `${label}: hovering ${picked.length} polylines and ${hovered} river markers shows each one's tooltip text` +
          (shown.covered.length ? ` (${shown.covered.length} markers hidden under later ones)` : ''),
        picked.length > 0 && shown.tooltipProblems.length === 0 && markersShown,
        brief([...shown.tooltipProblems, ...shown.covered.map((v) => `${v} hidden`)]) || 'no polyline to hover',
      );
      report.check(
        `${label}: clicking them opens each one's popup (river name, codes, length, direction)`,
        picked.length > 0 && shown.popupProblems.length === 0,
        brief(shown.popupProblems) || 'no polyline to click',
      );
    });

    await step('layer switch', async () => {
      const switched = await useLayerControl(page, browser);
      report.check(
        `${label}: layer control switches to 地理院地図(淡色) and adds 色別標高図`,
        switched.pale && switched.relief && !switched.osmjp && switched.newTiles > 0,
        JSON.stringify(switched),
      );
    });

    await step('after use', async () => {
      const pwned = await page.evaluate(() => typeof window.__pwned);
      const errors = events.pageErrors.concat(events.consoleErrors);
      report.check(`${label}: no injected script ran and no script error occurred while in use`, pwned === 'undefined' && errors.length === 0, `__pwned is ${pwned}; ${brief(errors)}`);
    });
    report.check(
      `${label}: no request left the machine (${browser.log.tiles} tiles answered with a blank image)`,
      browser.log.refused.length === 0 && browser.log.tiles > 0,
      `refused: ${brief(browser.log.refused)}`,
    );
  } finally {
    await page.close();
  }
}

module.exports = { checkMapPage, openMapPage, countLayers, layerControlLabels, BASE_LAYER_LABELS, OVERLAY_LABELS };
