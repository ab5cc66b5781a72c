// The search box of the reader page. It folds what is typed as the index
// folds the turns, loads only the scripts of the words asked for (each a
// call of qzIndex(name, text)), and lists the turns found. The index's
// files and numbers are described in src/search/FORMAT.md.
//
// Its constants come from the program, in the object QZ the page defines
// before this script: folds, pairs, longest, buckets, lastDigit, moreDigit,
// names. In node, this file exports makeSearch(QZ), the pure part, for the
// tests; in the page it starts the box.
//
// What it needs of the page: the elements #search (with data-index,
// data-blocks and data-block-size), #q, #found, #results and #more, and
// window.qzReader (reader.js) to place and draw the turns it finds.
//
// Every text a reader sees is written with \u escapes: the page is
// Windows-1250, and this script stays plain ASCII.
(function (root) {
  'use strict';

  function makeSearch(QZ) {
    // The folded words of text, as the index holds them.
    function words(text) {
      if (text.normalize) text = text.normalize('NFC');
      var out = [], word = '';
      for (var i = 0; i <= text.length; i++) {
        var code = i < text.length ? text.charCodeAt(i) : 32, fold = '';
        if (code < 128) {
          fold = String.fromCharCode(code).toLowerCase();
          if (!/[a-z0-9]/.test(fold)) fold = '';
        } else if (code >= 0xC0 && code < 0xC0 + QZ.folds.length) {
          fold = QZ.folds.charAt(code - 0xC0);
          if (fold === '.') fold = '';
          else if (fold >= '1' && fold <= '5') fold = QZ.pairs[fold - 1];
        }
        if (fold) word += fold;
        else if (word) { out.push(word.slice(0, QZ.longest)); word = ''; }
      }
      return out;
    }

    // The query as words each turn must hold (the last perhaps as a
    // prefix) and phrases whose words must stand in that order.
    function parse(text) {
      var parts = text.split('"'), query = {words: [], phrases: [], prefix: ''};
      for (var p = 0; p < parts.length; p++) {
        var list = words(parts[p]);
        if (p % 2 === 1 && list.length > 1) query.phrases.push(list);
        query.words = query.words.concat(list);
      }
      var last = parts[parts.length - 1], n = query.words.length;
      if (parts.length % 2 === 1 && words(last.slice(-1)).length && n &&
          query.words[n - 1].length >= 2 && query.words[n - 1].length < QZ.longest) {
        query.prefix = query.words.pop();
      }
      return query;
    }

    var digit = [], isLast = [];
    for (var d = 0; d < 32; d++) {
      digit[QZ.lastDigit.charCodeAt(d)] = d;
      isLast[QZ.lastDigit.charCodeAt(d)] = true;
      digit[QZ.moreDigit.charCodeAt(d)] = d;
    }
    // The numbers of text, one at a time: next() gives the next one (-1 at
    // the end of a damaged text, rather than reading past it for ever), and
    // skip(count) passes that many unread.
    function numberReader(text) {
      var at = 0;
      return {
        more: function () { return at < text.length; },
        next: function () {
          var value = 0, c;
          do {
            if (at >= text.length) return -1;
            c = text.charCodeAt(at++);
            value = value * 32 + digit[c];
          } while (!isLast[c]);
          return value;
        },
        skip: function (count) {
          while (count > 0 && at < text.length) if (isLast[text.charCodeAt(at++)]) count--;
        }
      };
    }
    // The turns of a list of gaps, each the distance from the last less one.
    function turnsOf(list) {
      var reader = numberReader(list), turns = [], turn = -1;
      while (reader.more()) turns.push(turn += reader.next() + 1);
      return turns;
    }
    // The turns that every list holds (each list rising, of turns below
    // size), in rising order.
    function intersect(lists, size) {
      lists = lists.slice().sort(function (a, b) { return a.length - b.length; });
      var hits = lists[0] || [];
      for (var s = 1; s < lists.length && hits.length; s++) {
        var mark = new Uint8Array(size);
        lists[s].forEach(function (t) { mark[t] = 1; });
        hits = hits.filter(function (t) { return mark[t]; });
      }
      return hits;
    }

    // A name of the index from its pattern ("b{block}-{generation}-{key}").
    function fill(pattern, fields) {
      return pattern.replace(/\{(\w+)\}/g, function (all, field) { return fields[field]; });
    }
    // The bucket of a word's places: FNV-1a of its letters.
    function bucketOf(word) {
      for (var i = 0, hash = 2166136261; i < word.length; i++)
        hash = Math.imul(hash ^ word.charCodeAt(i), 16777619) >>> 0;
      return hash % QZ.buckets;
    }
    function turnsName(block, generation, word) {
      return fill(QZ.names.turns, {block: block, generation: generation, key: word.slice(0, 2)});
    }
    function placesName(block, generation, word) {
      return fill(QZ.names.places, {block: block, generation: generation, bucket: bucketOf(word)});
    }

    // A script's text as a map of word to list.
    function listsOf(text) {
      var map = new Map(), fields = text ? text.split(' ') : [];
      for (var i = 0; i + 1 < fields.length; i += 2) map.set(fields[i], fields[i + 1]);
      return map;
    }
    // The places of a word in each of the turns wanted, read in one pass
    // over its lists, the other turns' places skipped unread.
    function placesOf(turnList, placeList, wanted) {
      var found = new Map(), turns = turnsOf(turnList || '');
      var reader = numberReader(placeList || '');
      for (var i = 0; i < turns.length && reader.more(); i++) {
        var count = reader.next() + 1;
        if (!wanted.has(turns[i])) {
          reader.skip(count);
          continue;
        }
        var list = new Set(), place = -1;
        while (count-- > 0) list.add(place += reader.next() + 1);
        found.set(turns[i], list);
      }
      return found;
    }
    // Whether the words, by their places in each turn, stand in order in t.
    function holdsPhrase(places, t) {
      var first = places[0].get(t);
      if (!first) return false;
      for (var place of first) {
        var all = true;
        for (var w = 1; w < places.length && all; w++) {
          var set = places[w].get(t);
          all = !!set && set.has(place + w);
        }
        if (all) return true;
      }
      return false;
    }

    // An index of blocks of blockTurns, each of its generation, whose
    // scripts load(name) gives (a promise of their text, null when there is
    // none). find(query) gives the numbers of the turns that hold it.
    function createIndex(generations, blockTurns, load) {
      var lists = {};
      function shard(name) {
        return load(name).then(function (text) {
          if (!lists[name]) lists[name] = listsOf(text);
          return lists[name];
        });
      }
      function searchBlock(block, query) {
        var generation = generations[block], sets = [];
        var asked = query.words.concat(query.prefix ? [query.prefix] : []);
        return Promise.all(asked.map(function (word) {
          return shard(turnsName(block, generation, word));
        })).then(function (maps) {
          query.words.forEach(function (word, i) {
            var list = maps[i].get(word);
            sets.push(list ? turnsOf(list) : []);
          });
          if (query.prefix) {
            var marks = new Uint8Array(blockTurns), union = [];
            maps[maps.length - 1].forEach(function (list, word) {
              if (word.lastIndexOf(query.prefix, 0) !== 0) return;
              var reader = numberReader(list), t = -1;
              while (reader.more()) marks[t += reader.next() + 1] = 1;
            });
            for (var t = 0; t < blockTurns; t++) if (marks[t]) union.push(t);
            sets.push(union);
          }
          var hits = intersect(sets, blockTurns);
          if (!hits.length || !query.phrases.length) return hits;
          var phraseWords = [].concat.apply([], query.phrases);
          return Promise.all(phraseWords.map(function (word) {
            return Promise.all([shard(turnsName(block, generation, word)),
                                shard(placesName(block, generation, word))]);
          })).then(function (got) {
            var wanted = new Set(hits), at = 0;
            query.phrases.forEach(function (phrase) {
              var places = phrase.map(function (word) {
                var pair = got[at++];
                return placesOf(pair[0].get(word), pair[1].get(word), wanted);
              });
              hits = hits.filter(function (t) { return holdsPhrase(places, t); });
            });
            return hits;
          });
        });
      }
      return {
        find: function (query) {
          var blocks = [];
          for (var b = 0; b < generations.length; b++) blocks.push(searchBlock(b, query));
          return Promise.all(blocks).then(function (hits) {
            var numbers = [];
            hits.forEach(function (list, b) {
              list.forEach(function (t) { numbers.push(b * blockTurns + t); });
            });
            return numbers;
          });
        },
        forget: function () { lists = {}; }
      };
    }

    return {
      words: words, parse: parse, numberReader: numberReader, turnsOf: turnsOf,
      intersect: intersect, fill: fill, bucketOf: bucketOf, turnsName: turnsName,
      placesName: placesName, listsOf: listsOf, placesOf: placesOf, holdsPhrase: holdsPhrase,
      createIndex: createIndex
    };
  }

  // The box in the page.
  function startPage(S, document, window) {
    var box = document.getElementById('search');
    var input = document.getElementById('q');
    var found = document.getElementById('found');
    var results = document.getElementById('results');
    var more = document.getElementById('more');
    var docsFile = box.getAttribute('data-index');
    var generations = (box.getAttribute('data-blocks') || '').split(' ').filter(Boolean);
    var blockTurns = +box.getAttribute('data-block-size');
    var NO_INDEX = 'A keres\u00e9s index\u00e9t a k\u00f6vetkez\u0151 fut\u00e1s k\u00e9sz\u00edti el.';
    var HITS = ' tal\u00e1lat';
    var SHOWN = 200;
    var HOLD = 64 * 1024 * 1024;
    var QZ_NAMES = root.QZ.names;
    var texts = {}, waiting = {}, held = 0, asked = 0, shown = [];
    window.qzIndex = function (name, text) { texts[name] = text; held += text.length; };

    // A script of the index, loaded once; null when it is not there.
    function load(name) {
      if (name in texts) return Promise.resolve(texts[name]);
      if (!waiting[name]) {
        waiting[name] = new Promise(function (done) {
          var script = document.createElement('script');
          if (name !== QZ_NAMES.docs) script.setAttribute('data-shard', '');
          script.onload = function () {
            if (!(name in texts)) texts[name] = null;
            done(texts[name]);
          };
          script.onerror = function () { texts[name] = null; done(null); };
          script.src = name === QZ_NAMES.docs ? docsFile : QZ_NAMES.folder + name + QZ_NAMES.suffix;
          document.head.appendChild(script);
        });
      }
      return waiting[name];
    }
    var index = S.createIndex(generations, blockTurns, load);

    // Past a bound, the scripts loaded so far are let go before the next
    // search, so that a long session does not come to hold the whole index.
    function forget() {
      if (held <= HOLD) return;
      for (var name in texts) {
        if (name !== QZ_NAMES.docs) { delete texts[name]; delete waiting[name]; }
      }
      index.forget();
      held = texts[QZ_NAMES.docs] ? texts[QZ_NAMES.docs].length : 0;
      var scripts = document.querySelectorAll('script[data-shard]');
      for (var i = 0; i < scripts.length; i++) scripts[i].parentNode.removeChild(scripts[i]);
    }

    function showFrom(start) {
      for (var i = start; i < shown.length && i < start + SHOWN; i++) {
        var li = shown[i].make(), who = document.createElement('b');
        who.textContent = shown[i].number + ': ';
        li.insertBefore(who, li.firstChild);
        results.appendChild(li);
      }
      more.hidden = shown.length <= start + SHOWN;
      more.onclick = function () { showFrom(start + SHOWN); };
    }
    function say(text) {
      found.textContent = text;
      results.textContent = '';
      more.hidden = true;
    }

    function search(text) {
      var ask = ++asked, query = S.parse(text);
      if (!query.words.length && !query.prefix) { say(''); return; }
      if (!docsFile) { say(NO_INDEX); return; }
      forget();
      Promise.all([load(QZ_NAMES.docs), index.find(query)]).then(function (got) {
        if (ask !== asked) return;
        if (got[0] === null) { say(NO_INDEX); return; }
        var docs = got[0].split(' '), places = [];
        got[1].forEach(function (n) {
          var place = window.qzReader.locate(docs[n]);
          if (place) places.push(place);
        });
        shown = places.sort(function (a, b) { return a.rank - b.rank; });
        say(shown.length + HITS);
        showFrom(0);
        try { window.history.replaceState(null, '', '#search=' + encodeURIComponent(text)); }
        catch (e) {}
      });
    }

    var timer = null;
    input.addEventListener('input', function () {
      clearTimeout(timer);
      timer = setTimeout(function () { search(input.value); }, 50);
    });
    function fromAddress() {
      var hash = window.location.hash;
      if (hash.lastIndexOf('#search=', 0) !== 0) return;
      var text = hash.slice(8);
      try { text = decodeURIComponent(text); } catch (e) {}
      input.value = text;
      search(text);
    }
    window.addEventListener('hashchange', fromAddress);
    if (!docsFile) found.textContent = NO_INDEX;
    fromAddress();
  }

  if (typeof module === 'object' && module.exports) module.exports = makeSearch;
  else startPage(makeSearch(root.QZ), root.document, root);
})(this);
