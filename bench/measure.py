#!/usr/bin/env python3
"""Measures the console monitor next to its references on the same cached
files and prints the table. Called by bench/run.sh, which builds the programs
and writes the logs first.

usage: measure.py BUILD_DIR DATA_DIR RUNS
"""
import contextlib
import os
import pty
import re
import signal
import statistics
import subprocess
import sys
import threading
import time

BUILD, DATA, RUNS = sys.argv[1], sys.argv[2], int(sys.argv[3])
# MURVEX=<binary> measures another build (an older one, for a baseline).
MURVEX = os.environ.get("MURVEX") or os.path.join(BUILD, "MURVEX", "murvex")
PASS_BENCH = os.path.join(BUILD, "bench", "pass_bench")
LOG_10M = os.path.join(DATA, "log-10000000.log")
LOG_1M = os.path.join(DATA, "log-1000000.log")
LOG_100K = os.path.join(DATA, "log-100000.log")
APPEND_1000 = os.path.join(DATA, "append-1000.log")
# With WINE_PEAK=1 or WINE_BUSY=1, bench/run.sh builds the Windows release
# and names it here.
MURVEX_EXE = os.environ.get("MURVEX_EXE")
WINE_PEAK, WINE_BUSY = os.environ.get("WINE_PEAK") == "1", os.environ.get("WINE_BUSY") == "1"
# BUSY_ONLY=1: only the busy-writer rows (with their wc -l beside them).
BUSY_ONLY = os.environ.get("BUSY_ONLY") == "1"
# GRID_ONLY=1: only the rows beside `tail -n 0 -F` (the twelve-monitor grid,
# single appends and edits in place), with the passes and the peak memory.
GRID_ONLY = os.environ.get("GRID_ONLY") == "1"
# The manager's grid: this many monitors, each on its own copy of the 1M-line
# log with a writer of BUSY_RATE lines a second, for this many seconds.
GRID_MONITORS, GRID_SECONDS = 12, 20
TAIL = ["tail", "-n", "0", "-F"]
# A writer that keeps its log open and flushes every line: this many lines a
# second for this many seconds.
BUSY_RATE, BUSY_SECONDS = 10, 15


def median(values):
    return statistics.median(list(values))


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def read_through(path):
    """Puts the whole file in the page cache."""
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def wc_ms(path):
    times = []
    for _ in range(RUNS):
        start = time.perf_counter()
        subprocess.run(["wc", "-l", path], check=True, stdout=subprocess.DEVNULL)
        times.append((time.perf_counter() - start) * 1000)
    return median(times)


def pass_bench(path, runs, append=None):
    """Figures of one pass_bench run: name -> median ms."""
    args = [PASS_BENCH, path, str(runs)] + ([append] if append else [])
    out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    return {fields[0]: float(fields[1]) for fields in (line.split() for line in out.splitlines())}


# Memory the monitor's table needs for the 10M-line log, for the fill figures.
TABLE_MIB = 400
# On a virtual machine that hands freed memory back to its host (balloon
# free page reporting), memory untouched for a few seconds must be supplied
# by the host again on first use; that costs more than the listing itself.
SETTLE_S = 4


def first_listings(path, warm):
    """Medians of RUNS first listings: cold (memory left to settle first, as
    when a user starts the monitor) or warm (the same amount of memory was
    just used and freed by another process)."""
    values = []
    for _ in range(RUNS):
        if warm:
            pass_bench("--fill", str(TABLE_MIB))
        else:
            time.sleep(SETTLE_S)
        values.append(pass_bench(path, 0)["first_listing"])
    return median(values)


def fill_ms():
    """Writing TABLE_MIB MiB of settled memory: the floor under a cold
    first listing."""
    values = []
    for _ in range(RUNS):
        time.sleep(SETTLE_S)
        values.append(pass_bench("--fill", str(TABLE_MIB))["fill"])
    return median(values)


def read_pipe_until(proc, fd, limit):
    """Bytes read from fd until `limit` bytes (None: the end of the output)."""
    count = 0
    while limit is None or count < limit:
        chunk = os.read(fd, 1 << 20)
        if not chunk:
            break
        count += len(chunk)
    return count


def pipe_listings(path):
    """Medians (ms) of the whole process from its start until a reader at the
    other end of a pipe has all of the first listing: the monitor (memory
    left to settle first, as for the cold first listing), and `cat` of the
    same file through the same kind of pipe. Runs alternate so both meet the
    same load."""
    def timed(command, limit):
        read_end, write_end = os.pipe()
        start = time.perf_counter()
        proc = subprocess.Popen(command, stdout=write_end, stderr=subprocess.DEVNULL)
        os.close(write_end)
        try:
            count = read_pipe_until(proc, read_end, limit)
            elapsed = (time.perf_counter() - start) * 1000
        finally:
            if limit is not None:
                proc.kill()
            proc.wait()
            os.close(read_end)
        return elapsed, count

    # The monitor never ends by itself: its listing is as long as one run
    # read up to the moment it went idle.
    read_end, write_end = os.pipe()
    monitor = subprocess.Popen([MURVEX, path], stdout=write_end, stderr=subprocess.DEVNULL)
    os.close(write_end)
    counted = []
    reader = threading.Thread(target=lambda: counted.append(read_pipe_until(monitor, read_end, None)))
    reader.start()
    try:
        wait_idle(monitor.pid)
    finally:
        monitor.kill()
        monitor.wait()
        reader.join()
        os.close(read_end)
    listing_bytes = counted[0]

    monitor_ms, cat_ms = [], []
    for _ in range(RUNS):
        time.sleep(SETTLE_S)
        ms, count = timed([MURVEX, path], listing_bytes)
        if count < listing_bytes:
            raise RuntimeError("the monitor's listing through the pipe came out short")
        monitor_ms.append(ms)
        cat_ms.append(timed(["cat", path], None)[0])
    return median(monitor_ms), median(cat_ms)


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return fields[0], int(fields[11]) + int(fields[12])


def wait_idle(pid, quiet_s=1.0, limit_s=600):
    """Until the process sleeps with no CPU time used for quiet_s."""
    deadline = time.time() + limit_s
    last, since = None, time.time()
    while time.time() < deadline:
        state, ticks = cpu_ticks(pid)
        if state == "S" and ticks == last:
            if time.time() - since >= quiet_s:
                return
        else:
            last, since = ticks, time.time()
        time.sleep(0.1)
    raise RuntimeError("the monitor never went idle")


def peak_memory(path):
    """VmHWM of the real monitor watching path: first listing, an unchanged
    pass and a pass after 1,000 appended lines; output to /dev/null."""
    size = os.path.getsize(path)
    with open(os.devnull, "wb") as null:
        monitor = subprocess.Popen([MURVEX, path], stdout=null, stderr=null)
    try:
        wait_idle(monitor.pid)
        os.utime(path)
        wait_idle(monitor.pid)
        with open(APPEND_1000, "rb") as chunk, open(path, "ab") as log:
            log.write(chunk.read())
        wait_idle(monitor.pid)
        with open(f"/proc/{monitor.pid}/status") as f:
            hwm_kb = int(re.search(r"VmHWM:\s+(\d+) kB", f.read()).group(1))
    finally:
        monitor.kill()
        monitor.wait()
        os.truncate(path, size)
    return hwm_kb * 1024, size


@contextlib.contextmanager
def wine_monitor(path):
    """The Windows build under wine watching path, its output sent to
    /dev/null; yields the pids of the Linux process that runs MURVEX.exe
    (the preloader, with the program's name) and of the prefix's
    wineserver (None when not found)."""
    prefix = os.path.abspath(os.path.join(DATA, "wineprefix"))
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
    env.pop("DISPLAY", None)
    subprocess.run(["wineboot", "-i"], env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(os.devnull, "wb") as null:
        wine = subprocess.Popen(["wine", MURVEX_EXE, path], env=env, stdout=null, stderr=null)
    try:
        # Other wine programs may run beside it: only this command line, and
        # the wineserver of this prefix, count.
        pid = find_process(lambda args, environ: args[:2] == [MURVEX_EXE.encode(), path.encode()])
        server = find_process(lambda args, environ: os.path.basename(args[0]).startswith(b"wineserver")
                              and f"WINEPREFIX={prefix}".encode() in environ, limit_s=5)
        yield pid, server
    finally:
        wine.kill()
        subprocess.run(["wineserver", "-k"], env=env, check=False)
        wine.wait()


def find_process(matches, limit_s=60):
    """The pid of a process of ours for which matches(argv, environ) holds;
    None when none appears in time."""
    deadline = time.time() + limit_s
    while time.time() < deadline:
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    args = f.read().split(b"\0")
                with open(f"/proc/{entry}/environ", "rb") as f:
                    environ = f.read().split(b"\0")
            except OSError:
                continue
            if matches(args, environ):
                return int(entry)
        time.sleep(0.2)
    return None


def wine_peak_memory(path):
    """VmHWM of the Windows build under wine watching path once its first
    listing is done: the program and wine's own libraries."""
    with wine_monitor(path) as (pid, _):
        if pid is None:
            raise RuntimeError("the Windows monitor never started under wine")
        wait_idle(pid, quiet_s=3.0)
        with open(f"/proc/{pid}/status") as f:
            hwm_kb = int(re.search(r"VmHWM:\s+(\d+) kB", f.read()).group(1))
    return hwm_kb * 1024


def cpu_ns(pid):
    """Time on a CPU of every thread of pid, from /proc (ns)."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except OSError:
            pass
    return total


class Watched:
    """`command` on a pseudo-terminal, its output scanned for the markers of
    lines appended by `append`; the file is cut back by `close`."""

    marker = re.compile(rb"PROBE-(\d{6})")

    def __init__(self, command, path):
        self.path, self.size = path, os.path.getsize(path)
        self.master, slave = pty.openpty()
        self.proc = subprocess.Popen(command, stdin=slave, stdout=slave, stderr=slave, start_new_session=True)
        os.close(slave)
        self.arrived, self.written = {}, {}
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.read, daemon=True)
        self.thread.start()
        self.log = open(path, "ab", buffering=0)
        self.next = 0

    def read(self):
        seen, scanned = bytearray(), 0
        while not self.stop.is_set():
            try:
                chunk = os.read(self.master, 1 << 16)
            except OSError:
                return
            now = time.perf_counter()
            if not chunk:
                return
            seen.extend(chunk)
            for match in self.marker.finditer(seen, max(0, scanned - 32)):
                self.arrived.setdefault(int(match.group(1)), now)
            scanned = len(seen)
            if len(seen) > (1 << 20):  # keep only the tail
                del seen[: len(seen) - 4096]
                scanned = len(seen)

    def append(self):
        """Writes one marked line in one write; its number."""
        i = self.next
        self.next += 1
        line = (f"2026-03-31 23:59:59.{i % 1000:03d} INFO  PROBE-{i:06d} appended by the "
                f"bench n={i:010d}\n").encode()
        self.written[i] = time.perf_counter()
        self.log.write(line)
        return i

    def wait_arrived(self, numbers, limit_s=30):
        deadline = time.time() + limit_s
        while any(i not in self.arrived for i in numbers) and time.time() < deadline:
            time.sleep(0.005)

    def delays(self, numbers):
        """ms from write to arrival of those that arrived; and how many never did."""
        got = [(self.arrived[i] - self.written[i]) * 1000 for i in numbers if i in self.arrived]
        return got, len(numbers) - len(got)

    def close(self):
        self.stop.set()
        self.log.close()
        os.killpg(self.proc.pid, signal.SIGKILL)
        self.proc.wait()
        os.close(self.master)
        os.truncate(self.path, self.size)


def latencies(command, path, appends, ready):
    """Appends `appends` marked lines to path, one every 40-60 ms, and notes
    when each marker's text arrives on the pseudo-terminal of `command`.
    Returns the delays in ms; the file is cut back afterwards."""
    watched = Watched(command, path)
    try:
        ready(watched.proc)
        numbers = []
        for i in range(appends):
            numbers.append(watched.append())
            time.sleep(0.040 + (i * 7919 % 21) / 1000)
        watched.wait_arrived(numbers, 10)
        delays, missing = watched.delays(numbers)
    finally:
        watched.close()
    if missing:
        raise RuntimeError(f"{missing} appended lines never reached the terminal of {command[0]}")
    return delays


def busy_writer(path, isolated=0):
    """The real monitor on path while a writer that keeps the file open
    flushes BUSY_RATE lines a second for BUSY_SECONDS: the monitor's share of
    a core (time on a CPU over the writing and until the last line arrived),
    the delays from write to terminal and the lines that never arrived. Then,
    with `isolated`, that many single appends, each after the monitor has
    been quiet long enough for any hold-off to have passed: their delays."""
    watched = Watched([MURVEX, path], path)
    try:
        wait_idle(watched.proc.pid, limit_s=1200)
        cpu0, wall0 = cpu_ns(watched.proc.pid), time.perf_counter()
        numbers = []
        for i in range(BUSY_RATE * BUSY_SECONDS):
            numbers.append(watched.append())
            # On a fixed clock: late writes do not stretch the test.
            pause = wall0 + (i + 1) / BUSY_RATE - time.perf_counter()
            if pause > 0:
                time.sleep(pause)
        watched.wait_arrived(numbers)
        share = (cpu_ns(watched.proc.pid) - cpu0) / 1e9 / (time.perf_counter() - wall0)
        delays, missing = watched.delays(numbers)
        single = []
        for _ in range(isolated):
            wait_idle(watched.proc.pid, quiet_s=2.0)
            time.sleep(max(1.0, 10 * (max(single) if single else 300) / 1000))
            number = watched.append()
            watched.wait_arrived([number])
            got, lost = watched.delays([number])
            single += got
            missing += lost
    finally:
        watched.close()
    return share, delays, missing, single


def wine_busy_cpu(path):
    """The Windows build under wine on path while the busy writer writes:
    the share of a core of the process that runs MURVEX.exe (all its
    threads) and of the prefix's wineserver."""
    size = os.path.getsize(path)
    try:
        with wine_monitor(path) as (pid, server):
            if pid is None:
                raise RuntimeError("the Windows monitor never started under wine")
            wait_idle(pid, quiet_s=3.0, limit_s=1200)
            cpu0, server0, wall0 = cpu_ns(pid), cpu_ns(server) if server else 0, time.perf_counter()
            with open(path, "ab", buffering=0) as log:
                for i in range(BUSY_RATE * BUSY_SECONDS):
                    log.write(f"2026-03-31 23:59:59.{i % 1000:03d} INFO  wine busy writer n={i:010d}\n".encode())
                    pause = wall0 + (i + 1) / BUSY_RATE - time.perf_counter()
                    if pause > 0:
                        time.sleep(pause)
            wait_idle(pid, quiet_s=2.0)
            wall = time.perf_counter() - wall0 - 2.0
            share = (cpu_ns(pid) - cpu0) / 1e9 / wall
            server_share = (cpu_ns(server) - server0) / 1e9 / wall if server else float("nan")
    finally:
        os.truncate(path, size)
    return share, server_share


def busy_rows():
    """Rows of the busy writer on each log, each beside `wc -l` of the same
    file in the same run, and of single appends to the 10M-line log."""
    rows = []
    for path, name, cpu_goal, delay_goal in ((LOG_100K, "100k", 0.05, 100), (LOG_1M, "1M", 0.12, 400),
                                            (LOG_10M, "10M", 0.12, 3500)):
        read_through(path)
        wc = wc_ms(path)
        isolated = RUNS if path == LOG_10M else 0
        share, delays, missing, single = busy_writer(path, isolated)
        p95 = percentile(delays, 0.95) if delays else float("nan")
        if delays:
            print(f"busy writer, {name} lines: delays median {median(delays):.0f} ms, 95th percentile {p95:.0f} ms, "
                  f"largest {max(delays):.0f} ms; load average {open('/proc/loadavg').read().split()[0]}")
        written = BUSY_RATE * BUSY_SECONDS
        rows.append((f"busy writer ({BUSY_RATE} lines/s, {BUSY_SECONDS} s), {name} lines: CPU, lines missing",
                     f"{share * 100:.1f} % of a core, {missing} of {written} missing", f"wc -l {wc:.1f} ms", None,
                     f"<= {cpu_goal * 100:.0f} %, none missing", share <= cpu_goal and missing == 0))
        rows.append((f"busy writer, {name} lines: delay write to terminal, 95th percentile", f"{p95:.0f} ms",
                     f"wc -l {wc:.1f} ms", p95 / wc, f"<= {delay_goal} ms", p95 <= delay_goal))
        if single:
            shown = median(single)
            rows.append((f"single append to the unchanged {name}-line log, write to terminal (median)",
                         f"{shown:.0f} ms", f"wc -l {wc:.1f} ms", shown / wc, "<= 2", shown / wc <= 2))
    return rows


def load_average():
    return open("/proc/loadavg").read().split()[0]


def grid_copies():
    """GRID_MONITORS copies of the 1M-line log, made once."""
    size = os.path.getsize(LOG_1M)
    paths = []
    for i in range(GRID_MONITORS):
        path = os.path.join(DATA, f"grid-{i:02d}.log")
        if not os.path.exists(path) or os.path.getsize(path) != size:
            subprocess.run(["cp", LOG_1M, path], check=True)
        read_through(path)
        paths.append(path)
    return paths


def grid(command, paths):
    """`command` on each path, each on its pseudo-terminal, while one writer
    thread appends BUSY_RATE marked lines a second to every file, spread
    evenly, for GRID_SECONDS: the share of a core of all the watchers
    together, the delays from write to terminal of all lines, and how many
    never arrived."""
    watched = []
    try:
        for path in paths:
            watched.append(Watched(command + [path], path))
        for w in watched:
            if command[0] == MURVEX:
                wait_idle(w.proc.pid, limit_s=1200)
        time.sleep(1.0)  # tail -F: its first read done; the monitors: idle
        cpu0, wall0 = sum(cpu_ns(w.proc.pid) for w in watched), time.perf_counter()
        numbers = [[] for _ in watched]
        writes = BUSY_RATE * GRID_SECONDS * len(watched)
        for k in range(writes):
            i = k % len(watched)
            numbers[i].append(watched[i].append())
            pause = wall0 + (k + 1) / (BUSY_RATE * len(watched)) - time.perf_counter()
            if pause > 0:
                time.sleep(pause)
        for w, n in zip(watched, numbers):
            w.wait_arrived(n)
        wall = time.perf_counter() - wall0
        share = (sum(cpu_ns(w.proc.pid) for w in watched) - cpu0) / 1e9 / wall
        delays, missing = [], 0
        for w, n in zip(watched, numbers):
            got, lost = w.delays(n)
            delays += got
            missing += lost
    finally:
        for w in watched:
            w.close()
    return share, delays, missing, writes


def single_appends(command, path, count, ready):
    """`count` single marked lines appended to path, each once `command`
    has been quiet: the delay of each, from write to terminal."""
    watched = Watched(command + [path], path)
    try:
        ready(watched.proc)
        delays = []
        for _ in range(count):
            if command[0] == MURVEX:
                wait_idle(watched.proc.pid, quiet_s=2.0)
            else:
                time.sleep(1.0)
            number = watched.append()
            watched.wait_arrived([number])
            got, _ = watched.delays([number])
            delays += got
    finally:
        watched.close()
    return delays


def line_offset(path, number):
    """Offset and bytes of line `number` (from 1) of path."""
    at, seen = 0, 0
    with open(path, "rb") as f:
        while True:
            chunk = f.read(1 << 24)
            if not chunk:
                raise RuntimeError(f"{path} has fewer than {number} lines")
            count = chunk.count(b"\n")
            if seen + count >= number - 1:
                start = 0
                for _ in range(number - 1 - seen):
                    start = chunk.index(b"\n", start) + 1
                f.seek(at + start)
                return at + start, f.readline()
            seen += count
            at += len(chunk)


def edit_in_place(path, number, with_append, limit_s=120):
    """The monitor on path; line `number` rewritten in place at the same
    length (with a marker), and with `with_append` one line appended after
    it while the monitor is stopped, so that one pass finds both: ms from
    the edit until the rewritten line reached the terminal (None when it did
    not within limit_s). The line is put back."""
    offset, original = line_offset(path, number)
    marker = 999000 + number % 1000
    edited = f"EDIT PROBE-{marker:06d} ".encode()
    edited = (edited + original[len(edited):])[: len(original)]
    watched = Watched([MURVEX, path], path)
    try:
        wait_idle(watched.proc.pid, limit_s=1200)
        if with_append:
            os.kill(watched.proc.pid, signal.SIGSTOP)
        written = time.perf_counter()
        with open(path, "r+b", buffering=0) as f:
            f.seek(offset)
            f.write(edited)
        if with_append:
            watched.append()
            os.kill(watched.proc.pid, signal.SIGCONT)
        deadline = time.time() + limit_s
        while marker not in watched.arrived and time.time() < deadline:
            time.sleep(0.01)
        shown = (watched.arrived[marker] - written) * 1000 if marker in watched.arrived else None
    finally:
        watched.close()
        with open(path, "r+b", buffering=0) as f:
            f.seek(offset)
            f.write(original)
    return shown


def grid_rows():
    """Each figure of the grid beside `tail -n 0 -F` in the same run."""
    rows = []
    paths = grid_copies()
    print(f"grid: {GRID_MONITORS} x {os.path.getsize(LOG_1M) >> 20} MiB, load average {load_average()}")
    m_share, m_delays, m_missing, writes = grid([MURVEX], paths)
    print(f"grid, murvex done: load average {load_average()}")
    t_share, t_delays, t_missing, _ = grid(TAIL, paths)
    print(f"grid, tail -F done: load average {load_average()}")
    goal = max(0.10, 4 * t_share)
    m95 = percentile(m_delays, 0.95) if m_delays else float("nan")
    t95 = percentile(t_delays, 0.95) if t_delays else float("nan")
    rows.append((f"{GRID_MONITORS} monitors on 1M-line logs, {BUSY_RATE} lines/s each for {GRID_SECONDS} s: "
                 "CPU of all, lines missing",
                 f"{m_share * 100:.1f} % of a core, {m_missing} of {writes} missing",
                 f"tail -F {t_share * 100:.1f} %, {t_missing} missing", None,
                 f"<= {goal * 100:.1f} %, none missing", m_share <= goal and m_missing == 0))
    rows.append(("the same: delay write to terminal, 95th percentile", f"{m95:.0f} ms", f"tail -F {t95:.0f} ms",
                 None, "<= 50 ms", m95 <= 50))
    print_rows(rows)

    def monitor_ready(proc):
        wait_idle(proc.pid, limit_s=1200)

    def tail_ready(proc):
        time.sleep(1.0)

    read_through(LOG_10M)
    m_single = single_appends([MURVEX], LOG_10M, RUNS, monitor_ready)
    t_single = single_appends(TAIL, LOG_10M, RUNS, tail_ready)
    rows.append(("single append to the unchanged 10M-line log, write to terminal (median)",
                 f"{median(m_single):.1f} ms", f"tail -F {median(t_single):.1f} ms", None, "<= 20 ms",
                 median(m_single) <= 20))
    print(f"single appends done: load average {load_average()}")
    for path, name, number, goal_s in ((LOG_10M, "10M", 5000000, 60), (LOG_100K, "100k", 50000, 2)):
        read_through(path)
        for with_append in (False, True):
            shown = edit_in_place(path, number, with_append)
            what = "with a line appended at once" if with_append else "alone"
            text = f"{shown:.0f} ms" if shown is not None else "not shown"
            rows.append((f"edit in place of line {number:,} of the {name}-line log, {what}: shown after", text,
                         "", None, f"<= {goal_s} s", shown is not None and shown <= goal_s * 1000))
            print(f"edit {name} {what}: shown after {text}; load average {load_average()}")
    return rows


def print_rows(rows):
    print("| figure | MURVEX | reference | ratio | goal | met |")
    print("|---|---|---|---|---|---|")
    for name, measured, reference, ratio, goal, met in rows:
        if ratio is not None:
            shown = f"{ratio:.2f}"
        elif measured.split()[1] == "ms" and reference:
            shown = f"+{float(measured.split()[0]) - float(reference.split()[-2]):.1f} ms"
        else:
            shown = ""
        print(f"| {name} | {measured} | {reference} | {shown} | {goal} | {'yes' if met else 'NO'} |")


def finish(rows):
    """Prints the wine busy-writer figure when asked for, the table and the load."""
    if WINE_BUSY:
        share, server = wine_busy_cpu(LOG_1M)
        print(f"Windows build under wine, busy writer on the 1M-line log: MURVEX.exe {share * 100:.1f} % "
              f"of a core, its wineserver {server * 100:.1f} %")
    print_rows(rows)
    print(f"load average at the end: {open('/proc/loadavg').read().split()[:3]}")


def main():
    print(f"load average at the start: {open('/proc/loadavg').read().split()[:3]}")
    if BUSY_ONLY:
        finish(busy_rows())
        return
    if GRID_ONLY:
        read_through(LOG_10M)
        wc10 = wc_ms(LOG_10M)
        big = pass_bench(LOG_10M, RUNS, APPEND_1000)
        peaks = [peak_memory(LOG_10M) for _ in range(RUNS)]
        hwm, size = median(p[0] for p in peaks), peaks[0][1]
        rows = grid_rows() + [
            ("one difference pass, no line changed, 10M lines", f"{big['pass_unchanged']:.0f} ms",
             f"wc -l {wc10:.0f} ms", big["pass_unchanged"] / wc10, "<= 4", big["pass_unchanged"] / wc10 <= 4),
            ("one difference pass after 1,000 appended lines, 10M lines", f"{big['pass_appended']:.1f} ms",
             f"wc -l {wc10:.0f} ms", big["pass_appended"] / wc10, "", True),
            ("first listing to /dev/null, 10M lines (in the same pass_bench run)",
             f"{big['first_listing']:.0f} ms", f"wc -l {wc10:.0f} ms", big["first_listing"] / wc10, "<= 10",
             big["first_listing"] / wc10 <= 10),
            ("peak resident memory watching the 10M-line file", f"{hwm / (1 << 20):.0f} MiB",
             f"file {size / (1 << 20):.0f} MiB", hwm / size, "<= 0.5", hwm / size <= 0.5),
        ]
        finish(rows)
        return

    for path in (LOG_10M, LOG_1M, LOG_100K):
        read_through(path)

    wc10 = wc_ms(LOG_10M)
    wc1 = wc_ms(LOG_1M)

    # Passes: one run with RUNS unchanged and RUNS appended passes; first
    # listings from RUNS separate runs each.
    big = pass_bench(LOG_10M, RUNS, APPEND_1000)
    # Ten times as many passes on the 1M-line log, so they spread over about
    # as long as the 10M-line passes and meet the same load of the machine.
    small = pass_bench(LOG_1M, RUNS * 10)
    first_listing = first_listings(LOG_10M, warm=False)
    first_listing_warm = first_listings(LOG_10M, warm=True)
    fill = fill_ms()
    pipe_monitor, pipe_cat = pipe_listings(LOG_10M)

    peaks = [peak_memory(LOG_10M) for _ in range(RUNS)]
    hwm, size = median(p[0] for p in peaks), peaks[0][1]

    def monitor_ready(proc):
        wait_idle(proc.pid)

    def tail_ready(proc):
        time.sleep(1.0)

    appends = 200
    monitor_delays = latencies([MURVEX, LOG_100K], LOG_100K, appends, monitor_ready)
    tail_delays = latencies(["tail", "-n", "0", "-F", LOG_100K], LOG_100K, appends, tail_ready)

    mib = 1 << 20
    rows = [
        ("one difference pass, no line changed, 10M lines", f"{big['pass_unchanged']:.0f} ms",
         f"wc -l {wc10:.0f} ms", big["pass_unchanged"] / wc10, "<= 4", big["pass_unchanged"] / wc10 <= 4),
        ("one difference pass after 1,000 appended lines, 10M lines", f"{big['pass_appended']:.0f} ms",
         f"wc -l {wc10:.0f} ms", big["pass_appended"] / wc10, "<= 4", big["pass_appended"] / wc10 <= 4),
        ("first listing to /dev/null, 10M lines", f"{first_listing:.0f} ms",
         f"wc -l {wc10:.0f} ms", first_listing / wc10, "<= 10", first_listing / wc10 <= 10),
        ("first listing through a pipe, whole process, 10M lines", f"{pipe_monitor:.0f} ms",
         f"cat {pipe_cat:.0f} ms", pipe_monitor / pipe_cat, "<= 1.5", pipe_monitor / pipe_cat <= 1.5),
        ("peak resident memory watching the 10M-line file", f"{hwm / mib:.0f} MiB",
         f"file {size / mib:.0f} MiB", hwm / size, "<= 0.5", hwm / size <= 0.5),
        ("pass time 10M lines / 1M lines", f"{big['pass_unchanged']:.0f} / {small['pass_unchanged']:.1f} ms",
         "linear: 10", big["pass_unchanged"] / small["pass_unchanged"], "<= 12",
         big["pass_unchanged"] / small["pass_unchanged"] <= 12),
    ]
    m50, m99 = median(monitor_delays), percentile(monitor_delays, 0.99)
    t50, t99 = median(tail_delays), percentile(tail_delays, 0.99)
    rows.append(("append to terminal, 100k lines, median", f"{m50:.1f} ms", f"tail -F {t50:.1f} ms",
                 None, "within 10 ms", m50 - t50 <= 10))
    rows.append(("append to terminal, 100k lines, 99th percentile", f"{m99:.1f} ms", f"tail -F {t99:.1f} ms",
                 None, "<= 50 ms", m99 <= 50))

    print(f"wc -l 1M lines: {wc1:.1f} ms; medians of {RUNS} runs (latency: {appends} appends)")
    print(f"first listing, 10M lines, memory warm: {first_listing_warm:.0f} ms ({first_listing_warm / wc10:.1f} x wc -l); "
          f"writing {TABLE_MIB} MiB of settled fresh memory alone: {fill:.0f} ms ({fill / wc10:.1f} x wc -l)")
    if WINE_PEAK:
        wine_hwm = wine_peak_memory(LOG_10M)
        print(f"Windows build under wine, peak resident memory watching the 10M-line file: "
              f"{wine_hwm / mib:.0f} MiB ({wine_hwm / size:.2f} x the file)")
    finish(rows + busy_rows())


if __name__ == "__main__":
    main()
