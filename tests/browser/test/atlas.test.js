'use strict';
// The texts and the search of the atlas page's script, without a browser: what its tooltips and
// popups show must be the map page's texts, which pagetext.js reads.

const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const atlas = require(path.join(__dirname, '..', '..', '..', 'hydrochart', 'atlas', 'atlas.js'));
const { parsePopup } = require('../lib/pagetext');

// The properties of a feature as hydrochart writes them for an atlas page.
const PROPERTIES = {
  waterSystemCode: '123456',
  waterSystemName: '例水系',
  riverCode: '1234560001',
  riverName: 'テスト川',
  sectionType: 1,
  originalDataType: 1,
  curveId: 12,
  lengthKm: 2.022,
  stroke: '#ff0000',
  direction: '↑→',
  nodes: [[139, 35], [139.01, 35.01], [139, 35], [139.01, 35.01]],
};

test('stream tooltip, popup and node texts are those of the map page', () => {
  assert.equal(atlas.streamTooltip(PROPERTIES), 'c-12 テスト川');
  const popup = atlas.streamPopupLines(PROPERTIES).join('<br>');
  assert.equal(popup, '流路:c-12<br>所属河川:テスト川<br>河川コード:1234560001<br>水系コード:123456<br>原典資料種別:1<br>延長距離:2.022 km<br>方向:↑→');
  assert.deepEqual(parsePopup(popup), {
    location: 12,
    riverName: 'テスト川',
    riverCode: '1234560001',
    waterSystemCode: '123456',
    originalDataType: 1,
    lengthKm: 2.022,
    direction: '↑→',
  });
  assert.deepEqual([0, 1, 2, 3].map((node) => atlas.nodeText(PROPERTIES, node)), ['c-12 始点', 'c-12 終点', 'テスト川 始点', 'テスト川 終点']);
  // Trailing zeros of the length, an empty direction, a name that is markup: as written.
  const other = { ...PROPERTIES, lengthKm: 2.02, direction: '', riverName: '<b>川</b>', originalDataType: -3 };
  assert.deepEqual(atlas.streamPopupLines(other).slice(1), ['所属河川:<b>川</b>', '河川コード:1234560001', '水系コード:123456', '原典資料種別:-3', '延長距離:2.020 km', '方向:']);
  assert.equal(atlas.streamPopupLines({ ...PROPERTIES, lengthKm: 0 })[5], '延長距離:0.000 km');
  assert.equal(atlas.streamPopupLines({ ...PROPERTIES, lengthKm: null })[5], '延長距離:inf km');
});

test('codes print as the map page prints them: without padding, through signed conversions', () => {
  assert.equal(atlas.riverCodeText('0123450001'), '123450001');
  assert.equal(atlas.riverCodeText('0000000000'), '0');
  assert.equal(atlas.riverCodeText('9223372036854775807'), '9223372036854775807');
  assert.equal(atlas.riverCodeText('9223372036854775808'), '-9223372036854775808');
  assert.equal(atlas.riverCodeText('18446744073709551615'), '-1');
  assert.equal(atlas.systemCodeText('000099'), '99');
  assert.equal(atlas.systemCodeText('2147483647'), '2147483647');
  assert.equal(atlas.systemCodeText('2147483648'), '-2147483648');
  assert.equal(atlas.systemCodeText('4294967295'), '-1');
});

test('search folds widths, letter case and katakana to hiragana', () => {
  assert.equal(atlas.fold('サガミ'), 'さがみ');
  assert.equal(atlas.fold('ｻｶﾞﾐ'), 'さがみ');
  assert.equal(atlas.fold('ヴァ'), 'ゔぁ');
  assert.equal(atlas.fold('ＡＢｃ１２'), 'abc12');
  assert.equal(atlas.fold('多摩川'), '多摩川');
  assert.equal(atlas.fold('ー'), 'ー');
});

test('search matches any part of a name or of a code', () => {
  const river = { name: '旧江戸川', code: '1300130002', system: { code: '130013' } };
  const kana = { name: 'サガミ川', code: '0810020001', system: { code: '081002' } };
  for (const query of ['江戸', '旧江戸川', '川', ' 江戸 ', '1300130002', '300130', '130013', '１３００１３']) {
    assert.equal(atlas.matches(river, query), true, query);
  }
  for (const query of ['', '   ', 'えど', '江戸川旧', '1300130003', '130014']) {
    assert.equal(atlas.matches(river, query), false, query);
  }
  for (const query of ['さがみ', 'ガミ', 'ｻｶﾞﾐ', 'サガミ川', '810020001', '081002']) {
    assert.equal(atlas.matches(kana, query), true, query);
  }
  assert.equal(atlas.matches(kana, '相模'), false);
});
