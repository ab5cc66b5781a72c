"""Runs qzturns, wget -i and one curl per URL over the same demo site and
prints time per request against the modelled floor, CPU per megabyte of
pages, peak memory and connections used."""

import os
import signal
import subprocess
import sys
import tempfile
import time

BUILD = sys.argv[1]
CHARACTERS = int(os.environ.get("CHARACTERS", 100))
TURNS = int(os.environ.get("TURNS", 19))
PAGE_KIB = int(os.environ.get("PAGE_KIB", 24))
DELAY_MS = int(os.environ.get("DELAY_MS", 10))
CONNECT_DELAY_MS = int(os.environ.get("CONNECT_DELAY_MS", 30))
CURL_SAMPLE = int(os.environ.get("CURL_SAMPLE", 200))


SPLIT = [0.0, 0.0]


class Site:
    def __init__(self, folder, characters, turns, page_kib):
        self.stats = os.path.join(folder, "stats.txt")
        self.log = os.path.join(folder, "requests.txt")
        self.process = subprocess.Popen(
            [os.path.join(BUILD, "demo_site"), "--characters", str(characters),
             "--turns", str(turns), "--page-kib", str(page_kib), "--per-page", "25",
             "--delay-ms", str(DELAY_MS), "--connect-delay-ms", str(CONNECT_DELAY_MS),
             "--stats", self.stats, "--log", self.log],
            stdout=subprocess.PIPE, text=True)
        self.url = self.process.stdout.readline().strip()

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait()
        figures = {}
        with open(self.stats) as stats:
            for line in stats:
                name, value = line.split()
                figures[name] = int(value)
        with open(self.log) as log:
            figures["urls"] = [line.strip() for line in log]
        return figures


def timed(command, cwd, env=None):
    """Wall seconds, CPU seconds (user + system) and peak RSS in KiB of one
    command; the user and system split of the last one is kept in SPLIT."""
    start = time.monotonic()
    process = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"{command[0]} failed: {status}")
    SPLIT[:] = [usage.ru_utime, usage.ru_stime]
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def run_qzturns(characters, turns, page_kib):
    with tempfile.TemporaryDirectory() as folder:
        site = Site(folder, characters, turns, page_kib)
        work = os.path.join(folder, "archive")
        os.mkdir(work)
        env = dict(os.environ, QZTURNS_BASE_URL=site.url)
        wall, cpu, rss = timed([os.path.abspath(os.path.join(BUILD, "qzturns"))], work, env)
        figures = site.stop()
    return wall, cpu, rss, figures


def run_wget(urls):
    with tempfile.TemporaryDirectory() as folder:
        site = Site(folder, CHARACTERS, TURNS, PAGE_KIB)
        listing = os.path.join(folder, "urls.txt")
        with open(listing, "w") as out:
            out.writelines(site.url + url[url.index("/", 8):] + "\n" for url in urls)
        # Each page saved to its own file, as the archive does with its pages.
        os.mkdir(os.path.join(folder, "pages"))
        wall, cpu, _ = timed(["wget", "-q", "-P", "pages", "-i", listing], folder)
        figures = site.stop()
    return wall, cpu, figures["connections"]


def run_curl_each(urls):
    with tempfile.TemporaryDirectory() as folder:
        site = Site(folder, CHARACTERS, TURNS, PAGE_KIB)
        start = time.monotonic()
        for url in urls:
            subprocess.run(["curl", "-s", "-o", "/dev/null", site.url + url[url.index("/", 8):]],
                           check=True)
        wall = time.monotonic() - start
        site.stop()
    return wall


def main():
    print(f"Demo site: {CHARACTERS} characters, {TURNS}+1 turns each, pages of {PAGE_KIB} KiB,")
    print(f"{DELAY_MS} ms per request, {CONNECT_DELAY_MS} ms more per new connection.")
    where = tempfile.gettempdir()
    kind = subprocess.run(["stat", "-f", "-c", "%T", where], capture_output=True, text=True)
    print(f"Archives are written under {where} ({kind.stdout.strip()}); set TMPDIR to choose.\n")

    wall, cpu, rss, figures = run_qzturns(CHARACTERS, TURNS, PAGE_KIB)
    user, system = SPLIT
    requests, urls = figures["requests"], figures["urls"]
    turns = sum(1 for url in urls if "fordulo.php" in url)
    megabytes = figures["bytes"] / 1e6
    floor = requests * DELAY_MS / 1000
    print(f"qzturns: {turns} turns, {requests} requests, {megabytes:.1f} MB of pages, "
          f"{figures['connections']} connection(s)")
    print(f"  wall {wall:.2f} s = {wall / turns * 1000:.2f} ms per turn; "
          f"modelled floor {floor:.2f} s = {floor / turns * 1000:.2f} ms per turn; "
          f"ratio {wall / floor:.3f}")
    print(f"  CPU {cpu:.2f} s = {cpu * 1000 / megabytes:.2f} ms per MB of pages "
          f"(user {user * 1000 / megabytes:.2f}, system {system * 1000 / megabytes:.2f})")
    print(f"  peak memory {rss / 1024:.1f} MiB")

    wget_wall, wget_cpu, wget_connections = run_wget(urls)
    print(f"wget -i -P (keep-alive, a file per page), same {requests} URLs: wall {wget_wall:.2f} s, "
          f"CPU {wget_cpu:.2f} s, {wget_connections} connection(s)")
    print(f"  qzturns / wget wall ratio {wall / wget_wall:.3f}")

    sample = urls[:CURL_SAMPLE]
    curl_wall = run_curl_each(sample)
    per_request = curl_wall / len(sample)
    print(f"one curl per URL, first {len(sample)} URLs: {per_request * 1000:.2f} ms per request")
    print(f"  qzturns / curl-per-URL time per request ratio "
          f"{(wall / requests) / per_request:.3f}")

    big_wall, big_cpu, big_rss, big = run_qzturns(10, 3, 1024)
    print(f"\n1 MiB pages: {big['requests']} requests, {big['bytes'] / 1e6:.1f} MB: "
          f"peak memory {big_rss / 1024:.1f} MiB, CPU {big_cpu * 1000 / (big['bytes'] / 1e6):.2f} ms per MB")


main()
