'use strict';
// The page-text reader that the browser checks compare against: if it misreads a page, every
// browser check built on it is worthless.

const test = require('node:test');
const assert = require('node:assert/strict');
const {
  decodeStringLiteral,
  parseMapPage,
  parsePopup,
  kmPerDegreeAt,
  curveLength,
  directionText,
  positionBox,
  parseIndexPage,
  tileTemplatePattern,
} = require('../lib/pagetext');

const STREAM = [
  '//c-12 テスト川',
  "var myPath0001=L.polyline([[35.00000000,139.00000000],[35.01000000,139.00000000],[35.01000000,139.01000000]],{color:'#ff0000',weight:2,opacity:0.8}).addTo(map);",
  'myPath0001.bindTooltip("c-12 テスト川");',
  'myPath0001.bindPopup("流路:c-12<br>所属河川:テスト川<br>河川コード:1234560001<br>水系コード:123456<br>原典資料種別:1<br>延長距離:2.022 km<br>方向:↑→");',
  "var marker0001a=L.circleMarker([35.00000000,139.00000000],{radius:3,color:'#ff0000',fillOpacity:0}).addTo(map);",
  'marker0001a.bindTooltip("c-12 始点");',
  'marker0001a.bindPopup("c-12 始点");',
  "var marker0001b=L.circleMarker([35.01000000,139.01000000],{radius:1,color:'#ff0000',fillcolor:'#ff0000',fillOpacity:1}).addTo(map);",
  'marker0001b.bindTooltip("c-12 終点");',
  'marker0001b.bindPopup("c-12 終点");',
];

function page(lines) {
  return [
    '<!DOCTYPE html>',
    '<html><head>',
    '<meta charset="utf-8">',
    '<title>t</title>',
    '<link rel="stylesheet" href="https://cdn.example/leaflet@1.4.0/dist/leaflet.css"/>',
    '<script src="https://cdn.example/leaflet@1.4.0/dist/leaflet.js"></script>',
    '</head><body>',
    '<script>',
    `var osm=L.tileLayer("https://{s}.tiles.example/{z}/{x}/{y}.png",{minZoom:2,maxZoom:19,attribution:'x'});`,
    `var gsir=L.tileLayer('https://gsi.example/xyz/relief/{z}/{x}/{y}.png',{opacity:0.700000,maxNativeZoom:15,attribution:'x'});`,
    "var map=L.map('mapid');",
    'var baseMaps={"OpenStreetMap":osm,"地理院地図(標準)":gsi};',
    'var overlayMaps={"色別標高図":gsir};',
    ...lines,
    'map.fitBounds(L.latLngBounds([35.00000000,139.00000000],[35.01000000,139.01000000]));',
    'osmjp.addTo(map);',
    '</script>',
    '</body></html>',
    '',
  ].join('\n');
}

test('script string literals decode as the browser reads them, and nothing else is evaluated', () => {
  assert.equal(decodeStringLiteral('"c-1 a\\"b\\\\c<\\/script>"'), 'c-1 a"b\\c</script>');
  assert.equal(decodeStringLiteral('"tab\\u0009 line\\u2028"'), 'tab\t line\u2028');
  assert.equal(decodeStringLiteral('"\\x41\\\'\tB"'), "A'\tB");
  assert.throws(() => decodeStringLiteral('"a"+globalThis.x+"b"'));
  assert.throws(() => decodeStringLiteral('"unterminated'));
  assert.throws(() => decodeStringLiteral('"a" "b"'));
});

test('a map page yields its head, layers, polylines, markers and view box', () => {
  const parsed = parseMapPage(page(STREAM));
  assert.deepEqual(parsed.problems, []);
  assert.equal(parsed.script, 'https://cdn.example/leaflet@1.4.0/dist/leaflet.js');
  assert.equal(parsed.styleSheet, 'https://cdn.example/leaflet@1.4.0/dist/leaflet.css');
  assert.deepEqual(parsed.tileLayers.map((t) => t.variable), ['osm', 'gsir']);
  assert.deepEqual(parsed.baseMaps, [{ label: 'OpenStreetMap', variable: 'osm' }, { label: '地理院地図(標準)', variable: 'gsi' }]);
  assert.deepEqual(parsed.overlayMaps, [{ label: '色別標高図', variable: 'gsir' }]);
  assert.equal(parsed.pathCount, 1);
  assert.equal(parsed.circleMarkerCalls, 2);
  const path = parsed.paths.get('0001');
  assert.equal(path.variable, 'myPath0001');
  assert.equal(path.color, '#ff0000');
  assert.deepEqual(path.positions, [[35, 139], [35.01, 139], [35.01, 139.01]]);
  assert.equal(path.tooltip, 'c-12 テスト川');
  assert.deepEqual(path.comment, { curvePosition: 12, name: 'テスト川' });
  assert.deepEqual(parsed.markers.map((m) => [m.variable, m.radius, m.tooltip, m.popup]), [
    ['marker0001a', 3, 'c-12 始点', 'c-12 始点'],
    ['marker0001b', 1, 'c-12 終点', 'c-12 終点'],
  ]);
  assert.deepEqual(parsed.fitBounds, { minLat: 35, minLon: 139, maxLat: 35.01, maxLon: 139.01 });
  assert.deepEqual(positionBox(parsed.paths.values()), { minLat: 35, maxLat: 35.01, minLon: 139, maxLon: 139.01 });
  assert.equal(parsed.initialLayer, 'osmjp');
});

test('a page whose script strings are broken or incomplete is reported, not misread', () => {
  const unescaped = STREAM.map((l) => l.replace('bindTooltip("c-12 テスト川")', 'bindTooltip("c-12 テ"スト川")'));
  const parsed = parseMapPage(page(unescaped));
  assert.ok(parsed.problems.some((p) => p.startsWith('unexpected script line: myPath0001.bindTooltip')));
  assert.ok(parsed.problems.includes('myPath0001 has no tooltip line'));

  const withoutPopup = parseMapPage(page(STREAM.filter((l) => !l.startsWith('marker0001b.bindPopup'))));
  assert.deepEqual(withoutPopup.problems, ['marker0001b has no popup line']);

  const fiveDigits = parseMapPage(page([STREAM[1].replace('myPath0001', 'myPath10000')]));
  assert.equal(fiveDigits.paths.get('10000').variable, 'myPath10000');
  assert.equal(fiveDigits.pathCount, 1);
});

test('an empty polyline has no positions and does not widen the box', () => {
  const parsed = parseMapPage(page(["var myPath0001=L.polyline([],{color:'#0000ff',weight:2,opacity:0.8}).addTo(map);"]));
  assert.deepEqual(parsed.paths.get('0001').positions, []);
  assert.equal(positionBox(parsed.paths.values()), null);
});

test('stream popups split into their fields', () => {
  assert.deepEqual(
    parsePopup('流路:c-12<br>所属河川:A<br>B<br>河川コード:1234560001<br>水系コード:123456<br>原典資料種別:-1<br>延長距離:0.000 km<br>方向:'),
    { location: 12, riverName: 'A<br>B', riverCode: '1234560001', waterSystemCode: '123456', originalDataType: -1, lengthKm: 0, direction: '' },
  );
  assert.equal(parsePopup('c-12 始点'), null);
});

test('length and direction follow the worked values of the map writer', () => {
  const [ky0, kx0] = kmPerDegreeAt(0);
  assert.ok(Math.abs(ky0 - 110.57427582158813) < 1e-9);
  assert.ok(Math.abs(kx0 - 111.31949079327356) < 1e-9);
  const [ky35, kx35] = kmPerDegreeAt(35);
  assert.ok(Math.abs(ky35 - 110.9405745) < 1e-6 && Math.abs(kx35 - 91.2881697) < 1e-6);
  assert.equal(curveLength([[35, 139], [35.01, 139], [35.01, 139.01]]).toFixed(3), '2.022');
  assert.equal(curveLength([[35, 139]]), 0);
  assert.equal(curveLength([]), 0);
  assert.equal(directionText({ lat: 35, lon: 139 }, { lat: 35.01, lon: 139.01 }), '↑→');
  assert.equal(directionText({ lat: 35.01, lon: 139.01 }, { lat: 35, lon: 139 }), '↓←');
  assert.equal(directionText({ lat: 35, lon: 139 }, { lat: 35, lon: 139 }), '↑→');
});

test('tile templates match their tile requests only', () => {
  const osm = tileTemplatePattern('https://{s}.tiles.example/{z}/{x}/{y}.png');
  assert.ok(osm.test('https://a.tiles.example/5/28/12.png'));
  assert.ok(!osm.test('https://a.tiles.example/5/28/12.png.evil'));
  assert.ok(!osm.test('https://tiles.example.evil/5/28/12.png'));
  const photo = tileTemplatePattern('https://gsi.example/xyz/seamlessphoto/{z}/{x}/{y}.jpg');
  assert.ok(photo.test('https://gsi.example/xyz/seamlessphoto/10/908/403.jpg'));
  assert.ok(!photo.test('https://gsi.example/xyz/seamlessphoto/10/908/403.png'));
});

test('the index page yields its headings and links', () => {
  const text =
    '<h3>東京都</h3>\n<a href="W05-09_13-g_html/830001_荒川.htm"><small>830001 </small>荒川</a> ' +
    '<a href="W05-09_13-g_html/830002.htm"><small>830002 </small></a> <br><p>\n<h3>神奈川県</h3>\n';
  assert.deepEqual(parseIndexPage(text), {
    headings: ['東京都', '神奈川県'],
    links: [
      { href: 'W05-09_13-g_html/830001_荒川.htm', code: '830001', label: '荒川' },
      { href: 'W05-09_13-g_html/830002.htm', code: '830002', label: '' },
    ],
  });
});
