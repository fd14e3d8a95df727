#!/usr/bin/env python3
"""The add-in's benchmark: start-up, cost per message against the MAPI library
alone, scaling as an archive folder grows, colliding names, the host's memory
over many messages, and the catch-up of mail that arrived while Outlook was closed.

Usage: bench.py BUILD_DIR [--messages N] [--ratio-messages N] [--rounds N]

Runs the stand-in Outlook (outlook-standin.exe --timing) with qsStow.Addin and,
as the baseline, with QsStandinTest.Addin, which saves every sent item through
qsMapiLib directly. Everything Windows runs through BUILD_DIR/wine-run in the
prefix that QS_WINEPREFIX names. Prints a table and, as its last line, the
summary line that tracking reads.
"""
import argparse
import glob
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "common"))
import e2e  # noqa: E402
from e2e import windows_path  # noqa: E402

STARTS = 5


class Bench:
    def __init__(self, build, work):
        self.t = e2e.Run(os.path.join(build, "wine-run"), os.path.join(build, "bin"), work)
        e2e.fresh_folder(work)
        # A copy of the add-in of its own, so the log beside it is the benchmark's.
        self.addin = e2e.AddinCase(self.t, "addin")
        self.t.wine("regsvr32", "/s", windows_path(os.path.join(self.t.bin, "QsStandinTestAddin.dll")))
        self.bin, self.work = self.t.bin, work

    def wine(self, *args):
        return self.t.wine(*args, timeout=3600).out

    def folder(self, name):
        return e2e.fresh_folder(self.work, name)

    def settings(self, logging, folder, enabled_in=0, enabled_out=1):
        """The settings as users have them: the catch-up on (the switch absent)."""
        self.addin.settings(enabled_in=enabled_in, enabled_out=enabled_out, logging=logging,
                            folder_in=windows_path(folder), folder_out=windows_path(folder),
                            catch_up=None)

    def host(self, progid, scenario, env=None, args=()):
        """Runs the stand-in Outlook with one add-in; returns its transcript."""
        closed = "--closed" in args
        done = self.t.host(scenario, addin=None if closed else progid,
                           args=["--timing"] + list(args), folder=self.work,
                           env=dict(os.environ, **(env or {})), timeout=3600)
        if done.rc != 0 or (not closed and "connected " + progid not in done.out) or \
                "live objects: 0" not in done.out:
            raise SystemExit("bench: the host run went wrong (%d):\n  %s" %
                             (done.rc, "\n  ".join(done.out[-8:] + [done.err])))
        return done.out


def figures(out, label):
    """(count, median, p99) of every line "label COUNT MEDIAN P99", in order."""
    found = []
    for line in out:
        m = re.fullmatch(re.escape(label) + r" (\d+) ([\d.]+) ([\d.]+)", line)
        if m:
            found.append((int(m.group(1)), float(m.group(2)), float(m.group(3))))
    return found


def memory(out):
    """(private bytes, handles) of every "memory" line, in order."""
    return [(int(m.group(1)), int(m.group(2))) for m in
            (re.fullmatch(r"memory private-bytes (\d+) handles (\d+)", l) for l in out) if m]


def sends(count, subject=lambda i: "Re: Quarterly figures 2026/%05d" % i, start=1):
    return "".join("send %s\n" % subject(i) for i in range(start, start + count))


def msg_files(folder):
    return len(glob.glob(os.path.join(folder, "*.msg")))


def connect_ms(out):
    return float(next(l for l in out if l.startswith("connect-ms ")).split()[1])


def start_up(b):
    """OnConnection over separate starts: qsStow with logging and both directions on, then with
    incoming off (no MAPIUtils), and the test add-in creating only qsMapiLib.MAPIUtils."""
    folder = b.folder("start-up")
    b.settings(logging=1, folder=folder, enabled_in=1, enabled_out=1)
    full = [connect_ms(b.host("qsStow.Addin", "")) for _ in range(STARTS)]
    b.settings(logging=1, folder=folder, enabled_in=0, enabled_out=1)
    outgoing = [connect_ms(b.host("qsStow.Addin", "")) for _ in range(STARTS)]
    library = [connect_ms(b.host("QsStandinTest.Addin", "", env={"QS_TEST_ADDIN_MAPI": "1",
                                                                 "QS_TEST_ADDIN_QUIET": "1"}))
               for _ in range(STARTS)]
    return full, outgoing, library


def per_message(b, messages, rounds):
    """Median event time of qsStow (logging off, on) and of the baseline, round by round."""
    results = {"off": [], "on": [], "base": []}
    configs = ["off", "on", "base"]
    for r in range(rounds):
        # The order rotates so that no configuration always runs first.
        for config in configs[r % 3:] + configs[:r % 3]:
            folder = b.folder("per-message-%s-%d" % (config, r))
            if config == "base":
                out = b.host("QsStandinTest.Addin", sends(messages),
                             env={"QS_TEST_ADDIN_SAVE_DIR": windows_path(folder),
                                  "QS_TEST_ADDIN_QUIET": "1", "QS_TEST_ADDIN_FORMAT": "9"})
            else:
                b.settings(logging=1 if config == "on" else 0, folder=folder)
                out = b.host("qsStow.Addin", sends(messages))
            if msg_files(folder) != messages:
                raise SystemExit("bench: %s archived %d of %d messages" %
                                 (config, msg_files(folder), messages))
            results[config].append(figures(out, "event-us")[0])
    return results


def in_process(b, messages):
    """archive-cost: the archiver against direct saving, message by message in one process."""
    folder = b.folder("in-process")
    out = b.wine(os.path.join(b.bin, "archive-cost.exe"), windows_path(folder), str(messages))
    m = re.fullmatch(r"archive-cost \d+ addin-us ([\d.]+) direct-us ([\d.]+) ratio-of-pairs ([\d.]+)",
                     out[-1])
    if not m:
        raise SystemExit("bench: archive-cost said %r" % out)
    return tuple(float(g) for g in m.groups())


def scaling(b, messages, baseline=False):
    """One folder filled with `messages` sends: windows of 500 ending at 1,000 and at the end.
    The baseline fills its own folder the same way, for what the folder's growth costs anyway."""
    folder = b.folder("scaling-baseline" if baseline else "scaling")
    b.settings(logging=0, folder=folder)
    window = min(500, messages // 2)
    before = 1000 - window
    scenario = "memory\n" + sends(before) + "window\n" + sends(window, start=before + 1) + \
        "window\nmemory\n"
    scenario += sends(messages - 1000 - window, start=1001) + "window\n"
    scenario += sends(window, start=messages - window + 1) + "window\nmemory\n"
    started = time.monotonic()
    if baseline:
        out = b.host("QsStandinTest.Addin", scenario,
                     env={"QS_TEST_ADDIN_SAVE_DIR": windows_path(folder),
                          "QS_TEST_ADDIN_QUIET": "1", "QS_TEST_ADDIN_FORMAT": "9"})
    else:
        out = b.host("qsStow.Addin", scenario)
    elapsed = time.monotonic() - started
    if msg_files(folder) != messages:
        raise SystemExit("bench: scaling archived %d of %d" % (msg_files(folder), messages))
    windows = figures(out, "window-us")
    return {"at-1k": windows[1], "at-end": windows[3], "all": figures(out, "event-us")[0],
            "memory": memory(out), "elapsed": elapsed,
            "live": next(l for l in out if l.startswith("live objects"))}


def collisions(b, count):
    """`count` sends with one subject as fast as the host sends them."""
    folder = b.folder("collisions")
    b.settings(logging=0, folder=folder)
    started = time.monotonic()
    out = b.host("qsStow.Addin", sends(count, subject=lambda i: "Daily report"))
    elapsed = time.monotonic() - started
    files = glob.glob(os.path.join(folder, "*.msg"))
    seconds = {os.path.basename(f)[:15] for f in files}
    if len(files) != count:
        raise SystemExit("bench: collisions archived %d of %d" % (len(files), count))
    return {"event": figures(out, "event-us")[0], "seconds": len(seconds), "elapsed": elapsed}


def catch_up(b, count):
    """`count` messages received while Outlook was closed, caught up at the next start with
    logging off: the time spent in dispatched messages and timer callbacks, and the longest."""
    folder = b.folder("catch-up")
    store = os.path.join(b.work, "catch-up-store.txt")
    if os.path.exists(store):
        os.remove(store)
    for state in glob.glob(os.path.join(b.t.prefix(), "drive_c", "users", "*", "AppData", "Local",
                                        "Quillstow")):
        shutil.rmtree(state)
    b.settings(logging=0, folder=folder, enabled_in=1, enabled_out=0)
    at_store = ["--store", windows_path(store)]
    b.host("qsStow.Addin", "idle 500\n", args=at_store)  # the first start sets the watermark
    b.host("qsStow.Addin", "at 2030-05-06 07:08:09\n" +
           "".join("receive Caught up %05d\n" % i for i in range(count)),
           args=["--closed"] + at_store)
    out = b.host("qsStow.Addin", "idle %d\n" % (5000 + 20 * count), args=at_store)
    if msg_files(folder) != count:
        raise SystemExit("bench: the catch-up archived %d of %d" % (msg_files(folder), count))
    total = float(next(l for l in out if l.startswith("dispatch-ms-total ")).split()[1])
    longest = float(next(l for l in out if l.startswith("longest-dispatch-ms ")).split()[1])
    return {"us-per-msg": total * 1000 / count, "longest": longest, "connect": connect_ms(out)}


def wine_version():
    try:
        return subprocess.run(["/usr/lib/wine/wine64", "--version"], capture_output=True,
                              text=True).stdout.strip()
    except OSError:
        return "unknown"


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--messages", type=int, default=10000,
                        help="sends into one folder for scaling and memory (at least 2000)")
    parser.add_argument("--ratio-messages", type=int, default=500,
                        help="sends per run for the per-message ratio")
    parser.add_argument("--rounds", type=int, default=5, help="runs of each ratio configuration")
    parser.add_argument("--collisions", type=int, default=1000,
                        help="sends with one identical subject")
    parser.add_argument("--catch-up", type=int, default=1000,
                        help="messages received while closed and caught up at the next start")
    args = parser.parse_args()
    if args.messages < 2000:
        parser.error("--messages must be at least 2000")

    b = Bench(args.build, os.path.join(args.build, "bench-work"))
    print("Quillstow benchmark: %s, %d cores (%s), %s" %
          (wine_version(), os.cpu_count(), cpu_model(), platform.platform()), flush=True)

    starts, outgoing_starts, library_starts = start_up(b)
    ratio = per_message(b, args.ratio_messages, args.rounds)
    pairs = in_process(b, args.ratio_messages)
    scale = scaling(b, args.messages)
    base_scale = scaling(b, args.messages, baseline=True)
    collide = collisions(b, args.collisions)
    caught = catch_up(b, args.catch_up)

    med = {k: statistics.median(r[1] for r in v) for k, v in ratio.items()}
    p99 = {k: statistics.median(r[2] for r in v) for k, v in ratio.items()}
    # Each round's runs follow one another closely: its ratio is the fair one.
    off = statistics.median(o[1] / b_[1] for o, b_ in zip(ratio["off"], ratio["base"]))
    on = statistics.median(o[1] / b_[1] for o, b_ in zip(ratio["on"], ratio["base"]))
    mem = scale["memory"]
    n = args.messages
    rows = [
        ("Start-up: OnConnection, median of %d starts" % STARTS,
         "%.1f ms" % statistics.median(starts), "under 10 ms"),
        ("Start-up: OnConnection, slowest of %d starts" % STARTS, "%.1f ms" % max(starts),
         "Outlook's limit 1000 ms"),
        ("Start-up, incoming off (no MAPIUtils), median", "%.1f ms" %
         statistics.median(outgoing_starts), ""),
        ("Start-up of a bare add-in creating only MAPIUtils, median",
         "%.1f ms" % statistics.median(library_starts), ""),
        ("Per sent message, MAPI library alone (baseline)",
         "%.0f us (p99 %.0f)" % (med["base"], p99["base"]), ""),
        ("Per sent message, qsStow, logging off",
         "%.0f us (p99 %.0f)" % (med["off"], p99["off"]), ""),
        ("Per sent message, qsStow, logging on",
         "%.0f us (p99 %.0f)" % (med["on"], p99["on"]), ""),
        ("Ratio to the baseline, logging off (median of rounds)", "%.3f" % off, "at most 1.10"),
        ("Ratio to the baseline, logging on (median of rounds)", "%.3f" % on, ""),
        ("In one process, message by message: archiver / direct",
         "%.0f / %.0f us, ratio %.3f" % pairs, "at most 1.10"),
        ("Per message at 1,000 files in the folder", "%.0f us (p99 %.0f)" %
         scale["at-1k"][1:], "flat"),
        ("Per message at %s files in the folder" % format(n, ","), "%.0f us (p99 %.0f)" %
         scale["at-end"][1:], "flat"),
        ("Baseline per message at 1,000 / %s files" % format(n, ","), "%.0f / %.0f us" %
         (base_scale["at-1k"][1], base_scale["at-end"][1]), ""),
        ("%s sends into one folder, whole run" % format(n, ","), "%.1f s" % scale["elapsed"], ""),
        ("%s sends, one subject (%d distinct seconds)" % (format(args.collisions, ","),
                                                          collide["seconds"]),
         "%.0f us (p99 %.0f), %.1f s" % (collide["event"][1], collide["event"][2],
                                         collide["elapsed"]), ""),
        ("Host private bytes: start, after 1,000, after %s" % format(n, ","),
         " / ".join("%.1f MB" % (m[0] / 1048576) for m in mem), "no growth"),
        ("Host handles: start, after 1,000, after %s" % format(n, ","),
         " / ".join(str(m[1]) for m in mem), "no growth"),
        ("Baseline host private bytes: start, after 1,000, after %s" % format(n, ","),
         " / ".join("%.1f MB" % (m[0] / 1048576) for m in base_scale["memory"]), ""),
        ("After shutdown", scale["live"], "live objects: 0"),
        ("Catch-up of %s messages at the next start, per message" % format(args.catch_up, ","),
         "%.0f us, %.2f of a live archive" % (caught["us-per-msg"], caught["us-per-msg"] / med["off"]),
         ""),
        ("Catch-up: longest dispatched message or timer callback", "%.1f ms" % caught["longest"],
         "at most 50 ms"),
        ("Start-up: OnConnection with a catch-up pending", "%.1f ms" % caught["connect"],
         "under 10 ms"),
    ]
    width = max(len(r[0]) for r in rows)
    vwidth = max(len(r[1]) for r in rows)
    print("| %-*s | %-*s | %s |" % (width, "Measure", vwidth, "Measured", "Goal"))
    print("|%s|%s|---|" % ("-" * (width + 2), "-" * (vwidth + 2)))
    for name, value, goal in rows:
        print("| %-*s | %-*s | %s |" % (width, name, vwidth, value, goal))
    print("Ratio rounds (median us, logging off/on/baseline): " + "; ".join(
        "%.0f/%.0f/%.0f" % (ratio["off"][i][1], ratio["on"][i][1], ratio["base"][i][1])
        for i in range(args.rounds)))
    print("Start-up times (ms): " + " ".join("%.1f" % t for t in starts))
    print("Start-up times, incoming off (ms): " + " ".join("%.1f" % t for t in outgoing_starts))
    print("connect-ms-median %.1f ratio-logging-off %.3f ratio-logging-on %.3f "
          "us-per-msg-at-1k %.0f us-per-msg-at-10k %.0f catchup-us-per-msg %.0f "
          "catchup-longest-slice-ms %.1f" %
          (statistics.median(starts), off, on, scale["at-1k"][1], scale["at-end"][1],
           caught["us-per-msg"], caught["longest"]))


if __name__ == "__main__":
    try:
        main()
    except AssertionError as failure:
        raise SystemExit("bench: %s" % failure)
