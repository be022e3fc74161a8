// The script of an atlas page. atlas.page(map, element) draws the rivers of the FeatureCollection
// held by `element` on one canvas, in the colours of its features, and gives them the tooltips
// and popups of the map page, made from the features' properties when they open. The node
// markers appear from MARKER_ZOOM on, for the rivers in view. A legend lists the water systems
// and their rivers; a search finds rivers by any part of their names (kanji or kana) or codes.
// Names from the data are only ever set as text, never as markup.
//
// The hydrochart build writes this file into every atlas page without its indentation, its
// comment lines and its blank lines: no line of it may continue in another.
var atlas = (function () {
  'use strict';

  // From this zoom level on, the markers of stream and river nodes are drawn.
  var MARKER_ZOOM = 13;
  var LINE = { weight: 2, opacity: 0.8 };
  var HIGHLIGHT = { weight: 5, opacity: 1 };
  // The markers of the map page: stream start and end node, river start and end node.
  var NODE_STYLES = [
    { radius: 3, fillOpacity: 0 },
    { radius: 1, fillOpacity: 1 },
    { radius: 11, fillOpacity: 0 },
    { radius: 7, fillOpacity: 1 },
  ];
  var NODE_LABELS = ['始点', '終点', '始点', '終点'];
  // Screens narrower than this start with the legend folded.
  var NARROW = 600;

  // A code as the map page prints it, from its zero-padded text: "%lld" of the 64-bit river
  // code, "%d" of the 32-bit water-system code.
  function riverCodeText(code) {
    if (typeof BigInt === 'function') return BigInt.asIntN(64, BigInt(code)).toString();
    return String(code).replace(/^0+(?=\d)/, '');
  }
  function systemCodeText(code) {
    return String(Number(code) | 0);
  }

  // The stream's tooltip text and the lines of its popup, as the map page writes them.
  function streamTooltip(p) {
    return 'c-' + p.curveId + ' ' + p.riverName;
  }
  function streamPopupLines(p) {
    // A length too large for a number is written null; the map page shows "inf" for it.
    var length = p.lengthKm === null ? 'inf' : p.lengthKm.toFixed(3);
    return [
      '流路:c-' + p.curveId,
      '所属河川:' + p.riverName,
      '河川コード:' + riverCodeText(p.riverCode),
      '水系コード:' + systemCodeText(p.waterSystemCode),
      '原典資料種別:' + p.originalDataType,
      '延長距離:' + length + ' km',
      '方向:' + p.direction,
    ];
  }
  // The text of node marker `node` (an index into NODE_STYLES) of a stream.
  function nodeText(p, node) {
    return (node < 2 ? 'c-' + p.curveId : p.riverName) + ' ' + NODE_LABELS[node];
  }

  // Text for matching: compatibility forms unified (full-width letters and digits, half-width
  // kana), lower case, katakana as hiragana.
  function fold(text) {
    var folded = String(text).normalize('NFKC').toLowerCase();
    return folded.replace(/[\u30a1-\u30f6]/g, function (c) {
      return String.fromCharCode(c.charCodeAt(0) - 0x60);
    });
  }
  // Whether a river (its name and codes) matches a query, folded or not: any part of its name,
  // or any part of its river code or of its water system's code.
  function matches(river, query) {
    var q = fold(query).trim();
    if (q === '') return false;
    return (
      fold(river.name).indexOf(q) >= 0 ||
      river.code.indexOf(q) >= 0 ||
      riverCodeText(river.code).indexOf(q) >= 0 ||
      river.system.code.indexOf(q) >= 0
    );
  }

  function textLines(texts) {
    var fragment = document.createDocumentFragment();
    texts.forEach(function (text, i) {
      if (i > 0) fragment.appendChild(document.createElement('br'));
      fragment.appendChild(document.createTextNode(text));
    });
    return fragment;
  }

  function element(tag, className, text) {
    var e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function swatch(color) {
    var e = element('span', 'atlas-swatch');
    if (/^#[0-9a-f]{6}$/.test(color)) e.style.background = color;
    return e;
  }

  // The water systems of the drawn lines in the order of the page, each with its rivers in
  // order, each river with its lines and colours.
  function Systems() {
    this.list = [];
    this.byCode = {};
  }
  Systems.prototype.add = function (layer) {
    var p = layer.feature.properties;
    var system = this.byCode[p.waterSystemCode];
    if (!system) {
      system = { code: p.waterSystemCode, name: p.waterSystemName, rivers: [], byCode: {} };
      system.shown = true;
      this.byCode[p.waterSystemCode] = system;
      this.list.push(system);
    }
    var river = system.byCode[p.riverCode];
    if (!river) {
      river = { system: system, code: p.riverCode, name: p.riverName, layers: [], colors: [] };
      system.byCode[p.riverCode] = river;
      system.rivers.push(river);
    }
    river.layers.push(layer);
    if (river.colors.indexOf(p.stroke) < 0) river.colors.push(p.stroke);
  };

  function boundsOf(rivers) {
    var bounds = L.latLngBounds([]);
    rivers.forEach(function (river) {
      river.layers.forEach(function (layer) {
        bounds.extend(layer.getBounds());
      });
    });
    return bounds;
  }

  function page(map, dataElement) {
    var collection = JSON.parse(dataElement.textContent);
    var renderer = L.canvas({ padding: 0.3 });
    var systems = new Systems();
    var lines = L.geoJSON(collection, {
      renderer: renderer,
      style: function (feature) {
        return { color: feature.properties.stroke, weight: LINE.weight, opacity: LINE.opacity };
      },
      onEachFeature: function (feature, layer) {
        systems.add(layer);
      },
    });
    lines.bindTooltip(function (layer) {
      return document.createTextNode(streamTooltip(layer.feature.properties));
    });
    lines.bindPopup(function (layer) {
      return textLines(streamPopupLines(layer.feature.properties));
    });
    lines.addTo(map);

    var markers = nodeMarkers(map, renderer, systems);
    var highlighted = [];
    function highlight(rivers) {
      highlighted.forEach(function (layer) {
        layer.setStyle(LINE);
      });
      highlighted = [];
      rivers.forEach(function (river) {
        river.layers.forEach(function (layer) {
          layer.setStyle(HIGHLIGHT);
          if (map.hasLayer(layer)) layer.bringToFront();
          highlighted.push(layer);
        });
      });
    }
    function fit(rivers) {
      var bounds = boundsOf(rivers);
      if (bounds.isValid()) map.fitBounds(bounds, { padding: [24, 24], maxZoom: 17 });
      highlight(rivers);
    }
    function show(system, shown) {
      system.shown = shown;
      system.checkbox.checked = shown;
      system.rivers.forEach(function (river) {
        river.layers.forEach(function (layer) {
          if (shown) lines.addLayer(layer);
          else lines.removeLayer(layer);
        });
      });
      markers.update();
    }
    legend(map, systems, { fit: fit, show: show });
  }
  // The markers of the nodes of the lines in view, made once per line when first needed, shown
  // from MARKER_ZOOM on and only for the water systems shown.
  function nodeMarkers(map, renderer, systems) {
    var groups = {};
    function groupOf(system) {
      if (!groups[system.code]) {
        var group = L.featureGroup();
        var text = function (marker) {
          return document.createTextNode(marker.atlasText);
        };
        groups[system.code] = group.bindTooltip(text).bindPopup(text);
      }
      return groups[system.code];
    }
    function make(system, layer) {
      var p = layer.feature.properties;
      (p.nodes || []).forEach(function (position, node) {
        if (!position) return;
        var marker = L.circleMarker([position[1], position[0]], {
          renderer: renderer,
          radius: NODE_STYLES[node].radius,
          color: p.stroke,
          fillOpacity: NODE_STYLES[node].fillOpacity,
        });
        marker.atlasText = nodeText(p, node);
        groupOf(system).addLayer(marker);
      });
      layer.atlasMarkersMade = true;
    }
    function update() {
      var near = map.getZoom() >= MARKER_ZOOM;
      var view = near ? map.getBounds().pad(0.25) : null;
      systems.list.forEach(function (system) {
        if (near && system.shown) {
          system.rivers.forEach(function (river) {
            river.layers.forEach(function (layer) {
              if (!layer.atlasMarkersMade && view.intersects(layer.getBounds())) make(system, layer);
            });
          });
        }
        var group = groups[system.code];
        if (!group) return;
        if (near && system.shown) map.addLayer(group);
        else map.removeLayer(group);
      });
    }
    map.whenReady(update);
    map.on('zoomend moveend', update);
    return { update: update };
  }

  // The legend panel: a search box, then per water system a checkbox that shows or hides it and
  // its name, which fits the map to it; under it its rivers, each of which fits the map to
  // itself. `act.fit(rivers)` fits and highlights, `act.show(system, shown)` shows or hides.
  function legend(map, systems, act) {
    var panel = element('div', 'atlas-legend');
    var head = element('div', 'atlas-head');
    var foldButton = element('button', 'atlas-fold', '凡例');
    foldButton.type = 'button';
    var search = element('input', 'atlas-search');
    search.type = 'search';
    search.placeholder = '河川名・コード';
    search.setAttribute('aria-label', '河川の検索');
    var status = element('span', 'atlas-status');
    head.appendChild(foldButton);
    head.appendChild(search);
    head.appendChild(status);
    var body = element('div', 'atlas-body');
    panel.appendChild(head);
    panel.appendChild(body);

    systems.list.forEach(function (system) {
      var box = element('div', 'atlas-system');
      var title = element('div', 'atlas-system-title');
      var checkbox = element('input');
      checkbox.type = 'checkbox';
      checkbox.checked = true;
      checkbox.setAttribute('aria-label', '表示');
      checkbox.addEventListener('change', function () {
        act.show(system, checkbox.checked);
      });
      system.checkbox = checkbox;
      var label = system.code + (system.name ? ' ' + system.name : '');
      var name = element('a', 'atlas-system-name', label);
      name.href = '#';
      name.addEventListener('click', function (e) {
        e.preventDefault();
        act.fit(system.rivers);
        mark(system.rivers);
      });
      title.appendChild(checkbox);
      title.appendChild(name);
      box.appendChild(title);
      var list = element('ul', 'atlas-rivers');
      system.rivers.forEach(function (river) {
        var item = element('li', 'atlas-river');
        river.colors.forEach(function (color) {
          item.appendChild(swatch(color));
        });
        item.appendChild(element('span', 'atlas-river-name', river.name || riverCodeText(river.code)));
        item.appendChild(element('small', 'atlas-code', riverCodeText(river.code)));
        item.addEventListener('click', function () {
          act.fit([river]);
          mark([river]);
        });
        river.item = item;
        list.appendChild(item);
      });
      system.box = box;
      box.appendChild(list);
      body.appendChild(box);
    });

    function mark(rivers) {
      systems.list.forEach(function (system) {
        system.rivers.forEach(function (river) {
          river.item.classList.toggle('atlas-on', rivers.indexOf(river) >= 0);
        });
      });
    }
    // Shows only the rivers that match the query (all of them for an empty one).
    function filter() {
      var query = search.value;
      var found = [];
      systems.list.forEach(function (system) {
        var any = false;
        system.rivers.forEach(function (river) {
          var hit = query.trim() === '' || matches(river, query);
          river.item.classList.toggle('atlas-hidden', !hit);
          if (hit) {
            any = true;
            if (query.trim() !== '') found.push(river);
          }
        });
        system.box.classList.toggle('atlas-hidden', !any);
      });
      status.textContent = query.trim() === '' ? '' : found.length + '件';
      return found;
    }
    function setFolded(folded) {
      panel.classList.toggle('atlas-folded', folded);
      foldButton.setAttribute('aria-expanded', String(!folded));
    }
    foldButton.addEventListener('click', function () {
      setFolded(!panel.classList.contains('atlas-folded'));
    });
    search.addEventListener('input', function () {
      setFolded(false);
      filter();
    });
    search.addEventListener('keydown', function (e) {
      if (e.key !== 'Enter') return;
      var found = filter();
      if (found.length === 0) return;
      found.forEach(function (river) {
        if (!river.system.shown) act.show(river.system, true);
      });
      act.fit(found);
      mark(found);
    });
    setFolded(window.innerWidth < NARROW);

    var Control = L.Control.extend({
      options: { position: 'topleft' },
      onAdd: function () {
        L.DomEvent.disableClickPropagation(panel);
        L.DomEvent.disableScrollPropagation(panel);
        return panel;
      },
    });
    new Control().addTo(map);
  }

  var api = {
    page: page,
    fold: fold,
    matches: matches,
    streamTooltip: streamTooltip,
    streamPopupLines: streamPopupLines,
    nodeText: nodeText,
    riverCodeText: riverCodeText,
    systemCodeText: systemCodeText,
  };
  if (typeof module !== 'undefined') module.exports = api;
  return api;
})();
