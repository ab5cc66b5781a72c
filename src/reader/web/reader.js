// The reader page: the characters of the archive, the turns of the one
// chosen, and the chosen turn in the pane beside them, stepped through by
// the buttons and the arrow keys. The list of a character's turns is built
// when the character is chosen, from the data the page holds, so that the
// page is ready at once however large the archive.
//
// The data: the array QZ_CHARACTERS, in the page's order, of
// [id, number, prefix, turns]: the character's folder, its number, the
// address of its turn files up to their key, and its turns in order, one a
// line ("\n"), each "key TAB encoded key TAB mark TAB title": the key as the
// file name has it, the key as its address has it (empty when the same),
// "n" for a turn new in this run, "e" for an empty file, and the title as
// HTML text (entities, never tags).
//
// What it needs of the page: #pane, #where, #prev, #next, the links
// a[data-c] of #characters, and the list ol#turns it fills. What it gives
// the search (search.js): window.qzReader.locate(address), the place of a
// turn in the page's order (rank), its character's number, and make(), a
// new entry for it as the list shows it.
//
// In node, this file exports the pure part for the tests.
(function (root) {
  'use strict';

  // A numbered key as people write it, without the zeros the file name
  // pads it with.
  function shownKey(key) {
    return /^[0-9]+$/.test(key) ? key.replace(/^0+(?=.)/, '') : key;
  }
  function plain(s) {
    try { return decodeURIComponent(s); } catch (e) { return s; }
  }

  // The turns of one character's data.
  function parseTurns(prefix, text) {
    var turns = [], lines = text ? text.split('\n') : [];
    for (var i = 0; i < lines.length; i++) {
      var f = lines[i].split('\t');
      turns.push({key: f[0], href: prefix + (f[1] || f[0]) + '.htm', mark: f[2],
                  title: f.slice(3).join('\t')});
    }
    return turns;
  }

  // The archive of the data, each character's turns read when first asked
  // for; locate(address) finds a turn by its address, as the page links it
  // or as an address bar gives it back, without a walk over every list.
  function createArchive(data) {
    var byFolder = new Map(), byPlainFolder = new Map();
    var characters = data.map(function (row, position) {
      var c = {id: row[0], number: row[1], prefix: row[2], position: position, list: null};
      c.turns = function () {
        if (!c.list) {
          c.list = parseTurns(c.prefix, row[3]);
          c.at = new Map();
          c.plainAt = new Map();
          c.list.forEach(function (turn, i) {
            c.at.set(turn.href, i);
            c.plainAt.set(plain(turn.href), i);
          });
        }
        return c.list;
      };
      var folder = c.prefix.slice(0, c.prefix.indexOf('/'));
      byFolder.set(folder, c);
      byPlainFolder.set(plain(folder), c);
      return c;
    });
    function locate(address) {
      var slash = address.indexOf('/');
      if (slash < 0) return null;
      var folder = address.slice(0, slash);
      var c = byFolder.get(folder) || byPlainFolder.get(plain(folder));
      if (!c) return null;
      c.turns();
      var i = c.at.has(address) ? c.at.get(address) : c.plainAt.get(plain(address));
      return i === undefined ? null : {character: c, index: i};
    }
    return {characters: characters, locate: locate};
  }

  function startPage(archive, document, window) {
    var pane = document.getElementById('pane');
    var where = document.getElementById('where');
    var list = document.getElementById('turns');
    var links = new Map(), listed = null, current = null, on = null;
    var all = document.querySelectorAll('#characters a[data-c]');
    for (var i = 0; i < all.length; i++) links.set(all[i].getAttribute('data-c'), all[i]);
    var byId = new Map();
    archive.characters.forEach(function (c) { byId.set(c.id, c); });
    var decoder = document.createElement('textarea');

    // A new entry for a turn: its key as a link into the pane, then its
    // title as text.
    function entry(turn) {
      var li = document.createElement('li'), a = document.createElement('a');
      a.setAttribute('href', turn.href);
      a.setAttribute('target', 'pane');
      a.textContent = shownKey(turn.key);
      li.appendChild(a);
      if (turn.title) {
        decoder.innerHTML = turn.title;  // a textarea's text: entities read, never elements
        li.appendChild(document.createTextNode(' ' + decoder.value));
      }
      return li;
    }
    function showList(c) {
      if (on) on.className = '';
      on = links.get(c.id) || null;
      if (on) on.className = 'on';
      if (listed === c) return;
      listed = c;
      current = null;
      list.textContent = '';
      list.setAttribute('data-n', c.number);
      var turns = c.turns(), items = document.createDocumentFragment();
      turns.forEach(function (turn) {
        var li = entry(turn);
        if (turn.mark) li.className = turn.mark;
        items.appendChild(li);
      });
      list.appendChild(items);
      list.hidden = false;
    }
    function show(address) {
      var place = archive.locate(address);
      if (!place) return false;
      var c = place.character, turns = c.turns(), turn = turns[place.index];
      showList(c);
      if (current) current.element.classList.remove('on');
      current = {character: c, index: place.index, element: list.children[place.index]};
      current.element.classList.add('on');
      if (pane.getAttribute('src') !== turn.href) pane.setAttribute('src', turn.href);
      if (window.location.hash.slice(1) !== turn.href) {
        try { window.history.replaceState(null, '', '#' + turn.href); }
        catch (e) { window.location.hash = turn.href; }
      }
      where.textContent = c.number + ': ' + shownKey(turn.key) + ' (' + (place.index + 1) + '/' +
          turns.length + ')';
      if (current.element.scrollIntoView) current.element.scrollIntoView({block: 'nearest'});
      return true;
    }
    function step(by) {
      if (!current) return;
      var turn = current.character.turns()[current.index + by];
      if (turn) show(turn.href);
    }

    window.qzReader = {
      locate: function (address) {
        var place = archive.locate(address);
        if (!place) return null;
        var c = place.character;
        return {rank: c.position * 4294967296 + place.index, number: c.number,
                make: function () { return entry(c.turns()[place.index]); }};
      }
    };

    document.addEventListener('click', function (e) {
      var a = e.target.closest ? e.target.closest('a') : null;
      if (!a) return;
      var id = a.getAttribute('data-c');
      if (id !== null) {
        e.preventDefault();
        var c = byId.get(id);
        if (c && !(c.turns().length && show(c.turns()[0].href))) showList(c);
      } else if (a.getAttribute('target') === 'pane') {
        e.preventDefault();
        show(a.getAttribute('href'));
      }
    });
    document.getElementById('prev').onclick = function () { step(-1); };
    document.getElementById('next').onclick = function () { step(1); };
    document.addEventListener('keydown', function (e) {
      if (e.target && e.target.tagName === 'INPUT') return;  // the search box's own keys
      var by = {ArrowLeft: -1, ArrowUp: -1, ArrowRight: 1, ArrowDown: 1}[e.key];
      if (by) { e.preventDefault(); step(by); }
    });
    window.addEventListener('hashchange', function () {
      show(window.location.hash.slice(1));
    });
    if (!show(window.location.hash.slice(1)) && archive.characters.length) {
      var first = archive.characters[0].turns()[0];
      if (first) show(first.href);
    }
  }

  var exports = {shownKey: shownKey, parseTurns: parseTurns, createArchive: createArchive};
  if (typeof module === 'object' && module.exports) module.exports = exports;
  else startPage(createArchive(root.QZ_CHARACTERS), root.document, root);
})(this);
