#!/usr/bin/env node
'use strict';
// End-to-end checks of hydrochart's map pages and index page in headless Chromium, without any
// network. Writes the pages with the built program, opens them, prints one line per check and
// "N passed, M failed"; exits 1 on a failure and 77 when Chromium or the npm packages are missing.
//
//   node run-browser-tests.js --hydrochart BUILD/hydrochart/hydrochart [--gen-w05 BUILD/tools/gen_w05]
//        [--sample-dir DIR] [--output DIR] [--only sample,generated,script-names,index,atlas] [--page FILE]

const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { pathToFileURL, fileURLToPath } = require('node:url');
const { checkMapPage, countLayers, openMapPage } = require('./lib/mapchecks');
const { checkAtlasPage } = require('./lib/atlaschecks');
const { parseIndexPage, parseMapPage } = require('./lib/pagetext');
const { Report, brief } = require('./lib/report');

const SKIP = 77;
const CHROMIUM = '/usr/bin/chromium';
const GROUPS = ['sample', 'generated', 'script-names', 'index', 'atlas'];
const REPO = path.resolve(__dirname, '..', '..');

const PREFECTURE_NAMES = [
  '北海道', '青森県', '岩手県', '宮城県', '秋田県', '山形県', '福島県', '茨城県', '栃木県', '群馬県',
  '埼玉県', '千葉県', '東京都', '神奈川県', '新潟県', '富山県', '石川県', '福井県', '山梨県', '長野県',
  '岐阜県', '静岡県', '愛知県', '三重県', '滋賀県', '京都府', '大阪府', '兵庫県', '奈良県', '和歌山県',
  '鳥取県', '島根県', '岡山県', '広島県', '山口県', '徳島県', '香川県', '愛媛県', '高知県', '福岡県',
  '佐賀県', '長崎県', '熊本県', '大分県', '宮崎県', '鹿児島県', '沖縄県',
];

function parseArguments(argv) {
  const options = { only: GROUPS, sampleDir: path.join(REPO, 'sample') };
  const names = { '--hydrochart': 'hydrochart', '--gen-w05': 'genW05', '--sample-dir': 'sampleDir', '--output': 'output', '--only': 'only', '--page': 'page' };
  for (let i = 0; i < argv.length; i++) {
    const key = names[argv[i]];
    if (!key || i + 1 >= argv.length) throw new Error(`unknown or incomplete option: ${argv[i]}`);
    options[key] = argv[++i];
  }
  if (typeof options.only === 'string') options.only = options.only.split(',');
  for (const group of options.only) if (!GROUPS.includes(group)) throw new Error(`unknown group: ${group}`);
  if (!options.output) {
    if (!options.hydrochart) throw new Error('--output is needed without --hydrochart');
    options.output = path.join(path.dirname(path.dirname(path.resolve(options.hydrochart))), 'browser-output');
  }
  options.output = path.resolve(options.output);
  for (const key of ['hydrochart', 'genW05', 'sampleDir']) if (options[key]) options[key] = path.resolve(options[key]);
  return options;
}

// Chromium and the npm packages; without them the run is skipped, not failed.
function missingPrerequisite() {
  if (!fs.existsSync(CHROMIUM)) return `${CHROMIUM} is not installed`;
  for (const name of ['playwright-core', 'leaflet/package.json']) {
    try {
      require.resolve(name);
    } catch {
      return `npm package ${name.split('/')[0]} is not installed in ${__dirname}`;
    }
  }
  return null;
}

function runProgram(program, args, cwd) {
  const result = spawnSync(program, args, {
    cwd,
    encoding: 'utf8',
    input: '',
    timeout: 300000,
    env: { ...process.env, LANG: 'C.UTF-8', LC_ALL: 'C.UTF-8' },
  });
  const output = `${result.stdout || ''}${result.stderr || ''}${result.error ? String(result.error) : ''}`;
  return {
    status: result.status,
    stdout: result.stdout || '',
    stderr: result.stderr || '',
    output: output.trim().split('\n').slice(-3).join(' | '),
  };
}

function freshDir(dir) {
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(dir, { recursive: true });
  return dir;
}

// Copies the code list next to the data so that page names and titles carry the labels.
function copyCodeList(options, dir) {
  const codeList = path.join(options.sampleDir, 'WaterSystemCodeCd.xml');
  if (fs.existsSync(codeList)) fs.copyFileSync(codeList, path.join(dir, 'WaterSystemCodeCd.xml'));
}

function waterSystemCodes(dataFile) {
  const text = fs.readFileSync(dataFile, 'utf8');
  const codes = new Set();
  const re = /<ksj:waterSystemCode codeSpace="WaterSystemTypeCode.xml">\s*(\d+)\s*<\/ksj:waterSystemCode>/g;
  let m;
  while ((m = re.exec(text)) !== null) codes.add(String(Number(m[1])));
  return [...codes].sort((a, b) => Number(a) - Number(b));
}

function sampleDataFiles(options) {
  if (!fs.existsSync(options.sampleDir)) return [];
  return fs
    .readdirSync(options.sampleDir)
    .filter((name) => /^W05-\d\d_\d\d-g\.xml$/.test(name))
    .sort()
    .map((name) => path.join(options.sampleDir, name));
}

// Writes one page with every water system of a data file and checks it in the browser.
async function checkPageOfDataFile(ctx, group, label, dataFile, title, extra = {}) {
  const { report, browser, options } = ctx;
  const work = freshDir(path.join(options.output, 'work', group));
  copyCodeList(options, work);
  const data = path.join(work, path.basename(dataFile));
  if (data !== dataFile) fs.copyFileSync(dataFile, data);
  const codes = waterSystemCodes(data);
  const pageFile = path.join(work, `${group}.htm`);
  const run = runProgram(options.hydrochart, [path.basename(data), path.basename(pageFile), title, ...codes], work);
  const reported = /successfully generated\. \(path=(\d+)\)/.exec(run.stdout);
  if (
    !report.check(
      `${label}: hydrochart writes the page for ${codes.length} water systems`,
      run.status === 0 && !!reported && codes.length > 0 && fs.existsSync(pageFile),
      `exit ${run.status}: ${run.output}`,
    )
  ) {
    return;
  }
  await checkMapPage(report, browser, pageFile, {
    label,
    screenshot: path.join(options.output, `${group}-page.png`),
    reportedPathCount: Number(reported[1]),
    title,
    waterSystemCodes: new Set(codes),
    ...extra,
  });
  await checkGeoJsonOfPage(ctx, label, work, data, pageFile, title, codes);
}

// The GeoJSON export of the same selection, drawn by Leaflet's own L.geoJSON on the page:
// as many lines as the page draws, in the page's colours and order, with the page's names.
async function checkGeoJsonOfPage(ctx, label, work, data, pageFile, title, codes) {
  const { report, browser, options } = ctx;
  const geojsonFile = path.join(work, 'selection.geojson');
  const run = runProgram(options.hydrochart, ['--geojson', path.basename(data), path.basename(geojsonFile), title, ...codes], work);
  if (!report.check(`${label}: hydrochart --geojson writes the export of the same selection`, run.status === 0 && fs.existsSync(geojsonFile), `exit ${run.status}: ${run.output}`)) {
    return;
  }
  let collection;
  try {
    collection = JSON.parse(fs.readFileSync(geojsonFile, 'utf8'));
  } catch (error) {
    report.check(`${label}: the export is JSON`, false, String(error));
    return;
  }
  const parsed = parseMapPage(fs.readFileSync(pageFile, 'utf8'));
  const { page, events } = await openMapPage(browser, parsed, pageFile);
  try {
    const drawn = await page.evaluate((geojson) => {
      const pageLines = [];
      map.eachLayer((layer) => {
        if (layer instanceof L.Polyline && !(layer instanceof L.CircleMarker)) pageLines.push(layer);
      });
      // The tooltip is HTML; the name a user reads is its text (read in an inert template).
      const shown = (html) => {
        const template = document.createElement('template');
        template.innerHTML = html;
        return template.content.textContent;
      };
      const own = (layer) => ({ color: layer.options.color, name: layer.getTooltip() && shown(layer.getTooltip().getContent()) });
      const group = L.geoJSON(geojson, { style: (feature) => ({ color: feature.properties.stroke }) }).addTo(map);
      const lines = [];
      group.eachLayer((layer) => {
        if (layer instanceof L.Polyline && map.hasLayer(layer) && layer._path) {
          lines.push({ color: layer.options.color, name: `c-${layer.feature.properties.curveId} ${layer.feature.properties.riverName}` });
        }
      });
      return { page: pageLines.map(own), geojson: lines, name: geojson.name };
    }, collection);
    const errors = [...events.pageErrors, ...events.consoleErrors];
    report.check(
      `${label}: L.geoJSON of the export draws exactly as many lines as the page (${drawn.page.length})`,
      drawn.page.length > 0 && drawn.geojson.length === drawn.page.length && errors.length === 0,
      `${drawn.geojson.length} lines from GeoJSON, ${drawn.page.length} on the page; ${brief(errors)}`,
    );
    const differ = drawn.page.filter((line, i) => !drawn.geojson[i] || drawn.geojson[i].color !== line.color || drawn.geojson[i].name !== line.name);
    report.check(
      `${label}: the exported lines have the page's colours, order and names, and the title as name`,
      differ.length === 0 && drawn.name === title,
      `${differ.length} differ, first ${JSON.stringify(differ[0])}; name ${JSON.stringify(drawn.name)}`,
    );
  } finally {
    await page.close();
  }
}

async function checkSamplePage(ctx) {
  const files = sampleDataFiles(ctx.options);
  if (!ctx.report.check('sample page: bundled sample data is there', files.length > 0, `no W05-??_??-g.xml in ${ctx.options.sampleDir}`)) return;
  await checkPageOfDataFile(ctx, 'sample', 'sample page', files[0], `${path.basename(files[0])} 全水系`, {
    interactLimit: Infinity,
    markerLimit: 4,
  });
  await checkPageWithoutRivers(ctx, files[0]);
}

// A page whose codes match nothing (each one named on standard error) has no river to fit:
// it opens on a view of Japan, with tiles and without a script error, and its command-line
// title shows as text.
async function checkPageWithoutRivers(ctx, dataFile) {
  const { report, browser, options } = ctx;
  const work = freshDir(path.join(options.output, 'work', 'no-river'));
  fs.copyFileSync(dataFile, path.join(work, path.basename(dataFile)));
  const pageFile = path.join(work, 'no-river.htm');
  const title = '</title><script>window.__pwned = 1</script>該当なし';
  const run = runProgram(options.hydrochart, [path.basename(dataFile), path.basename(pageFile), title, '0', '1234560009'], work);
  const warnings = (run.stderr.match(/ matches no (river|water system) /g) || []).length;
  if (
    !report.check(
      'page without rivers: hydrochart writes it (path=0) and names both codes that match nothing',
      run.status === 0 && /\(path=0\)/.test(run.stdout) && warnings === 2 && fs.existsSync(pageFile),
      `exit ${run.status}, ${warnings} warnings: ${run.output}`,
    )
  ) {
    return;
  }
  const parsed = parseMapPage(fs.readFileSync(pageFile, 'utf8'));
  const { page, events } = await openMapPage(browser, parsed, pageFile);
  try {
    await page.screenshot({ path: path.join(options.output, 'no-river-page.png') });
    const shown = await page.evaluate(() => {
      const center = map.getCenter();
      return { lat: center.lat, lng: center.lng, zoom: map.getZoom(), pwned: typeof window.__pwned, title: document.title };
    });
    const errors = [...events.pageErrors, ...events.consoleErrors];
    report.check(
      'page without rivers: opens on Japan with tiles and no script error',
      errors.length === 0 && shown.lat > 24 && shown.lat < 46 && shown.lng > 122 && shown.lng < 154 &&
        Number.isFinite(shown.zoom) && browser.log.tiles > 0 && browser.log.refused.length === 0,
      `centre ${shown.lat},${shown.lng} zoom ${shown.zoom}, ${browser.log.tiles} tiles; ${brief(errors)}`,
    );
    report.check(
      'page without rivers: the command-line title shows as text and runs no script',
      shown.pwned === 'undefined' && shown.title === title,
      `__pwned is ${shown.pwned}, title ${JSON.stringify(shown.title)}`,
    );
  } finally {
    await page.close();
  }
}

async function checkGeneratedPage(ctx) {
  const { report, options } = ctx;
  const work = freshDir(path.join(options.output, 'work', 'generated-data'));
  const dataFile = path.join(work, 'W05-99_01-g.xml');
  const args = ['--streams', '300', '--water-systems', '6', '--positions-per-curve', '12', '--seed', '20190401', '--out', dataFile];
  const run = runProgram(options.genW05, args, work);
  if (!report.check('generated page: gen_w05 writes 300 streams', run.status === 0 && fs.existsSync(dataFile), `exit ${run.status}: ${run.output}`)) return;
  await checkPageOfDataFile(ctx, 'generated', 'generated page', dataFile, '生成データ 300 流路', { interactLimit: 24 });
}

async function checkScriptNamesPage(ctx) {
  const fixture = path.join(__dirname, 'fixtures', 'script-names.xml');
  const riverNames = [...fs.readFileSync(fixture, 'utf8').matchAll(/<ksj:riverName>(.*)<\/ksj:riverName>/g)].map((m) => m[1]);
  await checkPageOfDataFile(ctx, 'script-names', 'river names with quotes, backslashes and </script>', fixture, '名前の検査 "引用" & <川>', {
    riverNames,
    interactLimit: Infinity,
    markerLimit: Infinity,
    everyMarkerVisible: true,
  });
}

// Every page file under the output folders of the index base folder, as "folder/name".
function pageFilesUnder(base) {
  const pages = [];
  for (const folder of fs.readdirSync(base).sort()) {
    if (!/^W05-.._..-g_html$/.test(folder)) continue;
    for (const name of fs.readdirSync(path.join(base, folder)).sort()) {
      if (name.endsWith('.htm')) pages.push(`${folder}/${name}`);
    }
  }
  return pages;
}

async function checkIndexPage(ctx) {
  const { report, browser, options } = ctx;
  const files = sampleDataFiles(options);
  if (!report.check('index page: bundled sample data is there', files.length > 0, `no W05-??_??-g.xml in ${options.sampleDir}`)) return;
  const base = freshDir(path.join(options.output, 'work', 'index'));
  copyCodeList(options, base);
  for (const file of files) {
    fs.copyFileSync(file, path.join(base, path.basename(file)));
    const run = runProgram(options.hydrochart, [path.basename(file), '*'], base);
    const folder = path.join(base, path.basename(file).replace(/\.xml$/, '_html'));
    const pages = fs.existsSync(folder) ? fs.readdirSync(folder).filter((n) => n.endsWith('.htm')) : [];
    report.check(`index page: hydrochart writes one page per water system of ${path.basename(file)}`, run.status === 0 && pages.length > 0, `exit ${run.status}, ${pages.length} pages: ${run.output}`);
  }
  const run = runProgram(options.hydrochart, ['create_index', base], base);
  const indexFile = path.join(base, 'index.html');
  const summary = /was created and processed\. Pref=(\d+) WS=(\d+)/.exec(run.stdout);
  if (!report.check('index page: hydrochart create_index writes index.html', run.status === 0 && !!summary && fs.existsSync(indexFile), `exit ${run.status}: ${run.output}`)) return;

  const index = parseIndexPage(fs.readFileSync(indexFile, 'utf8'));
  const expectedHeadings = [...new Set(files.map((f) => Number(/^W05-\d\d_(\d\d)/.exec(path.basename(f))[1])))]
    .sort((a, b) => a - b)
    .map((code) => PREFECTURE_NAMES[code - 1]);
  report.check(
    `index page: one heading per prefecture (${expectedHeadings.join(', ')}), counts as reported`,
    JSON.stringify(index.headings) === JSON.stringify(expectedHeadings) &&
      Number(summary[1]) === index.headings.length &&
      Number(summary[2]) === index.links.length,
    `headings ${JSON.stringify(index.headings)}, ${index.links.length} links; reported ${summary[0]}`,
  );
  const written = pageFilesUnder(base);
  const linked = index.links.map((l) => l.href);
  const missing = linked.filter((href) => !fs.existsSync(path.join(base, href)));
  const unlisted = written.filter((p) => !linked.includes(p));
  report.check(
    `index page: every link names an existing page, and every written page is linked (${linked.length})`,
    linked.length > 0 && missing.length === 0 && unlisted.length === 0,
    `missing ${brief(missing)}; not linked ${brief(unlisted)}`,
  );

  browser.resetLog();
  browser.setTilePatterns([]);
  const { page, events } = await browser.newPage();
  try {
    await page.goto(pathToFileURL(indexFile).href, { waitUntil: 'load' });
    await page.screenshot({ path: path.join(options.output, 'index.png'), fullPage: true });
    const anchors = await page.evaluate(() => [...document.querySelectorAll('a[href]')].map((a) => ({ href: a.href, text: a.textContent })));
    const pageAnchors = anchors.filter((a) => a.href.startsWith('file:'));
    const broken = pageAnchors.filter((a) => !fs.existsSync(fileURLToPath(a.href))).map((a) => a.text);
    report.check(
      `index page: the browser resolves all ${pageAnchors.length} page links to existing files`,
      pageAnchors.length === index.links.length && broken.length === 0 && events.pageErrors.length === 0,
      `broken ${brief(broken)}; errors ${brief(events.pageErrors)}`,
    );

    const problems = [];
    for (let i = 0; i < pageAnchors.length; i++) {
      const target = fileURLToPath(pageAnchors[i].href);
      if (!fs.existsSync(target)) {
        problems.push(`${pageAnchors[i].text}: ${target} does not exist`);
        continue;
      }
      const parsed = parseMapPage(fs.readFileSync(target, 'utf8'));
      browser.setTilePatterns(parsed.tileLayers.map((t) => t.pattern));
      const errorsBefore = events.pageErrors.length + events.consoleErrors.length;
      if (i === 0) {
        await Promise.all([page.waitForURL(pageAnchors[0].href), page.locator('a[href]').first().click()]);
      } else {
        await page.goto(pageAnchors[i].href, { waitUntil: 'load' });
      }
      await page.waitForFunction(() => typeof map !== 'undefined' && map._loaded, null, { timeout: 15000 }).catch(() => {});
      await page.waitForLoadState('networkidle', { timeout: 15000 }).catch(() => {});
      const shot = path.basename(path.dirname(target)).replace(/^W05-|-g_html$/g, '') + '-' + path.basename(target).slice(0, 6);
      await page.screenshot({ path: path.join(options.output, `index-link-${shot}.png`) });
      const counts = await page.evaluate(countLayers, []).catch((e) => ({ polylines: -1, error: String(e) }));
      const errors = events.pageErrors.length + events.consoleErrors.length - errorsBefore;
      if (counts.polylines <= 0 || counts.polylines !== parsed.pathCount || errors > 0) {
        problems.push(`${pageAnchors[i].text}: ${counts.polylines} polylines of ${parsed.pathCount}, ${errors} errors`);
      }
    }
    report.check(
      `index page: each of the ${pageAnchors.length} links opens its map with its rivers (first one by a click)`,
      pageAnchors.length > 0 && problems.length === 0,
      brief([...problems, ...events.pageErrors, ...events.consoleErrors]),
    );
    report.check(`index page: no request left the machine`, browser.log.refused.length === 0, `refused: ${brief(browser.log.refused)}`);
  } finally {
    await page.close();
  }
}

// Writes the map page and the atlas page of every water system of a data file, and checks the
// atlas page against the map page.
async function checkAtlasOfDataFile(ctx, group, label, dataFile, title, extra = {}) {
  const { report, browser, options } = ctx;
  const work = freshDir(path.join(options.output, 'work', group));
  copyCodeList(options, work);
  const data = path.join(work, path.basename(dataFile));
  fs.copyFileSync(dataFile, data);
  const codes = waterSystemCodes(data);
  const map = runProgram(options.hydrochart, [path.basename(data), 'map.htm', title, ...codes], work);
  const atlas = runProgram(options.hydrochart, ['--atlas', path.basename(data), 'atlas.htm', title, ...codes], work);
  const paths = (run) => (/successfully generated\. \(path=(\d+)\)/.exec(run.stdout) || [])[1];
  if (
    !report.check(
      `${label}: hydrochart writes the map page and the atlas page of ${codes.length} water systems, with the same stream count`,
      map.status === 0 && atlas.status === 0 && paths(map) !== undefined && paths(map) === paths(atlas),
      `exit ${map.status}/${atlas.status}: ${map.output} | ${atlas.output}`,
    )
  ) {
    return;
  }
  await checkAtlasPage(report, browser, path.join(work, 'atlas.htm'), path.join(work, 'map.htm'), { label, title, ...extra });
}

// Atlas pages of the sample, of a generated file, of names that try to break out of the page,
// of names in kana; and the index over the atlas pages of every water system.
async function checkAtlasPages(ctx) {
  const { report, options } = ctx;
  const files = sampleDataFiles(options);
  if (report.check('atlas: bundled sample data is there', files.length > 0, `no W05-??_??-g.xml in ${options.sampleDir}`)) {
    await checkAtlasOfDataFile(ctx, 'atlas-sample', 'sample atlas page', files[0], `${path.basename(files[0])} 全水系`, {
      screenshot: path.join(options.output, 'atlas-page.png'),
      searches: [{ query: '江戸川', expected: ['江戸川', '旧江戸川'] }],
    });
  }
  if (options.genW05) {
    const work = freshDir(path.join(options.output, 'work', 'atlas-data'));
    const dataFile = path.join(work, 'W05-99_02-g.xml');
    const args = ['--streams', '300', '--water-systems', '6', '--positions-per-curve', '12', '--seed', '20190402', '--out', dataFile];
    const run = runProgram(options.genW05, args, work);
    if (report.check('atlas: gen_w05 writes 300 streams', run.status === 0 && fs.existsSync(dataFile), `exit ${run.status}: ${run.output}`)) {
      await checkAtlasOfDataFile(ctx, 'atlas-generated', 'generated atlas page', dataFile, '生成データ 300 流路', {
        screenshot: path.join(options.output, 'atlas-generated.png'),
      });
    }
  }
  const hostile = path.join(__dirname, 'fixtures', 'script-names.xml');
  const names = [...fs.readFileSync(hostile, 'utf8').matchAll(/<ksj:riverName>(.*)<\/ksj:riverName>/g)].map((m) => m[1]);
  await checkAtlasOfDataFile(ctx, 'atlas-script-names', 'atlas page of names with quotes, backslashes and </script>', hostile, '名前の検査 "引用" & <川>', {
    names,
    searches: [{ query: '</script>', expected: [names[1]] }],
  });
  await checkAtlasOfDataFile(ctx, 'atlas-kana', 'atlas page of names in kana', path.join(__dirname, 'fixtures', 'kana-names.xml'), 'かな', {
    searches: [
      { query: 'さがみ', expected: ['さがみ川', 'サガミ川', 'ｻｶﾞﾐ原川'] },
      { query: 'ガミ', expected: ['さがみ川', 'サガミ川', 'ｻｶﾞﾐ原川'] },
      { query: 'ｻｶﾞﾐ原', expected: ['ｻｶﾞﾐ原川'] },
      { query: '８１０１０２', expected: ['さがみ川', 'サガミ川', '相模川', 'ｻｶﾞﾐ原川'] },
    ],
  });
  if (files.length > 0) await checkAtlasIndex(ctx, files);
}

// The index over the atlas pages of every water system links each of them, and each opens its
// map with a line for every feature it holds.
async function checkAtlasIndex(ctx, files) {
  const { report, browser, options } = ctx;
  const base = freshDir(path.join(options.output, 'work', 'atlas-index'));
  copyCodeList(options, base);
  for (const file of files) {
    fs.copyFileSync(file, path.join(base, path.basename(file)));
    const run = runProgram(options.hydrochart, ['--atlas', path.basename(file), '*'], base);
    report.check(`atlas index: hydrochart --atlas writes the pages of ${path.basename(file)}`, run.status === 0, `exit ${run.status}: ${run.output}`);
  }
  const run = runProgram(options.hydrochart, ['create_index', base], base);
  const indexFile = path.join(base, 'index.html');
  if (!report.check('atlas index: create_index writes index.html', run.status === 0 && fs.existsSync(indexFile), `exit ${run.status}: ${run.output}`)) return;
  const index = parseIndexPage(fs.readFileSync(indexFile, 'utf8'));
  const written = pageFilesUnder(base);
  report.check(
    `atlas index: links every atlas page (${written.length})`,
    written.length > 0 && JSON.stringify(index.links.map((l) => l.href).sort()) === JSON.stringify([...written].sort()),
    `links ${brief(index.links.map((l) => l.href))}; pages ${brief(written)}`,
  );
  const problems = [];
  for (const link of index.links) {
    const target = path.join(base, link.href);
    const text = fs.readFileSync(target, 'utf8');
    const block = /<script type="application\/json" id="atlas-rivers">([\s\S]*?)<\/script>/.exec(text);
    const features = block ? JSON.parse(block[1]).features.filter((f) => f.geometry).length : -1;
    const { page, events } = await openMapPage(browser, parseMapPage(text), target);
    try {
      const lines = await page.evaluate(() => {
        let n = 0;
        map.eachLayer((l) => {
          if (l instanceof L.Polyline && !(l instanceof L.CircleMarker)) n++;
        });
        return n;
      });
      const errors = events.pageErrors.length + events.consoleErrors.length;
      if (features <= 0 || lines !== features || errors > 0) problems.push(`${link.href}: ${lines} lines of ${features} features, ${errors} errors`);
    } finally {
      await page.close();
    }
  }
  report.check(`atlas index: each of the ${index.links.length} atlas pages opens with a line per feature`, index.links.length > 0 && problems.length === 0, brief(problems));
}

async function main() {
  let options;
  try {
    options = parseArguments(process.argv.slice(2));
  } catch (error) {
    console.log(`usage error: ${error.message}`);
    return 2;
  }
  const missing = missingPrerequisite();
  if (missing) {
    console.log(`skipped: ${missing} (scripts/browser-setup.sh installs it)`);
    return SKIP;
  }
  // Loaded only now: it needs playwright-core.
  const { OfflineBrowser } = require('./lib/browser');

  fs.mkdirSync(options.output, { recursive: true });
  const report = new Report();
  const browser = await OfflineBrowser.launch();
  const ctx = { report, browser, options };
  try {
    if (options.page) {
      const name = path.basename(options.page).replace(/\.[^.]*$/, '');
      await checkMapPage(report, browser, path.resolve(options.page), { label: name, screenshot: path.join(options.output, `${name}.png`) });
    } else {
      if (!options.hydrochart || !fs.existsSync(options.hydrochart)) {
        report.check('hydrochart program is built', false, String(options.hydrochart));
      } else {
        const steps = {
          sample: checkSamplePage,
          generated: checkGeneratedPage,
          'script-names': checkScriptNamesPage,
          index: checkIndexPage,
          atlas: checkAtlasPages,
        };
        for (const group of options.only) {
          if (group === 'generated' && !options.genW05) {
            console.log('skip generated page: no --gen-w05 given');
            continue;
          }
          await report.guard(`${group}: runs to the end`, () => steps[group](ctx));
        }
      }
    }
  } finally {
    await browser.close();
  }
  console.log(`screenshots: ${options.output}`);
  report.summary();
  return report.failed === 0 && report.passed > 0 ? 0 : 1;
}

main().then(
  (status) => process.exit(status),
  (error) => {
    console.log(`FAIL browser tests stopped: ${error && error.stack ? error.stack : error}`);
    process.exit(1);
  },
);
