'use strict';
// Checks of an atlas page in the browser against the map page of the same selection, whose text
// (read by pagetext.js) says what the atlas must show: the same lines in the same colours, the
// same tooltip and popup texts, the same markers, the same view; and the atlas' own legend and
// search.

const fs = require('node:fs');
const { brief } = require('./report');
const { openMapPage, layerControlLabels, BASE_LAYER_LABELS, OVERLAY_LABELS } = require('./mapchecks');
const { parseMapPage, parsePopup } = require('./pagetext');
// The search's own folding of names (the page's script runs under Node as well).
const { fold } = require('../../../hydrochart/atlas/atlas.js');

// Zoom from which the atlas shows node markers (MARKER_ZOOM of atlas.js).
const MARKER_ZOOM = 13;
const FILL_OPACITY = { a: 0, b: 1, ra: 0, rb: 1 };

// In the page: helpers the checks call, on window.__atlasTest.
function installHelpers() {
  const lines = () => {
    const found = [];
    map.eachLayer((layer) => {
      if (layer instanceof L.Polyline && !(layer instanceof L.CircleMarker) && layer.feature) found.push(layer);
    });
    return found;
  };
  const markers = () => {
    const found = [];
    map.eachLayer((layer) => {
      if (layer instanceof L.CircleMarker) found.push(layer);
    });
    return found;
  };
  const shown = (kind) => {
    const open = [...document.querySelectorAll(`.leaflet-${kind}`)].filter((e) => e.style.opacity !== '0');
    if (open.length !== 1) return `${open.length} open`;
    return (kind === 'popup' ? open[0].querySelector('.leaflet-popup-content') : open[0]).innerHTML;
  };
  // The tooltip and popup that open for a layer, as HTML, opened through the layer's events as
  // a pointer would open them.
  const texts = (layer) => {
    map.eachLayer((other) => other.closeTooltip && other.closeTooltip());
    const latlng = layer.getLatLng ? layer.getLatLng() : layer.getCenter();
    layer.fire('mouseover', { latlng }, true);
    const tooltip = shown('tooltip');
    layer.fire('mouseout', { latlng }, true);
    layer.fire('click', { latlng }, true);
    const popup = shown('popup');
    map.closePopup();
    return { tooltip, popup };
  };
  const asHtml = (text) => new DOMParser().parseFromString(text, 'text/html').body.innerHTML;
  const bounds = (positions) => L.latLngBounds(positions.map(([lat, lon]) => [lat, lon]));
  // Whether the view holds every position and is no more than one zoom step wider than fitting
  // them exactly allows.
  const fits = (positions) => {
    const box = bounds(positions);
    const view = map.getBounds();
    const outside = positions.filter(([lat, lon]) => !view.contains([lat, lon])).length;
    return { outside, zoom: map.getZoom(), fitting: map.getBoundsZoom(box) };
  };
  const legend = () =>
    [...document.querySelectorAll('.atlas-system')].map((system) => ({
      name: system.querySelector('.atlas-system-name').textContent,
      hidden: system.classList.contains('atlas-hidden'),
      rivers: [...system.querySelectorAll('.atlas-river')].map((river) => ({
        name: river.querySelector('.atlas-river-name').textContent,
        code: river.querySelector('.atlas-code').textContent,
        colors: [...river.querySelectorAll('.atlas-swatch')].map((s) => s.style.backgroundColor),
        hidden: river.classList.contains('atlas-hidden'),
        on: river.classList.contains('atlas-on'),
      })),
    }));
  // A point on line `i` where it is the canvas under the pointer, zooming to the line when it
  // has none at the current view; null when it has none either way.
  const pointOn = (i) => {
    const line = lines()[i];
    const find = () => {
      const latlngs = line.getLatLngs();
      for (let k = 0; k + 1 < latlngs.length; k++) {
        const a = map.latLngToContainerPoint(latlngs[k]);
        const b = map.latLngToContainerPoint(latlngs[k + 1]);
        const x = (a.x + b.x) / 2;
        const y = (a.y + b.y) / 2;
        const under = document.elementFromPoint(x, y);
        if (a.distanceTo(b) > 6 && under && under.tagName === 'CANVAS') return { x, y };
      }
      return null;
    };
    const found = find();
    if (found) return found;
    map.fitBounds(line.getBounds(), { animate: false, maxZoom: 17 });
    return find();
  };
  // The text of the one tooltip or popup open, or null.
  const openText = (kind) => {
    const open = [...document.querySelectorAll(`.leaflet-${kind}`)].filter((e) => e.style.opacity !== '0');
    return open.length === 1 ? open[0].textContent : null;
  };
  window.__atlasTest = { lines, markers, texts, asHtml, fits, legend, pointOn, openText };
}

// "#rrggbb" as the browser gives a colour back from a style ("rgb(r, g, b)").
function rgb(color) {
  const n = parseInt(color.slice(1), 16);
  return `rgb(${(n >> 16) & 255}, ${(n >> 8) & 255}, ${n & 255})`;
}

// The rivers of the map page in page order, by water system: code, name, colours, positions.
function riversOfMapPage(parsed) {
  const systems = new Map();
  for (const path of parsed.paths.values()) {
    const fields = parsePopup(path.popup);
    if (!fields) continue;
    if (!systems.has(fields.waterSystemCode)) systems.set(fields.waterSystemCode, new Map());
    const rivers = systems.get(fields.waterSystemCode);
    if (!rivers.has(fields.riverCode)) rivers.set(fields.riverCode, { code: fields.riverCode, name: fields.riverName, colors: [], positions: [] });
    const river = rivers.get(fields.riverCode);
    if (!river.colors.includes(path.color)) river.colors.push(path.color);
    river.positions.push(...(path.positions || []));
  }
  return systems;
}

// Waits until the map has taken the view that the last action gave it: a fitted view is
// animated from the next frame on.
async function settle(page) {
  const frames = () => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  await frames();
  await page.waitForFunction(() => !map._animatingZoom && !(map._panAnim && map._panAnim._inProgress), null, { timeout: 5000 });
  await frames();
}

// Types into the search box and presses Enter.
async function search(page, text) {
  await page.fill('.atlas-search', text);
  await page.press('.atlas-search', 'Enter');
  await settle(page);
}

// All checks of an atlas page `file` against the map page `mapFile` of the same selection.
// `options`: label, title, screenshot (png path of the page as first shown; "-popup" and
// "-phone" variants are written too), names (river names the legend must show as text),
// searches ([{ query, expected: [river names] }] beyond the kanji name it finds itself).
async function checkAtlasPage(report, browser, file, mapFile, options) {
  const label = options.label;
  const mapParsed = parseMapPage(fs.readFileSync(mapFile, 'utf8'));
  const paths = [...mapParsed.paths.values()];
  const atlasText = fs.readFileSync(file, 'utf8');
  const parsed = parseMapPage(atlasText);
  report.check(
    `${label}: page text has the map page's frame and no statement per stream`,
    parsed.tileLayers.length === 7 && parsed.script === mapParsed.script && parsed.styleSheet === mapParsed.styleSheet &&
      parsed.pathCount === 0 && !/^var marker\d+/m.test(atlasText) && !/\.bind(Tooltip|Popup)\("/.test(atlasText),
    `${parsed.tileLayers.length} tile layers, ${parsed.pathCount} polyline statements`,
  );

  // The view the map page opens on, for comparison.
  const mapView = await (async () => {
    const { page } = await openMapPage(browser, mapParsed, mapFile);
    try {
      return await page.evaluate(() => ({ center: map.getCenter(), zoom: map.getZoom() }));
    } finally {
      await page.close();
    }
  })();

  const { page, events } = await openMapPage(browser, parsed, file);
  const step = (name, body) => report.guard(`${label}: ${name}`, body);
  try {
    await page.evaluate(installHelpers);
    await step('loads', async () => {
      const errors = [...events.pageErrors, ...events.consoleErrors, ...events.failedLoads];
      const state = await page.evaluate(() => ({ pwned: typeof window.__pwned, title: document.title }));
      report.check(`${label}: loads with no script or console error and runs no injected script`, errors.length === 0 && state.pwned === 'undefined', brief([...errors, `__pwned is ${state.pwned}`]));
      if (options.title !== undefined) report.check(`${label}: browser shows the title`, state.title === options.title, JSON.stringify(state.title));
      if (options.screenshot) await page.screenshot({ path: options.screenshot });
    });

    await step('lines', async () => {
      const drawn = await page.evaluate(() => ({
        colors: __atlasTest.lines().map((l) => l.options.color),
        onCanvas: __atlasTest.lines().every((l) => l._renderer instanceof L.Canvas),
        svgPaths: document.querySelectorAll('.leaflet-overlay-pane svg path').length,
        canvases: document.querySelectorAll('.leaflet-overlay-pane canvas').length,
        markers: __atlasTest.markers().length,
        zoom: map.getZoom(),
      }));
      report.check(
        `${label}: ${paths.length} polylines, as many as the map page, all on one canvas`,
        drawn.colors.length === paths.length && paths.length > 0 && drawn.onCanvas && drawn.svgPaths === 0 && drawn.canvases === 1,
        `${drawn.colors.length} polylines, ${drawn.svgPaths} SVG paths, ${drawn.canvases} canvases`,
      );
      const wrong = paths.filter((p, i) => drawn.colors[i] !== p.color).map((p) => p.variable);
      report.check(`${label}: each polyline in the colour of the map page's, in its order`, wrong.length === 0, brief(wrong));
      report.check(
        `${label}: no node marker below zoom ${MARKER_ZOOM} (zoom ${drawn.zoom})`,
        drawn.zoom >= MARKER_ZOOM || drawn.markers === 0,
        `${drawn.markers} markers`,
      );
    });

    await step('view and controls', async () => {
      const shown = await page.evaluate(() => ({ center: map.getCenter(), zoom: map.getZoom(), scale: !!document.querySelector('.leaflet-control-scale') }));
      const same = shown.zoom === mapView.zoom && Math.abs(shown.center.lat - mapView.center.lat) < 1e-9 && Math.abs(shown.center.lng - mapView.center.lng) < 1e-9;
      report.check(`${label}: opens on the map page's view (zoom ${mapView.zoom})`, same, `${JSON.stringify(shown)} against ${JSON.stringify(mapView)}`);
      const control = await page.evaluate(layerControlLabels);
      report.check(
        `${label}: the map page's layer control (OpenStreetMap Japan shown) and scale`,
        JSON.stringify(control.base) === JSON.stringify(BASE_LAYER_LABELS) &&
          JSON.stringify(control.overlays) === JSON.stringify(OVERLAY_LABELS) &&
          JSON.stringify(control.checked) === JSON.stringify(['OpenStreetMap Japan']) &&
          shown.scale,
        JSON.stringify(control),
      );
    });

    await step('texts', async () => {
      const expected = paths.map((p) => [p.tooltip, p.popup]);
      const differ = await page.evaluate((want) => {
        const problems = [];
        __atlasTest.lines().forEach((layer, i) => {
          const shown = __atlasTest.texts(layer);
          const [tooltip, popup] = want[i] || [];
          if (shown.tooltip !== __atlasTest.asHtml(tooltip)) problems.push(`${i}: tooltip ${shown.tooltip}, expected ${tooltip}`);
          if (shown.popup !== __atlasTest.asHtml(popup)) problems.push(`${i}: popup ${shown.popup}, expected ${popup}`);
        });
        return problems;
      }, expected);
      report.check(`${label}: every tooltip and popup shows the map page's text (stream, river, codes, data type, length, direction)`, differ.length === 0, brief(differ));
    });

    await step('pointer', async () => {
      // Pointing at lines on the canvas and clicking them, as a user does.
      const problems = [];
      let pointed = 0;
      const picks = [...new Set([0, 1, 2, 3, 4, 5].map((k) => Math.floor((k * paths.length) / 6)))];
      for (const i of picks) {
        await page.mouse.move(1, 1);
        await page.evaluate(() => {
          map.closePopup();
        });
        const hit = await page.evaluate((i) => __atlasTest.pointOn(i), i);
        if (!hit) continue;
        pointed++;
        const want = paths[i].tooltip.replace(/&lt;/g, '<');
        await page.mouse.move(hit.x, hit.y);
        const tooltip = await page
          .waitForFunction((want) => __atlasTest.openText('tooltip') === want, want, { timeout: 3000 })
          .then(() => want, () => page.evaluate(() => __atlasTest.openText('tooltip')));
        if (tooltip !== want) problems.push(`line ${i}: tooltip ${JSON.stringify(tooltip)}, expected ${JSON.stringify(want)}`);
        await page.mouse.click(hit.x, hit.y);
        const popup = await page
          .waitForFunction(() => __atlasTest.openText('popup'), null, { timeout: 3000 })
          .then(() => page.evaluate(() => __atlasTest.openText('popup')), () => null);
        if (popup === null || !popup.startsWith(`流路:${want.split(' ')[0]}`)) problems.push(`line ${i}: popup ${JSON.stringify(popup)}`);
        if (options.screenshot && pointed === 1) {
          await page.waitForFunction(() => getComputedStyle(document.querySelector('.leaflet-popup')).opacity === '1', null, { timeout: 3000 }).catch(() => {});
          await page.screenshot({ path: options.screenshot.replace(/\.png$/, '-popup.png') });
        }
      }
      await page.mouse.move(1, 1);
      await page.evaluate(() => {
        map.closePopup();
      });
      report.check(`${label}: pointing at ${pointed} lines on the canvas shows their tooltips, clicking opens their popups`, pointed > 0 && problems.length === 0, brief(problems));
    });

    await step('markers', async () => {
      // Near the start node of the first river, every marker of the map page in view is drawn,
      // with its radius, fill, colour and text, and nothing else.
      const start = mapParsed.markers.find((m) => m.kind === 'ra');
      if (!report.check(`${label}: the map page has a river start marker`, !!start)) return;
      const own = mapParsed.markers.map((m) => ({ lat: m.lat, lon: m.lon, radius: m.radius, color: m.color, fillOpacity: FILL_OPACITY[m.kind], tooltip: m.tooltip, variable: m.variable }));
      const result = await page.evaluate(([lat, lon, zoom, own]) => {
        map.setView([lat, lon], zoom, { animate: false });
        const view = map.getBounds();
        const key = (m) => `${m.lat.toFixed(8)},${m.lon.toFixed(8)} r${m.radius} ${m.color} ${m.fillOpacity} ${m.text}`;
        const expected = new Set(own.map((m) => key({ ...m, text: __atlasTest.asHtml(m.tooltip) })));
        const drawn = __atlasTest.markers().map((m) => ({
          lat: m.getLatLng().lat,
          lon: m.getLatLng().lng,
          radius: m.options.radius,
          color: m.options.color,
          fillOpacity: m.options.fillOpacity,
          onCanvas: m._renderer instanceof L.Canvas,
          text: __atlasTest.texts(m).tooltip,
        }));
        const drawnKeys = new Set(drawn.map(key));
        const inView = own.filter((m) => view.contains([m.lat, m.lon]));
        return {
          inView: inView.length,
          missing: inView.filter((m) => !drawnKeys.has(key({ ...m, text: __atlasTest.asHtml(m.tooltip) }))).map((m) => m.variable),
          strange: drawn.filter((m) => !expected.has(key(m)) || !m.onCanvas).map(key),
        };
      }, [start.lat, start.lon, MARKER_ZOOM + 2, own]);
      report.check(
        `${label}: from zoom ${MARKER_ZOOM} on, the map page's ${result.inView} markers in view are drawn on the canvas with their radii, fills, colours and texts`,
        result.inView > 0 && result.missing.length === 0 && result.strange.length === 0,
        `missing ${brief(result.missing)}; not on the map page ${brief(result.strange)}`,
      );
      await page.evaluate(() => {
        map.closePopup();
      });
    });

    const rivers = riversOfMapPage(mapParsed);
    await step('legend', async () => {
      const legend = await page.evaluate(() => __atlasTest.legend());
      const want = [...rivers].map(([system, list]) => ({ system, rivers: [...list.values()] }));
      const problems = [];
      if (legend.length !== want.length) problems.push(`${legend.length} water systems listed, ${want.length} drawn`);
      legend.forEach((entry, i) => {
        const w = want[i];
        if (!w || !entry.name.startsWith(w.system.padStart(6, '0'))) problems.push(`system ${entry.name}: not drawn there`);
        if (!w) return;
        entry.rivers.forEach((river, k) => {
          const r = w.rivers[k];
          if (!r || river.code !== r.code || river.name !== (r.name.replace(/&lt;/g, '<') || r.code)) problems.push(`${entry.name}: river ${river.name} ${river.code} is not drawn there`);
          else if (JSON.stringify(river.colors) !== JSON.stringify(r.colors.map(rgb))) problems.push(`${river.code}: swatches ${river.colors} for ${r.colors}`);
        });
        if (entry.rivers.length !== w.rivers.length) problems.push(`${entry.name}: ${entry.rivers.length} rivers listed, ${w.rivers.length} drawn`);
      });
      report.check(`${label}: the legend lists every drawn water system and river, in page order, with their colours, and nothing else`, problems.length === 0, brief(problems));
      if (options.names) {
        const listed = new Set(legend.flatMap((s) => s.rivers.map((r) => r.name)));
        const lost = options.names.filter((n) => !listed.has(n));
        report.check(`${label}: the legend shows the river names as text`, lost.length === 0, brief(lost.map((n) => JSON.stringify(n))));
      }
    });

    await step('legend use', async () => {
      const [system, list] = [...rivers][0];
      const river = [...list.values()][Math.min(1, list.size - 1)];
      const riverCount = paths.filter((p) => parsePopup(p.popup).riverCode === river.code).length;
      const systemCount = paths.filter((p) => parsePopup(p.popup).waterSystemCode === system).length;
      const positions = [...list.values()].flatMap((r) => r.positions);
      const row = await page.evaluate((code) => [...document.querySelectorAll('.atlas-river')].findIndex((e) => e.querySelector('.atlas-code').textContent === code), river.code);
      await page.locator('.atlas-river').nth(row).click();
      await settle(page);
      const afterRiver = await page.evaluate(([code, positions]) => {
        const lines = __atlasTest.lines();
        return {
          fit: __atlasTest.fits(positions),
          wide: lines.filter((l) => l.options.weight > 2).map((l) => l.feature.properties.riverCode.replace(/^0+/, '')),
          marked: __atlasTest.legend().flatMap((s) => s.rivers.filter((r) => r.on).map((r) => r.code)),
        };
      }, [river.code, river.positions]);
      report.check(
        `${label}: clicking a river of the legend fits the map to it and highlights its ${riverCount} lines`,
        afterRiver.fit.outside === 0 && afterRiver.fit.zoom >= afterRiver.fit.fitting - 1 &&
          afterRiver.wide.length === riverCount && afterRiver.wide.every((c) => c === river.code) &&
          JSON.stringify(afterRiver.marked) === JSON.stringify([river.code]),
        JSON.stringify(afterRiver).slice(0, 300),
      );
      await page.click('.atlas-system-name >> nth=0');
      await settle(page);
      const afterSystem = await page.evaluate((positions) => ({ fit: __atlasTest.fits(positions), wide: __atlasTest.lines().filter((l) => l.options.weight > 2).length }), positions);
      report.check(
        `${label}: clicking a water system fits the map to it and highlights its ${systemCount} lines`,
        afterSystem.fit.outside === 0 && afterSystem.fit.zoom >= afterSystem.fit.fitting - 1 && afterSystem.wide === systemCount,
        JSON.stringify(afterSystem),
      );
      await page.uncheck('.atlas-system input[type=checkbox] >> nth=0');
      const hidden = await page.evaluate(() => __atlasTest.lines().length);
      await page.check('.atlas-system input[type=checkbox] >> nth=0');
      const shownAgain = await page.evaluate(() => __atlasTest.lines().length);
      report.check(
        `${label}: the checkbox of a water system hides its ${systemCount} lines and shows them again`,
        hidden === paths.length - systemCount && shownAgain === paths.length,
        `${hidden} lines when hidden, ${shownAgain} when shown again, of ${paths.length}`,
      );
      const bodyShown = () => page.evaluate(() => getComputedStyle(document.querySelector('.atlas-body')).display !== 'none');
      await page.click('.atlas-fold');
      const folded = !(await bodyShown());
      await page.click('.atlas-fold');
      report.check(`${label}: the legend folds away and unfolds`, folded && (await bodyShown()), `folded: ${folded}`);
    });

    await step('search', async () => {
      // A kanji name that is part of no other name finds that river alone.
      const all = [...rivers.values()].flatMap((list) => [...list.values()]);
      const unique = all.find((r) => /^[\u4e00-\u9fff]+$/.test(r.name) && all.filter((o) => fold(o.name).includes(fold(r.name))).length === 1);
      if (report.check(`${label}: a kanji river name that no other name holds`, !!unique)) {
        await search(page, unique.name);
        const found = await page.evaluate((positions) => ({
          fit: __atlasTest.fits(positions),
          listed: __atlasTest.legend().flatMap((s) => s.rivers.filter((r) => !r.hidden).map((r) => r.code)),
        }), unique.positions);
        report.check(
          `${label}: searching ${unique.name} and Enter fit the view to that river, and the legend lists it alone`,
          found.fit.outside === 0 && found.fit.zoom >= found.fit.fitting - 1 && JSON.stringify(found.listed) === JSON.stringify([unique.code]),
          JSON.stringify(found),
        );
        await search(page, unique.code);
        const byCode = await page.evaluate(() => __atlasTest.legend().flatMap((s) => s.rivers.filter((r) => !r.hidden).map((r) => r.code)));
        report.check(`${label}: searching the river code ${unique.code} lists that river`, JSON.stringify(byCode) === JSON.stringify([unique.code]), JSON.stringify(byCode));
      }
      for (const { query, expected } of options.searches || []) {
        await search(page, query);
        const listed = await page.evaluate(() => __atlasTest.legend().flatMap((s) => s.rivers.filter((r) => !r.hidden).map((r) => r.name)));
        report.check(`${label}: searching ${JSON.stringify(query)} lists ${JSON.stringify(expected)}`, JSON.stringify([...listed].sort()) === JSON.stringify([...expected].sort()), JSON.stringify(listed));
      }
      await search(page, '');
      const everything = await page.evaluate(() => __atlasTest.legend().flatMap((s) => s.rivers.filter((r) => !r.hidden)).length);
      report.check(`${label}: an empty search lists every river again`, everything === all.length, `${everything} of ${all.length}`);
    });

    await step('after use', async () => {
      const pwned = await page.evaluate(() => typeof window.__pwned);
      const errors = [...events.pageErrors, ...events.consoleErrors];
      report.check(`${label}: no injected script ran and no script error occurred while in use`, pwned === 'undefined' && errors.length === 0, `__pwned is ${pwned}; ${brief(errors)}`);
      report.check(`${label}: no request left the machine`, browser.log.refused.length === 0 && browser.log.tiles > 0, `refused: ${brief(browser.log.refused)}`);
    });
  } finally {
    await page.close();
  }
  await report.guard(`${label}: phone`, () => checkPhone(report, browser, file, parsed, options));
}

// On a phone-sized screen the legend starts folded, unfolds within the screen and leaves the map
// below it in view.
async function checkPhone(report, browser, file, parsed, options) {
  const label = options.label;
  const { page, events } = await browser.newPage();
  try {
    await page.setViewportSize({ width: 375, height: 667 });
    browser.setTilePatterns(parsed.tileLayers.map((t) => t.pattern));
    await page.goto(require('node:url').pathToFileURL(file).href, { waitUntil: 'load', timeout: 60000 });
    const folded = await page.evaluate(() => getComputedStyle(document.querySelector('.atlas-body')).display === 'none');
    await page.click('.atlas-fold');
    const box = await page.evaluate(() => {
      const panel = document.querySelector('.atlas-legend').getBoundingClientRect();
      const under = document.elementFromPoint(187, 540);
      return { right: panel.right, bottom: panel.bottom, mapBelow: !!under && !under.closest('.atlas-legend') && !!under.closest('#mapid') };
    });
    if (options.screenshot) await page.screenshot({ path: options.screenshot.replace(/\.png$/, '-phone.png') });
    const errors = [...events.pageErrors, ...events.consoleErrors];
    report.check(
      `${label}: on a 375x667 screen the legend starts folded, unfolds within the screen and leaves the map in view`,
      folded && box.right <= 375 && box.bottom <= 667 * 0.75 && box.mapBelow && errors.length === 0,
      `${JSON.stringify({ folded, ...box })}; ${brief(errors)}`,
    );
  } finally {
    await page.close();
  }
}

module.exports = { checkAtlasPage, MARKER_ZOOM };
