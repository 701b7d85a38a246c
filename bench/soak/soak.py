#!/usr/bin/python3
"""The whole program under a long run of downloads while the catalogue misbehaves.

Starts the demo catalogue (morvane-democatalogue) with seeded random faults on
the track addresses, the audio and the covers, and short-lived audio
addresses, then drives morvane-music --automation against it: single downloads
of result rows in random tiers, with download-alls of the 45-song playlist
in between, all queued on top of each other. Once every row has ended, the
faults are switched off and every failed row is tried again. Then it checks:

  * every download row ends with a final status, before and after the retry;
  * after the retry no row failed in its transfer, and no part file is left;
  * every finished file decodes whole (flac -t, mpg123 -t) and its title tag
    reads back (mutagen) as the row's title;
  * the program's open files and threads are back to their count before the
    run (it is idle again);

and prints the figures: downloads, faults by kind, statuses, files checked,
peak resident memory, open files and threads before and after, wall time.
Any failure names the seed that repeats the run and exits 1.

  soak.py --program build/morvane-music --catalogue build/democatalogue/morvane-democatalogue
          [--downloads 1000] [--seed N] [--fault-rate 0.06] [--stall-ms 65000]
          [--address-lifetime-ms 20000] [--keep]
"""
import argparse
import json
import os
import queue
import random
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

import mutagen
import mutagen.flac
import mutagen.id3

DOWNLOAD_LIST = "列表框_下载"
RESULT_LIST = "列表框_搜索"
RUNNING_LABEL = "标签_正在下载"
LIST_HEADING = "标签_列表说明"
TRACK_MENU = "菜单_歌曲"
DOWNLOAD_MENU = "菜单_下载列表"
MENU_DOWNLOAD_ONE = 1
TIER_BUTTONS = ["按钮_下载_标准音质", "按钮_下载_高品音质", "按钮_下载_无损音质"]
MENU_DOWNLOAD_ALL = 2
MENU_RETRY_ALL = 14
PLAYLIST_LINK = "/share/wy/s/7045"
PLAYLIST_SIZE = 45
# Statuses of a row still on its way; anything else is where a row ended.
UNFINISHED = {"", "排队中", "正在下载"}
TRANSFER_FAILED = "下载失败"
# Connections the program may keep alive after the run (10 downloads at once,
# searches, covers, addresses).
KEPT_CONNECTIONS = 16
DONE = ("下载完成", "下载完成(实为FLAC)", "下载完成(实为MP3)", "完成,写入封面失败.")


class Failure(Exception):
    pass


class Program:
    """morvane-music --automation as a child: JSON lines in, JSON lines out."""

    def __init__(self, args, log):
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log)
        self.lines = queue.Queue()
        self.boxes = []
        self.errors = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            try:
                self.lines.put(json.loads(raw))
            except ValueError:
                self.lines.put({"unreadable": raw.decode("utf-8", "replace")})
        self.lines.put(None)

    def send(self, **command):
        self.proc.stdin.write((json.dumps(command, ensure_ascii=False) + "\n").encode())
        self.proc.stdin.flush()

    def next_line(self, limit):
        try:
            line = self.lines.get(timeout=limit)
        except queue.Empty:
            raise Failure(f"the program wrote nothing for {limit:.0f} s")
        if line is None:
            raise Failure(f"the program ended (status {self.proc.wait()})")
        if "messagebox" in line:
            self.boxes.append(line["messagebox"])
        if "error" in line:
            self.errors.append(line["error"])
        return line

    def dump(self, control, limit=120):
        """The control's dump; the errors that came before it are returned too."""
        errors_before = len(self.errors)
        self.send(op="dump", control=control)
        while True:
            line = self.next_line(limit)
            if "dump" in line and line["dump"].get("control") == control:
                return line["dump"], self.errors[errors_before:]

    def wait_idle(self, timeout_ms):
        self.send(op="wait", timeout_ms=timeout_ms)
        while True:
            line = self.next_line(timeout_ms / 1000 + 60)
            if "waited" in line:
                return line["waited"]

    def close(self):
        try:
            self.send(op="close")
            self.proc.stdin.close()
        except OSError:
            pass
        try:
            return self.proc.wait(timeout=120)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise Failure("the program did not end within 120 s of close")


def counts(pid):
    """Open files other than sockets, threads, and sockets: the network
    library keeps connections to the catalogue alive for the next request, a
    pool whose size is bounded, so sockets are only held to a bound."""
    files = sockets = 0
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            socket = os.readlink(f"/proc/{pid}/fd/{fd}").startswith("socket:")
        except OSError:
            continue
        sockets += socket
        files += not socket
    return files, len(os.listdir(f"/proc/{pid}/task")), sockets


def peak_rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0.0


def list_rows(program, control, want, limit_s):
    """Polls a list until it holds at least want rows; its rows."""
    end = time.monotonic() + limit_s
    while True:
        dump, _ = program.dump(control)
        if len(dump["rows"]) >= want:
            return dump["rows"]
        if time.monotonic() > end:
            raise Failure(f"{control} listed {len(dump['rows'])} rows, {want} awaited")
        time.sleep(0.2)


def row_count(program):
    return len(program.dump(DOWNLOAD_LIST)[0]["rows"])


def until(what, check, resend, limit_s, resend_s=3.0):
    """Polls check until it holds; resend again while it does not (a click the
    program dropped because it was busy leaves no trace, so it is made again)."""
    start = last = time.monotonic()
    while not check():
        now = time.monotonic()
        if now - start > limit_s:
            raise Failure(f"{what}: nothing after {limit_s} s")
        if resend and now - last > resend_s:
            resend()
            last = now
        time.sleep(0.05)


def search_rows(program, n):
    """A fresh result list of n rows: the catalogue over and over, scrolled out."""
    program.send(op="set", control="编辑框_搜索歌曲名", text=f"*{n}")
    search = lambda: program.send(op="click", control="控制_搜索")
    search()
    heading = lambda: f"*{n}" in program.dump(LIST_HEADING)[0]["text"]
    rows = lambda: len(program.dump(RESULT_LIST)[0]["rows"])
    until("the search", lambda: heading() and rows() > 0, search, 120)
    listed = rows()
    while listed < n:
        until("a page of results", lambda: rows() > listed,
              lambda: program.send(op="scroll", control=RESULT_LIST), 120)
        listed = rows()
    return listed


def download_singles(program, rng, first_row, count):
    """Downloads result rows in random tiers, a missing tier giving way to another."""
    for row in range(first_row, first_row + count):
        tiers = [0, 1, 2]
        rng.shuffle(tiers)
        for tier in tiers:
            before = row_count(program)

            def choose():
                # A song downloaded already in this tier is asked about; download it again.
                program.send(op="answer", button="重新下载")
                program.send(op="rightclick", control=RESULT_LIST, row=row)
                program.send(op="menu", menu=TRACK_MENU, id=MENU_DOWNLOAD_ONE)
                program.send(op="click", control=TIER_BUTTONS[tier])
                return program.dump(RUNNING_LABEL)[1]

            if choose():
                continue  # the song lacks this tier: its button is disabled
            until(f"the download of result row {row}", lambda: row_count(program) > before, choose, 120)
            break


def download_all(program, base, rng):
    before = row_count(program)
    program.send(op="click", control="图片框_网易")
    program.send(op="focus", control="编辑框_歌单_链接")
    program.send(op="set", control="编辑框_歌单_链接", text=base + PLAYLIST_LINK)
    program.send(op="check", control="选择框_歌单_跳过已下载", checked=False)
    program.send(op="check", control="选择框_歌单_下载品质", checked=rng.random() < 0.5)
    program.send(op="click", control="按钮_歌单_导入")
    until("the playlist", lambda: "7045" in program.dump(LIST_HEADING)[0]["text"], None, 120)
    list_rows(program, RESULT_LIST, PLAYLIST_SIZE, 120)
    program.send(op="rightclick", control=RESULT_LIST, row=0)
    program.send(op="menu", menu=TRACK_MENU, id=MENU_DOWNLOAD_ALL)
    _, errors = program.dump(RUNNING_LABEL)
    if errors:
        raise Failure(f"download-all refused: {errors}")
    until("the rows of download-all", lambda: row_count(program) >= before + PLAYLIST_SIZE, None, 300)


def wait_all_ended(program, rows_expected, limit_s, quiet_s=180):
    """Waits until every download row has a final status, until the program is
    idle with rows that never got one, or until no row changed for quiet_s
    seconds; the statuses, the rows without a final status, and whether the
    program came to rest."""
    end = time.monotonic() + limit_s
    last, changed = None, time.monotonic()
    while True:
        idle = program.wait_idle(15000)
        dump, _ = program.dump(DOWNLOAD_LIST)
        statuses = [r[1] for r in dump["rows"]]
        stuck = [(i, r[0].replace("\r\n", " "), r[1]) for i, r in enumerate(dump["rows"]) if r[1] in UNFINISHED]
        if len(statuses) >= rows_expected and (not stuck or idle):
            return statuses, stuck, True
        if statuses != last:
            last, changed = statuses, time.monotonic()
        elif time.monotonic() - changed > quiet_s:
            return statuses, stuck, False
        if time.monotonic() > end:
            raise Failure(f"{len(stuck)} rows without a final status after {limit_s} s, first: {stuck[:5]}")


def tally(statuses):
    out = {}
    for s in statuses:
        out[s] = out.get(s, 0) + 1
    return dict(sorted(out.items(), key=lambda kv: -kv[1]))


def settle(pid, before, limit_s):
    """Waits for the open files and threads to come back to their count before."""
    end = time.monotonic() + limit_s
    while True:
        now = counts(pid)
        if now[0] <= before[0] and now[1] <= before[1]:
            return now
        if time.monotonic() > end:
            return now
        time.sleep(0.5)


def title_tag(path):
    f = mutagen.File(path)
    if isinstance(f, mutagen.flac.FLAC):
        return (f.tags or {}).get("title", [None])[0]
    tags = mutagen.id3.ID3(path)
    frame = tags.get("TIT2")
    if frame is None:
        return None
    text = str(frame.text[0])
    if frame.encoding == 0:
        # Encoding 0 frames carry GBK bytes, as Chinese readers expect.
        text = text.encode("latin-1").decode("gbk", "replace")
    return text


def check_file(path, title):
    """What is wrong with a finished file, or None."""
    if not os.path.isfile(path):
        return "missing"
    with open(path, "rb") as f:
        head = f.read(4)
    if head == b"fLaC":
        r = subprocess.run(["flac", "-t", "-s", path], capture_output=True, text=True)
        if r.returncode != 0:
            return "flac -t: " + r.stderr.strip()[-200:]
    else:
        r = subprocess.run(["mpg123", "-t", "-q", path], capture_output=True, text=True)
        if r.returncode != 0 or "rror" in r.stderr or "arning" in r.stderr:
            return "mpg123 -t: " + r.stderr.strip()[-200:]
    tag = title_tag(path)
    if tag != title:
        return f"title tag {tag!r}, expected {title!r}"
    return None


def part_files(folder):
    found = []
    for root, _, files in os.walk(folder):
        found += [os.path.join(root, f) for f in files if f.endswith(".part")]
    return found


def run(o):
    rng = random.Random(o.seed)
    work = tempfile.mkdtemp(prefix="mm-soak-")
    save = os.path.join(work, "save") + "/"
    data = os.path.join(work, "data")
    os.makedirs(save)
    os.makedirs(data)
    config = os.path.join(work, "config.ini")
    with open(config, "w") as f:
        f.write(f"[音乐保存路径]\n路径={save}\n")
    log = open(os.path.join(work, "program.log"), "wb")
    figures = {"work": work}
    started = time.monotonic()

    cat = subprocess.Popen([o.catalogue, "--random-faults", str(o.seed), "--fault-rate", str(o.fault_rate),
                            "--stall-ms", str(o.stall_ms), "--address-lifetime", str(o.address_lifetime_ms)],
                           stdout=subprocess.PIPE, stderr=log, text=True)
    base = cat.stdout.readline().strip()
    if not base.startswith("http://"):
        raise Failure("the demo catalogue did not start")
    program = Program([o.program, "--automation", "--no-sound", "--config", config, "--data-dir", data,
                       "--catalogue", base], log)
    try:
        program.wait_idle(30000)
        pid = program.proc.pid
        before = counts(pid)

        # The downloads: single rows in batches, a download-all of the playlist
        # after each batch but the last, all queued while the earlier ones run.
        alls = o.downloads // 250 if o.downloads >= 250 else (1 if o.downloads >= 90 else 0)
        singles = o.downloads - alls * PLAYLIST_SIZE
        batches = [singles // (alls + 1)] * (alls + 1)
        batches[-1] += singles - sum(batches)
        for b, size in enumerate(batches):
            if size > 0:
                search_rows(program, size)
                download_singles(program, rng, 0, size)
            if b < alls:
                download_all(program, base, rng)
            queued = row_count(program)
            print(f"[{time.monotonic() - started:6.0f} s] {queued} downloads queued", file=sys.stderr)
        figures["queued"] = queued
        problems = []
        statuses, stuck, rest = wait_all_ended(program, queued, o.limit_s)
        if stuck:
            problems.append(f"{len(stuck)} rows without a final status once the program "
                            f"{'was idle' if rest else 'stopped changing the list'}, first: {stuck[:3]}")
        figures["rows"] = len(statuses)
        figures["faulty_statuses"] = tally(statuses)
        figures["faulty_seconds"] = time.monotonic() - started
        print(f"[{time.monotonic() - started:6.0f} s] every row ended: {figures['faulty_statuses']}",
              file=sys.stderr)

        # Faults off; every row that can be tried again is.
        cat.send_signal(signal.SIGUSR1)
        for round in range(3 if rest else 0):
            dump, _ = program.dump(DOWNLOAD_LIST)
            again = [i for i, r in enumerate(dump["rows"]) if r[1] not in DONE and r[1] not in UNFINISHED]
            if not again:
                break
            program.send(op="rightclick", control=DOWNLOAD_LIST, row=again[0])
            program.send(op="menu", menu=DOWNLOAD_MENU, id=MENU_RETRY_ALL)
            program.dump(RUNNING_LABEL)
            statuses, stuck, rest = wait_all_ended(program, queued, o.limit_s)
            print(f"[{time.monotonic() - started:6.0f} s] retry {round + 1}: {tally(statuses)}", file=sys.stderr)
        figures["final_statuses"] = tally(statuses)
        figures["retried"] = rest
        after = settle(pid, before, 60 if rest else 5)
        figures["fds"] = (before[0], after[0])
        figures["threads"] = (before[1], after[1])
        figures["sockets"] = (before[2], after[2])
        figures["peak_rss_mb"] = peak_rss_mb(pid)
        figures["boxes"] = len(program.boxes)
        print(f"[{time.monotonic() - started:6.0f} s] closing", file=sys.stderr)
        # The exit status counts the commands refused (a tier a song lacks):
        # only a death by a signal is wrong here.
        status = program.close()
        if status < 0:
            raise Failure(f"the program was killed by signal {-status}")
        figures["exit_status"] = status
    finally:
        if program.proc.poll() is None:
            program.proc.kill()
        cat.send_signal(signal.SIGTERM)
        try:
            out, _ = cat.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            cat.kill()
            out = ""
        for line in out.splitlines():
            if line.startswith("{"):
                figures["faults"] = json.loads(line)
    figures["wall_seconds"] = time.monotonic() - started

    if stuck and rest:
        problems.append(f"{len(stuck)} rows without a final status after the retry, first: {stuck[:3]}")
    if after[0] > before[0] or after[1] > before[1] or after[2] > before[2] + KEPT_CONNECTIONS:
        problems.append(f"open files {before[0]} -> {after[0]}, threads {before[1]} -> {after[1]}, "
                        f"sockets {before[2]} -> {after[2]}")
    failed = figures["final_statuses"].get(TRANSFER_FAILED, 0) if figures["retried"] else 0
    if failed:
        problems.append(f"{failed} rows failed in their transfer with the faults off")

    db = sqlite3.connect(os.path.join(data, "library.sqlite3"))
    records = db.execute("SELECT id, title, state, path, status_text FROM downloads ORDER BY id").fetchall()
    db.close()
    if len(records) != figures["rows"]:
        problems.append(f"{len(records)} history records for {figures['rows']} rows")
    not_ended = [r for r in records if r[2] in ("queued", "running")]
    if not_ended:
        problems.append(f"{len(not_ended)} history records left {not_ended[0][2]}, first: {not_ended[0]}")
    checked = 0
    for rid, title, state, path, _ in records:
        if state != "done":
            continue
        what = check_file(path, title)
        checked += 1
        if what:
            problems.append(f"record {rid} {path}: {what}")
    figures["files_checked"] = checked
    figures["files_in_folder"] = sum(len(f) for _, _, f in os.walk(save))
    parts = part_files(save)
    if parts:
        problems.append(f"{len(parts)} part files left, first: {parts[0]}")
    figures["problems"] = problems
    if not problems and not o.keep:
        shutil.rmtree(work, ignore_errors=True)
    return figures


def report(o, f):
    print(f"soak: {f.get('rows', 0)} downloads ({f.get('queued', 0)} queued), seed {o.seed}, "
          f"fault rate {o.fault_rate}, stalls {o.stall_ms} ms, addresses live {o.address_lifetime_ms} ms")
    faults = f.get("faults", {})
    print(f"requests to the catalogue: {faults.get('requests', '?')}")
    print("faults injected:")
    for key, n in sorted(faults.get("faults", {}).items(), key=lambda kv: -kv[1]):
        print(f"  {n:6d}  {key}")
    print("statuses with the faults on:")
    for s, n in f.get("faulty_statuses", {}).items():
        print(f"  {n:6d}  {s}")
    print("statuses after retrying with the faults off:" if f.get("retried") else
          "no retry (the program never came to rest); statuses:")
    for s, n in f.get("final_statuses", {}).items():
        print(f"  {n:6d}  {s}")
    print(f"files checked (decode + title tag): {f.get('files_checked', 0)} "
          f"(files in the save folder: {f.get('files_in_folder', 0)})")
    print(f"peak resident (VmHWM): {f.get('peak_rss_mb', 0):.1f} MB")
    if "fds" in f:
        print(f"open files (not sockets) before/after: {f['fds'][0]} / {f['fds'][1]}; "
              f"sockets: {f['sockets'][0]} / {f['sockets'][1]}; "
              f"threads before/after: {f['threads'][0]} / {f['threads'][1]}")
    print(f"message boxes: {f.get('boxes', 0)}")
    print(f"wall time: {f.get('wall_seconds', 0):.0f} s (every row ended after {f.get('faulty_seconds', 0):.0f} s)")


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--program", required=True)
    p.add_argument("--catalogue", required=True)
    p.add_argument("--downloads", type=int, default=1000)
    p.add_argument("--seed", type=int, default=None)
    p.add_argument("--fault-rate", type=float, default=0.06)
    p.add_argument("--stall-ms", type=int, default=65000, help="beyond the program's 60 s stall time-out")
    p.add_argument("--address-lifetime-ms", type=int, default=20000)
    p.add_argument("--limit-s", type=int, default=3600, help="longest wait for every row to end")
    p.add_argument("--keep", action="store_true", help="keep the temporary folder")
    o = p.parse_args()
    if o.seed is None:
        o.seed = random.SystemRandom().randrange(1, 1 << 31)
    try:
        figures = run(o)
    except Failure as e:
        print(f"soak FAILED (seed {o.seed}): {e}", file=sys.stderr)
        return 1
    report(o, figures)
    if figures["problems"]:
        for problem in figures["problems"]:
            print(f"FAILED: {problem}", file=sys.stderr)
        print(f"soak FAILED; repeat with --seed {o.seed} (files kept in {figures['work']})", file=sys.stderr)
        return 1
    print("soak passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
