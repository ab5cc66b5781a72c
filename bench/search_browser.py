#!/usr/bin/env python3
"""Times the reader page's search in headless Chromium from file://, in real
time (no virtual time): the page's opening, then a query typed into the box
on a fresh page for each word, from the keystroke to the count shown (the
page waits 120 ms for typing to pause; that wait is counted).

Usage: search_browser.py FOLDER WORD...   (FOLDER holds index.htm)
Drives Chromium over --remote-debugging-pipe; prints figures, checks nothing."""
import json
import os
import subprocess
import sys
import tempfile


class Browser:
    def __init__(self):
        self.profile = tempfile.TemporaryDirectory(ignore_cleanup_errors=True)
        to_chrome, self.out = os.pipe()
        self.inp, from_chrome = os.pipe()

        def fds():
            read, write = os.dup(to_chrome), os.dup(from_chrome)
            os.dup2(read, 3)
            os.dup2(write, 4)

        self.proc = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu",
             "--remote-debugging-pipe", "--user-data-dir=" + self.profile.name,
             "about:blank"],
            preexec_fn=fds, close_fds=False, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_chrome)
        os.close(from_chrome)
        self.buffer = b""
        self.next_id = 0
        targets = self.call("Target.getTargets")["targetInfos"]
        page = [t for t in targets if t["type"] == "page"][0]["targetId"]
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": page, "flatten": True})["sessionId"]
        self.call("Page.enable", session=True)

    def message(self):
        while b"\0" not in self.buffer:
            self.buffer += os.read(self.inp, 1 << 20)
        text, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(text)

    def call(self, method, params=None, session=False, until=None):
        self.next_id += 1
        request = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            request["sessionId"] = self.session
        os.write(self.out, json.dumps(request).encode() + b"\0")
        result = None
        while True:
            answer = self.message()
            if answer.get("id") == self.next_id:
                result = answer.get("result", answer)
                if until is None:
                    return result
            elif until is not None and answer.get("method") == until:
                return result

    def open(self, url):
        self.call("Page.navigate", {"url": url}, session=True, until="Page.loadEventFired")

    def evaluate(self, expression):
        got = self.call("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                             "returnByValue": True}, session=True)
        return got["result"].get("value")

    def close(self):
        self.proc.kill()
        self.proc.wait()


QUERY = """new Promise(function (done) {
  var input = document.getElementById('q'), found = document.getElementById('found');
  var start = performance.now();
  new MutationObserver(function (changes, observer) {
    if (/[0-9]/.test(found.textContent)) {
      observer.disconnect();
      done([performance.now() - start, found.textContent]);
    }
  }).observe(found, {childList: true, characterData: true, subtree: true});
  input.value = %s;
  input.dispatchEvent(new Event('input'));
})"""


def main():
    folder, words = os.path.abspath(sys.argv[1]), sys.argv[2:]
    url = "file://" + folder + "/index.htm"
    browser = Browser()
    try:
        browser.open(url)
        opened = browser.evaluate(
            "(function (t) { return t.loadEventEnd - t.startTime; })"
            "(performance.getEntriesByType('navigation')[0])")
        print("  page opened in %.0f ms" % opened)
        for word in words:
            browser.open(url)
            took, said = browser.evaluate(QUERY % json.dumps(word))
            print("  query %s: %.0f ms (%s)" % (json.dumps(word), took, said.strip()))
    finally:
        browser.close()


if __name__ == "__main__":
    main()
