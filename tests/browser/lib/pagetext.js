'use strict';
// Reads what a map page or the index page promises from its text alone, so that the browser
// checks can compare the rendered map with it.

const vm = require('node:vm');

// A double-quoted script string literal, escapes included, and nothing else.
const STRING_LITERAL = '"(?:[^"\\\\\\n]|\\\\.)*"';

const SINGLE_LITERAL = new RegExp(`^${STRING_LITERAL}$`);
const PATH_BIND = new RegExp(`^myPath(\\d+)\\.bind(Tooltip|Popup)\\((${STRING_LITERAL})\\);$`);
const MARKER_BIND = new RegExp(`^(marker\\d+(?:a|b|ra|rb))\\.bind(Tooltip|Popup)\\((${STRING_LITERAL})\\);$`);
const literalContext = vm.createContext(Object.create(null));

// Decodes a script string literal as the browser would. Most are plain JSON strings; the rest
// (escapes JSON lacks, such as \x41) are evaluated, which the pattern makes safe: a single
// literal can run nothing.
function decodeStringLiteral(literal) {
  if (!SINGLE_LITERAL.test(literal)) throw new Error(`not a single string literal: ${literal}`);
  try {
    return JSON.parse(literal);
  } catch {
    return vm.runInContext(literal, literalContext, { timeout: 1000 });
  }
}

function countMatches(text, regex) {
  return (text.match(regex) || []).length;
}

function parseNumbers(list) {
  return list.split(',').map(Number);
}

// Positions of a polyline's "[lat,lon],[lat,lon]..." list.
function parsePositions(list) {
  if (list === '') return [];
  return list.slice(1, -1).split('],[').map((pair) => parseNumbers(pair));
}

// Turns a Leaflet tile URL template into a pattern for the tile requests it makes.
function tileTemplatePattern(template) {
  const escaped = template.replace(/[.*+?^$()|[\]\\]/g, '\\$&');
  return new RegExp(
    '^' +
      escaped
        .replace(/\{s\}/g, '[a-z0-9-]+')
        .replace(/\{[zxy]\}/g, '-?\\d+')
        .replace(/\{r\}/g, '(@2x)?') +
      '$',
  );
}

function parseLabelList(body) {
  const entries = [];
  const re = /"([^"]*)":(\w+)/g;
  let m;
  while ((m = re.exec(body)) !== null) entries.push({ label: m[1], variable: m[2] });
  return entries;
}

// Everything the browser checks need from one map page's text. Lines that do not have the
// expected form are collected in `problems` rather than thrown, so that one bad line shows up as
// one failed check.
function parseMapPage(text) {
  const page = {
    title: null,
    styleSheet: null,
    script: null,
    tileLayers: [],
    baseMaps: [],
    overlayMaps: [],
    paths: new Map(),
    markers: [],
    pathCount: countMatches(text, /^var myPath\d+=/gm),
    circleMarkerCalls: countMatches(text, /L\.circleMarker\(/g),
    fitBounds: null,
    initialLayer: null,
    problems: [],
  };
  const title = /<title>(.*)<\/title>/.exec(text);
  if (title) page.title = title[1];
  const css = /<link rel="stylesheet" href="([^"]*)"\/>/.exec(text);
  if (css) page.styleSheet = css[1];
  const js = /<script src="([^"]*)"><\/script>/.exec(text);
  if (js) page.script = js[1];

  const pathOf = (digits) => {
    if (!page.paths.has(digits)) {
      page.paths.set(digits, { number: Number(digits), variable: `myPath${digits}` });
    }
    return page.paths.get(digits);
  };
  const markers = new Map();
  let lastComment = null;
  for (const line of text.split('\n')) {
    let m;
    if ((m = /^var (\w+)=L\.tileLayer\((["'])([^"']*)\2,\{/.exec(line))) {
      page.tileLayers.push({ variable: m[1], url: m[3], pattern: tileTemplatePattern(m[3]) });
    } else if ((m = /^var baseMaps=\{(.*)\};$/.exec(line))) {
      page.baseMaps = parseLabelList(m[1]);
    } else if ((m = /^var overlayMaps=\{(.*)\};$/.exec(line))) {
      page.overlayMaps = parseLabelList(m[1]);
    } else if ((m = /^\/\/c-(\d+) (.*)$/.exec(line))) {
      lastComment = { curvePosition: Number(m[1]), name: m[2] };
    } else if ((m = /^var myPath(\d+)=L\.polyline\(\[(.*)\],\{color:'(#[0-9a-f]+)',weight:2,opacity:0\.8\}\)\.addTo\(map\);$/.exec(line))) {
      const path = pathOf(m[1]);
      path.positions = parsePositions(m[2]);
      path.color = m[3];
      path.comment = lastComment;
      lastComment = null;
    } else if ((m = PATH_BIND.exec(line))) {
      pathOf(m[1])[m[2] === 'Tooltip' ? 'tooltip' : 'popup'] = decodeStringLiteral(m[3]);
    } else if ((m = /^var marker(\d+)(a|b|ra|rb)=L\.circleMarker\(\[([^\]]*)\],\{radius:(\d+),color:'(#[0-9a-f]+)'/.exec(line))) {
      const [lat, lon] = parseNumbers(m[3]);
      const marker = { number: Number(m[1]), kind: m[2], variable: `marker${m[1]}${m[2]}`, lat, lon, radius: Number(m[4]), color: m[5] };
      page.markers.push(marker);
      markers.set(marker.variable, marker);
    } else if ((m = MARKER_BIND.exec(line))) {
      const marker = markers.get(m[1]);
      if (marker) marker[m[2] === 'Tooltip' ? 'tooltip' : 'popup'] = decodeStringLiteral(m[3]);
      else page.problems.push(`${m[1]} is bound before it is made`);
    } else if ((m = /^map\.fitBounds\(L\.latLngBounds\(\[([^\]]*)\],\[([^\]]*)\]\)\);$/.exec(line))) {
      const [minLat, minLon] = parseNumbers(m[1]);
      const [maxLat, maxLon] = parseNumbers(m[2]);
      page.fitBounds = { minLat, minLon, maxLat, maxLon };
    } else if ((m = /^(\w+)\.addTo\(map\);$/.exec(line))) {
      page.initialLayer = m[1];
    } else if (/^(myPath|marker)\d+/.test(line) || /^var (myPath|marker)\d+/.test(line)) {
      page.problems.push(`unexpected script line: ${line.slice(0, 200)}`);
    }
  }
  for (const item of [...page.paths.values(), ...page.markers]) {
    for (const part of [item.kind ? 'lat' : 'positions', 'tooltip', 'popup']) {
      if (item[part] === undefined) page.problems.push(`${item.variable} has no ${part} line`);
    }
  }
  return page;
}

// The fields of a stream popup ("流路:c-12<br>所属河川:...<br>方向:↑→").
function parsePopup(popup) {
  const m = /^流路:c-(-?\d+)<br>所属河川:([\s\S]*)<br>河川コード:(\d+)<br>水系コード:(\d+)<br>原典資料種別:(-?\d+)<br>延長距離:(\d+\.\d{3}) km<br>方向:(.*)$/.exec(
    popup,
  );
  if (!m) return null;
  return {
    location: Number(m[1]),
    riverName: m[2],
    riverCode: m[3],
    waterSystemCode: m[4],
    originalDataType: Number(m[5]),
    lengthKm: Number(m[6]),
    direction: m[7],
  };
}

// Kilometres per degree of latitude and of longitude on the earth ellipsoid at a latitude.
function kmPerDegreeAt(latitude) {
  const r = latitude * 0.017453292519943295;
  const s = Math.sin(r);
  const w = 1 - (1 - 0.9933056200098028) * s * s;
  const q = Math.sqrt(w);
  return [(111.31949079327356 * 0.9933056200098028) / (w * q), (111.31949079327356 / q) * Math.cos(r)];
}

// Length in km of a line of [lat, lon] positions, scaled at its middle latitude.
function curveLength(positions) {
  if (positions.length === 0) return 0;
  let max = positions[0][0];
  let min = max;
  for (const [lat] of positions.slice(1)) {
    if (lat > max) max = lat;
    else if (lat < min) min = lat;
  }
  const [ky, kx] = kmPerDegreeAt((max + min) * 0.5);
  let length = 0;
  for (let i = 0; i + 1 < positions.length; i++) {
    const dy = (positions[i + 1][0] - positions[i][0]) * ky;
    const dx = (positions[i + 1][1] - positions[i][1]) * kx;
    length = Math.sqrt(dx * dx + dy * dy) + length;
  }
  return length;
}

// Arrows from a stream's start node to its end node: south or north, then west or east.
function directionText(start, end) {
  return (start.lat > end.lat ? '↓' : '↑') + (start.lon > end.lon ? '←' : '→');
}

// The smallest box around every polyline position of the page.
function positionBox(paths) {
  let box = null;
  for (const path of paths) {
    for (const [lat, lon] of path.positions || []) {
      if (!box) box = { minLat: lat, maxLat: lat, minLon: lon, maxLon: lon };
      box.minLat = Math.min(box.minLat, lat);
      box.maxLat = Math.max(box.maxLat, lat);
      box.minLon = Math.min(box.minLon, lon);
      box.maxLon = Math.max(box.maxLon, lon);
    }
  }
  return box;
}

// Headings and links of the index page.
function parseIndexPage(text) {
  const headings = [];
  const links = [];
  let m;
  const headingRe = /<h3>([^<]*)<\/h3>/g;
  while ((m = headingRe.exec(text)) !== null) headings.push(m[1]);
  const linkRe = /<a href="([^"]*)"><small>([^<]*) <\/small>([^<]*)<\/a> /g;
  while ((m = linkRe.exec(text)) !== null) links.push({ href: m[1], code: m[2], label: m[3] });
  return { headings, links };
}

module.exports = {
  decodeStringLiteral,
  parseMapPage,
  parsePopup,
  kmPerDegreeAt,
  curveLength,
  directionText,
  positionBox,
  parseIndexPage,
  tileTemplatePattern,
};
