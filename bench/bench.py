"""Runs qzturns (one connection and several), wget -i, aria2c, wget2 and one
curl per URL over the same demo site and prints time per request against the
modelled floor, CPU per megabyte of pages, peak memory and connections
used."""

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
CONNECTIONS = int(os.environ.get("CONNECTIONS", 4))
LIMITER = os.environ.get("LIMITER", "1") != "0"


SPLIT = [0.0, 0.0]


class Site:
    def __init__(self, folder, characters, turns, page_kib, rate=0, burst=5):
        self.stats = os.path.join(folder, "stats.txt")
        self.log = os.path.join(folder, "requests.txt")
        self.process = subprocess.Popen(
            [os.path.join(BUILD, "demo_site"), "--characters", str(characters),
             "--turns", str(turns), "--page-kib", str(page_kib), "--per-page", "25",
             "--delay-ms", str(DELAY_MS), "--connect-delay-ms", str(CONNECT_DELAY_MS),
             "--rate", str(rate), "--burst", str(burst),
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


def run_qzturns(characters, turns, page_kib, connections=1, again=False, rate=0, burst=5,
                build=None):
    """One run into a fresh folder; with again, a second run over the same
    folder (nothing new) is the one measured."""
    with tempfile.TemporaryDirectory() as folder:
        site = Site(folder, characters, turns, page_kib, rate, burst)
        work = os.path.join(folder, "archive")
        os.mkdir(work)
        env = dict(os.environ, QZTURNS_BASE_URL=site.url, QZTURNS_CONNECTIONS=str(connections))
        program = [os.path.abspath(os.path.join(build or BUILD, "qzturns"))]
        if again:
            timed(program, work, env)
            site.stop()
            site = Site(folder, characters, turns, page_kib)
            env["QZTURNS_BASE_URL"] = site.url
        wall, cpu, rss = timed(program, work, env)
        figures = site.stop()
    return wall, cpu, rss, figures


def paths(urls):
    """The URLs without the site's address, which changes from run to run."""
    return [url[url.index("/", 8):] for url in urls]


def run_parallel_tool(urls, command):
    """Another download tool over the same URLs, CONNECTIONS at a time."""
    with tempfile.TemporaryDirectory() as folder:
        site = Site(folder, CHARACTERS, TURNS, PAGE_KIB)
        listing = os.path.join(folder, "urls.txt")
        with open(listing, "w") as out:
            out.writelines(f"{site.url}{path}\n" for path in paths(urls))
        named = os.path.join(folder, "named.txt")
        with open(named, "w") as out:
            # A file of its own for each page: aria2c refuses two at one name.
            out.writelines(f"{site.url}{path}\n  out={i}.html\n" for i, path in enumerate(paths(urls)))
        os.mkdir(os.path.join(folder, "pages"))
        wall, cpu, _ = timed(command(listing, named), folder)
        figures = site.stop()
    return wall, cpu, figures["connections"]


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

    # What the flushes cost: the same runs with the turn files left
    # unflushed, alternated with flushed ones so that both see the same
    # machine.
    noflush = BUILD + "-noflush"
    if os.path.exists(os.path.join(noflush, "qzturns")):
        pairs = []
        for _ in range(2):
            flushed, _, _, _ = run_qzturns(CHARACTERS, TURNS, PAGE_KIB)
            unflushed, _, _, _ = run_qzturns(CHARACTERS, TURNS, PAGE_KIB, build=noflush)
            pairs.append((flushed, unflushed))
        print("  without the flushes (bench-only build), alternated: " +
              ", ".join(f"{f:.2f} s flushed / {u:.2f} s not = ratio {f / floor:.3f} / {u / floor:.3f}"
                        for f, u in pairs))
        cost = sum(f for f, _ in pairs) / sum(u for _, u in pairs) - 1
        print(f"  cost of durability: {cost * 100:+.1f} %")

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
    big_wall, big_cpu, big_rss, big = run_qzturns(10, 3, 1024, connections=8)
    print(f"1 MiB pages, 8 connections: peak memory {big_rss / 1024:.1f} MiB, "
          f"CPU {big_cpu * 1000 / (big['bytes'] / 1e6):.2f} ms per MB")

    # Pages just under the 64 MiB cap, and everyday ones: what fetching
    # ahead holds in memory.
    for kib, label in ((65024, "63.5 MiB"), (40, "40 KiB")):
        for connections in (1, 4, 8):
            _, cpu, rss, fig = run_qzturns(4 if kib > 1024 else CHARACTERS,
                                           4 if kib > 1024 else TURNS, kib, connections)
            print(f"{label} pages, {connections} connection(s): {fig['requests']} requests, "
                  f"{fig['connections']} connection(s) opened, peak memory {rss / 1024:.1f} MiB, "
                  f"CPU {cpu * 1000 / fig['requests']:.3f} ms per request")

    n = CONNECTIONS
    print(f"\n{n} connections (QZTURNS_CONNECTIONS={n}):")
    pwall, pcpu, prss, pfig = run_qzturns(CHARACTERS, TURNS, PAGE_KIB, connections=n)
    print(f"qzturns: {pfig['requests']} requests, {pfig['connections']} connection(s); "
          f"wall {pwall:.2f} s = {pwall / floor:.3f} of the sequential floor "
          f"({wall / pwall:.2f} times faster than 1 connection)")
    print(f"  CPU {pcpu:.2f} s = {pcpu * 1000 / megabytes:.2f} ms per MB of pages; "
          f"peak memory {prss / 1024:.1f} MiB; "
          f"same URLs as 1 connection: {sorted(paths(pfig['urls'])) == sorted(paths(urls))}")
    awall, acpu, aconn = run_parallel_tool(
        urls, lambda listing, named: ["aria2c", "-q", "-j", str(n), "-x", "1", "-d", "pages",
                                      "-i", named])
    print(f"aria2c -j{n} -i, same URLs: wall {awall:.2f} s = {awall / floor:.3f} of the floor, "
          f"CPU {acpu:.2f} s, {aconn} connection(s)")
    w2wall, w2cpu, w2conn = run_parallel_tool(
        urls, lambda listing, named: ["wget2", "-q", f"--max-threads={n}", "-P", "pages", "-i",
                                      listing])
    print(f"wget2 --max-threads={n} -i, same URLs: wall {w2wall:.2f} s = {w2wall / floor:.3f} "
          f"of the floor, CPU {w2cpu:.2f} s, {w2conn} connection(s)")
    for connections in (1, n):
        awall, _, _, afig = run_qzturns(CHARACTERS, TURNS, PAGE_KIB, connections, again=True)
        afloor = afig["requests"] * DELAY_MS / 1000
        print(f"second run, nothing new, {connections} connection(s): {afig['requests']} requests "
              f"(character pages), wall {awall:.2f} s = {awall / afloor:.3f} of its floor")


    if LIMITER:
        limiter()


def limiter():
    """Behind a token bucket that answers 503 past its rate: how close the run
    comes to the bucket's own minimum time, and how many requests it had
    refused. About 1,350 requests, as a real site's archive makes."""
    print()
    for rate, burst in ((20, 5), (5, 2)):
        wall, _, _, fig = run_qzturns(64, 19, 24, rate=rate, burst=burst)
        accepted = fig["requests"] - fig["refused"]
        minimum = (accepted - burst) / rate
        print(f"token bucket {rate} r/s, burst {burst}: {fig['requests']} requests, "
              f"{fig['refused']} refused ({fig['refused'] / fig['requests'] * 100:.1f} %); "
              f"wall {wall:.1f} s = {wall / minimum:.3f} of the bucket's minimum {minimum:.1f} s")


main()
