#include "reader/search_page.h"

#include "reader/search_shards.h"
#include "reader/search_text.h"

namespace qz {

namespace {

// Every text a reader sees is written with \u escapes: the page is
// Windows-1250, and the script stays plain ASCII.
constexpr const char* kScript = R"JS(<script>
(function () {
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
  var texts = {}, waiting = {}, parsed = {}, links = null, asked = 0, shown = [];
  var held = 0, HOLD = 64 * 1024 * 1024;
  window.qzIndex = function (name, text) { texts[name] = text; held += text.length; };

  // Past a bound, the shards loaded so far are let go before the next
  // search, so that a long session does not come to hold the whole index.
  function forget() {
    if (held <= HOLD) return;
    for (var name in texts) {
      if (name !== 'docs') { delete texts[name]; delete waiting[name]; delete parsed[name]; }
    }
    held = texts.docs ? texts.docs.length : 0;
    var scripts = document.querySelectorAll('script[data-shard]');
    for (var i = 0; i < scripts.length; i++) scripts[i].parentNode.removeChild(scripts[i]);
  }

  function load(name, file) {
    if (name in texts) return Promise.resolve(texts[name]);
    if (!waiting[name]) {
      waiting[name] = new Promise(function (done) {
        var script = document.createElement('script');
        if (name !== 'docs') script.setAttribute('data-shard', '');
        script.onload = function () {
          if (!(name in texts)) texts[name] = null;
          done(texts[name]);
        };
        script.onerror = function () { texts[name] = null; done(null); };
        script.src = file;
        document.head.appendChild(script);
      });
    }
    return waiting[name];
  }

  function words(text) {
    if (text.normalize) text = text.normalize('NFC');
    var out = [], word = '';
    for (var i = 0; i <= text.length; i++) {
      var code = i < text.length ? text.charCodeAt(i) : 32, fold = '';
      if (code < 128) {
        fold = String.fromCharCode(code).toLowerCase();
        if (!/[a-z0-9]/.test(fold)) fold = '';
      } else if (code >= 0xC0 && code < 0xC0 + FOLDS.length) {
        fold = FOLDS.charAt(code - 0xC0);
        if (fold === '.') fold = '';
        else if (fold >= '1' && fold <= '5') fold = PAIRS[fold - 1];
      }
      if (fold) word += fold;
      else if (word) { out.push(word.slice(0, LONGEST)); word = ''; }
    }
    return out;
  }

  // The query as words each turn must hold (the last perhaps as a prefix)
  // and phrases whose words must stand in that order.
  function parse(text) {
    var parts = text.split('"'), query = {words: [], phrases: [], prefix: ''};
    for (var p = 0; p < parts.length; p++) {
      var list = words(parts[p]);
      if (p % 2 === 1 && list.length > 1) query.phrases.push(list);
      query.words = query.words.concat(list);
    }
    var last = parts[parts.length - 1];
    if (parts.length % 2 === 1 && words(last.slice(-1)).length && query.words.length &&
        query.words[query.words.length - 1].length >= 2 &&
        query.words[query.words.length - 1].length < LONGEST) {
      query.prefix = query.words.pop();
    }
    return query;
  }

  var digit = [], isLast = [];
  for (var d = 0; d < 32; d++) {
    digit[LAST.charCodeAt(d)] = d; isLast[LAST.charCodeAt(d)] = true;
    digit[MORE.charCodeAt(d)] = d;
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
  function turnsOf(list) {
    var reader = numberReader(list), turns = [], turn = -1;
    while (reader.more()) turns.push(turn += reader.next() + 1);
    return turns;
  }
  function shardOf(name) {
    if (!parsed[name]) {
      var map = new Map(), fields = texts[name] ? texts[name].split(' ') : [];
      for (var i = 0; i + 1 < fields.length; i += 2) map.set(fields[i], fields[i + 1]);
      parsed[name] = map;
    }
    return parsed[name];
  }
  function shardName(block, word) {
    return 'b' + block + '-' + generations[block] + '-' + word.slice(0, 2);
  }
  function placesName(block, word) {
    for (var i = 0, hash = 2166136261; i < word.length; i++)
      hash = Math.imul(hash ^ word.charCodeAt(i), 16777619) >>> 0;
    return 'b' + block + '-' + generations[block] + '.p' + hash % BUCKETS;
  }
  function loadShard(name) { return load(name, 'search-index/' + name + '.js'); }

  // The turns of one block that hold every word, then every phrase.
  function searchBlock(block, query) {
    var sets = [];
    query.words.forEach(function (word) {
      var list = shardOf(shardName(block, word)).get(word);
      sets.push(list ? turnsOf(list) : []);
    });
    if (query.prefix) {
      var marks = new Uint8Array(blockTurns), union = [];
      shardOf(shardName(block, query.prefix)).forEach(function (list, word) {
        if (word.lastIndexOf(query.prefix, 0) !== 0) return;
        var reader = numberReader(list), t = -1;
        while (reader.more()) marks[t += reader.next() + 1] = 1;
      });
      for (var t = 0; t < blockTurns; t++) if (marks[t]) union.push(t);
      sets.push(union);
    }
    sets.sort(function (a, b) { return a.length - b.length; });
    var hits = sets[0];
    for (var s = 1; s < sets.length && hits.length; s++) {
      var mark = new Uint8Array(blockTurns);
      sets[s].forEach(function (t) { mark[t] = 1; });
      hits = hits.filter(function (t) { return mark[t]; });
    }
    if (!hits.length || !query.phrases.length) return Promise.resolve(hits);
    var names = [];
    query.phrases.forEach(function (phrase) {
      phrase.forEach(function (word) { names.push(placesName(block, word)); });
    });
    return Promise.all(names.map(loadShard)).then(function () {
      var wanted = new Set(hits);
      query.phrases.forEach(function (phrase) {
        var places = phrase.map(function (word) { return placesOf(block, word, wanted); });
        hits = hits.filter(function (t) { return holdsPhrase(places, t); });
      });
      return hits;
    });
  }
  // The places of word in each of the turns wanted of block, read in one
  // pass over the word's lists, the other turns' places skipped unread.
  function placesOf(block, word, wanted) {
    var found = new Map(), turns = turnsOf(shardOf(shardName(block, word)).get(word) || '');
    var reader = numberReader(shardOf(placesName(block, word)).get(word) || '');
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

  function linkTable() {
    if (!links) {
      links = new Map();
      var all = document.querySelectorAll('ol.turns a');
      for (var i = 0; i < all.length; i++) links.set(all[i].getAttribute('href'), i);
      links.all = all;
    }
    return links;
  }
  function showFrom(start) {
    var all = linkTable().all;
    for (var i = start; i < shown.length && i < start + SHOWN; i++) {
      var li = all[shown[i]].parentNode.cloneNode(true), who = document.createElement('b');
      li.removeAttribute('class');
      who.textContent = all[shown[i]].parentNode.parentNode.getAttribute('data-n') + ': ';
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
    var ask = ++asked, query = parse(text);
    if (!query.words.length && !query.prefix) { say(''); return; }
    if (!docsFile) { say(NO_INDEX); return; }
    forget();
    var names = [];
    for (var b = 0; b < generations.length; b++) {
      query.words.concat(query.prefix ? [query.prefix] : []).forEach(function (word) {
        names.push(shardName(b, word));
      });
    }
    Promise.all([load('docs', docsFile)].concat(names.map(loadShard))).then(function (got) {
      if (ask !== asked) return;
      if (got[0] === null) { say(NO_INDEX); return; }
      var blocks = [];
      for (var b = 0; b < generations.length; b++) blocks.push(searchBlock(b, query));
      return Promise.all(blocks).then(function (hits) {
        if (ask !== asked) return;
        var docs = texts.docs.split(' '), table = linkTable(), order = [];
        hits.forEach(function (list, b) {
          list.forEach(function (t) {
            var at = table.get(docs[b * blockTurns + t]);
            if (at !== undefined) order.push(at);
          });
        });
        shown = order.sort(function (a, b) { return a - b; });
        say(shown.length + HITS);
        showFrom(0);
        try { history.replaceState(null, '', '#search=' + encodeURIComponent(text)); } catch (e) {}
      });
    });
  }

  var timer = null;
  input.addEventListener('input', function () {
    clearTimeout(timer);
    timer = setTimeout(function () { search(input.value); }, 50);
  });
  function fromAddress() {
    var hash = location.hash;
    if (hash.lastIndexOf('#search=', 0) !== 0) return;
    var text = hash.slice(8);
    try { text = decodeURIComponent(text); } catch (e) {}
    input.value = text;
    search(text);
  }
  window.addEventListener('hashchange', fromAddress);
  if (!docsFile) found.textContent = NO_INDEX;
  fromAddress();
})();
</script>
)JS";

}  // namespace

std::string searchBox(const SearchIndexInfo& info) {
  std::string box = "<div id=\"search\" data-index=\"" + info.docsScript + "\" data-blocks=\"";
  for (size_t i = 0; i < info.blockGenerations.size(); ++i) {
    box += i ? " " : "";
    box += std::to_string(info.blockGenerations[i]);
  }
  box += "\" data-block-size=\"" + std::to_string(info.blockTurns) +
         "\">\n<input id=\"q\" type=\"search\" placeholder=\"Keres\xE9s a fordul\xF3kban\" "
         "autocomplete=\"off\" aria-label=\"Keres\xE9s\">\n<p id=\"found\"></p>\n"
         "<ol id=\"results\"></ol>\n<button id=\"more\" hidden>T\xF6"
         "bb</button>\n</div>\n";
  return box;
}

std::string searchScript() {
  std::string constants = "  var FOLDS = '" + std::string(kLatinFolds) + "', PAIRS = [";
  for (std::string_view pair : kFoldedPairs) {
    constants.append("'").append(pair).append("',");
  }
  constants.back() = ']';
  constants += ", LONGEST = " + std::to_string(kLongestWord) +
               ", BUCKETS = " + std::to_string(kPlaceBuckets) + ";\n  var LAST = '" +
               std::string(kLastDigit) + "', MORE = '" + std::string(kMoreDigit) + "';\n";
  std::string script = kScript;
  const std::string_view opening = "(function () {\n";
  script.insert(script.find(opening) + opening.size(), constants);
  return script;
}

}  // namespace qz
