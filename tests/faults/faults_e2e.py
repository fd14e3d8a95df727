#!/usr/bin/env python3
"""The add-in under stress and faults, end to end: outlook-standin.exe loads
qsStow.Addin, which archives through the qsMapiLib stand-in.

Usage: faults_e2e.py --list | CASE WINE_RUN BIN_DIR WORK_DIR

Runs in a Wine prefix of its own (QS_WINEPREFIX, set by CTest). Every case
checks the add-in's promises: the host never sees a failure or a cancelled
send, the next message is archived normally, and every failure is logged with
its description when logging is on. QS_FAULTS_BURST sets the size of the burst
(default 80 messages); QS_FAULTS_SEED its random order.
"""
import collections
import glob
import os
import random
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import e2e  # noqa: E402
from e2e import (LOADED, RECEIVED, SENT, STAMP, archived_lines, check, expect_lines,  # noqa: E402
                 reg_text, windows_path)

ALLOWED = " _-+#()[]{}=%$\u00a7\u00df~\u20ac@\u00b5;"
DETECTED = {"send": SENT, "receive": RECEIVED}


OFF = e2e.CATCH_UP_OFF

def cleaned(subject):
    """The subject as the archive's file name carries it."""
    return "".join(c for c in subject if c in ALLOWED or (c < "\x80" and c.isalnum()))[:220]


class Case(e2e.AddinCase):
    def run(self, scenario, incoming=True):
        """Runs the host; checks it saw nothing but success, and that each mail item was saved
        unless its Save was made to fail (or, with `incoming` off, it arrived)."""
        done = super().run(scenario)
        check(done.rc == 0 and done.err == "", "host: status %d, %r" % (done.rc, done.err))
        expected, save_fails = [], False
        for line in scenario.splitlines():
            step, _, subject = line.partition(" ")
            if step in ("send", "receive"):
                if not save_fails and (step == "send" or incoming):
                    expected.append("saved " + subject)
                expected.append(step.replace("send", "sent").replace("receive", "received"))
            save_fails = step == "fail-next-save"
        expect_lines(done.out, e2e.transcript(*expected))


def check_archive(t, folder, subjects):
    """Exactly one file per message, each named after its subject and holding it."""
    files = [os.path.join(folder, name) for name in e2e.archived(folder)]
    check(len(files) == len(subjects), "%d files for %d messages in %s" %
          (len(files), len(subjects), folder))
    read = [headers.get("Subject", "") for headers, _ in e2e.read_messages(files, t.work)]
    check(collections.Counter(read) == collections.Counter(subjects),
          "subjects read back %r, sent %r" % (sorted(read), sorted(subjects)))
    for path, subject in zip(files, read):
        name = os.path.basename(path)
        m = re.fullmatch(STAMP + r" - (.*?)( \(\d+\))?\.msg", name)
        # The subject is cut further only as far as the path limit demands.
        check(m and (m.group(1) == cleaned(subject) or
                     (cleaned(subject).startswith(m.group(1)) and len(windows_path(path)) == 259)),
              "%r does not carry the subject %r" % (name, subject))


# ---- cases ---------------------------------------------------------------------------------


def case_burst(t):
    """Sends and receives in a burst, many with one subject in the same second: every
    message is archived under a name of its own and logged with it."""
    c = Case(t, "burst")
    out_folder, in_folder = c.folder("Out"), c.folder("In")
    win = {"send": windows_path(out_folder), "receive": windows_path(in_folder)}
    c.settings(folder_in=win["receive"], folder_out=win["send"])
    count = int(os.environ.get("QS_FAULTS_BURST", "80"))
    rng = random.Random(int(os.environ.get("QS_FAULTS_SEED", "20060518")))
    varied = ["Re: Offer 12/2006", "Gr\u00fc\u00dfe aus K\u00f6ln", "", "???", "Daily report",
              "DAILY REPORT", "\u041f\u0440\u0438\u0432\u0435\u0442", "x" * 300, "a:b/c\\d*e",
              "Invoice #12 (final) [v2] {draft} = 100% $ \u20ac @ \u00b5; ~"]
    steps = []
    for i in range(count):
        subject = "Daily report" if rng.random() < 0.5 else rng.choice(varied + ["Note %d" % i])
        steps.append((rng.choice(["send", "receive"]), subject))
    c.run("".join("%s %s\n" % s for s in steps))
    check_archive(t, out_folder, [s for d, s in steps if d == "send"])
    check_archive(t, in_folder, [s for d, s in steps if d == "receive"])
    log = c.log()
    expect_lines(log, [LOADED, "Archiving Incoming Messages to: " + win["receive"],
                       "Archiving Outgoing Messages to: " + win["send"]] + sum(
        ([DETECTED[d] + e2e.as_logged(s), re.compile(re.escape("Saving Mail to: %s\\" % win[d]) + r".*\.msg"),
          "Successful. "] for d, s in steps), []), "log")
    saved = sorted(line[len("Saving Mail to: "):] for line in log[4::3])
    files = sorted(win[d] + "\\" + name for d, folder in (("send", out_folder), ("receive", in_folder))
                   for name in e2e.archived(folder))
    check(saved == files, "the logged names are the archived files")


# What each injected failure is, and the log lines the failing message leaves before it.
FAULTS = [
    ("save", "Cannot save the item: the message store is not available.", 0),
    ("wrapper", "Injected failure of creating a SafeMailItem.", 0),
    ("item", "Injected failure of setting Item.", 0),
    ("subject", "Injected failure of reading Subject.", 0),
    ("saveas", "Injected failure of SaveAs.", 2),
]


def case_step_faults(t):
    """A failure at every step of the archiver, in both directions, with logging on and off."""
    for direction in ("send", "receive"):
        for logging in (1, 0):
            c = Case(t, "%s-%d" % (direction, logging))
            folder = c.folder("Archive")
            win = windows_path(folder)
            c.settings(folder_in=win, folder_out=win, logging=logging)
            c.run("".join("fail-next-%s\n%s Faulty %s\n%s After %s\n" %
                          (f, direction, f, direction, f) for f, _, _ in FAULTS))
            check_archive(t, folder, ["After %s" % f for f, _, _ in FAULTS])
            if not logging:
                check(c.log() is None, "logging off leaves no log")
                continue
            expected = [LOADED, "Archiving Incoming Messages to: " + win,
                        "Archiving Outgoing Messages to: " + win]
            for fault, description, lines_before in FAULTS:
                expected += archived_lines(DETECTED[direction], "Faulty " + fault, win)[:lines_before]
                expected += ["Error: " + description]
                expected += archived_lines(DETECTED[direction], "After " + fault, win)
            expect_lines(c.log(), expected, "log")


def case_folder_faults(t):
    """An outgoing folder that cannot take files: each send fails and is logged with its
    description; mail that arrives in between is archived normally; no folder is made."""
    c = Case(t, "folders")
    a_file = os.path.join(c.dir, "not-a-folder")
    open(a_file, "w").close()
    long_folder = windows_path(c.folder("long")) + "\\" + "f" * 240

    # The wrapper's own description of a file it cannot create names the file and the cause.
    def cannot_create(why):
        return lambda folder, stem: (re.escape("Error: Cannot create file %s\\" % folder) + STAMP +
                                     re.escape(" - %s.msg: %s" % (stem, why)))

    def too_long(folder, stem):
        return re.escape("Error: The archive folder's path is too long for a file name: " + folder)

    rows = [("missing", windows_path(os.path.join(c.dir, "missing")), cannot_create("Path not found.")),
            ("a file", windows_path(a_file), cannot_create("Path not found.")),
            ("too long", long_folder, too_long)]
    # Wine running as root ignores read-only attributes and permissions, so the read-only
    # folder is one where the kernel denies everybody a new file: sysfs.
    try:
        open("/sys/qs-probe.msg", "w").close()
        os.remove("/sys/qs-probe.msg")
        print("no read-only folder on this machine: /sys accepts new files")
    except OSError:
        rows.append(("read-only", "Z:\\sys", cannot_create("Access denied.")))
    for what, folder, error in rows:
        in_folder = c.folder("In " + what)
        win_in = windows_path(in_folder)
        c.settings(folder_in=win_in, folder_out=folder)
        c.clear_log()
        c.run("send First %s\nreceive Between\nsend Second %s\n" % (what, what))
        e2e.names_match(e2e.archived(in_folder), ["Between"])
        sent = []
        for n in ("First", "Second"):
            stem = cleaned("%s %s" % (n, what))
            sent.append([SENT + "%s %s" % (n, what)] +
                        [e2e.saving_line(folder, stem)] * (error != too_long) +
                        [re.compile(error(folder, stem))])
        expect_lines(c.log()[3:], sent[0] + archived_lines(RECEIVED, "Between", win_in) + sent[1],
                     what + ": log")
    check(not os.path.exists(os.path.join(c.dir, "missing")), "no folder was created")


def case_locked_log(t):
    """The log held by another program with no sharing: mail is archived all the same, no line
    is written while it is held, and logging resumes when it is let go."""
    c = Case(t, "locked-log")
    folder = c.folder("Out")
    c.settings(enabled_in=0, folder_out=windows_path(folder))
    holder = e2e.Started([t.wine_run, os.path.join(t.bin, "hold-file.exe"),
                          windows_path(c.log_path)])
    try:
        holder.wait_for("held")
        c.run("send While locked\nsend Also while locked\n")
    finally:
        holder.finish(timeout=60)
    check(c.log() == [], "nothing was written into the held log")
    check_archive(t, folder, ["While locked", "Also while locked"])
    c.run("send After\n")
    log = c.log()
    check(log[0] == LOADED and log[-1] == "Successful. ", log)

    # A folder the user may not write to (Program Files): the log goes to %LOCALAPPDATA%.
    fallback = glob.glob(os.path.join(t.prefix(), "drive_c", "users", "*", "AppData", "Local"))
    check(len(fallback) == 1, "the prefix's local application data: %r" % fallback)
    fallback = os.path.join(fallback[0], "Quillstow", "qsStow.log")
    if os.path.exists(fallback):
        os.remove(fallback)
    c.clear_log()
    subprocess.run(["chattr", "+i", c.dir], check=True)
    try:
        c.run("send Read-only\n")
    finally:
        subprocess.run(["chattr", "-i", c.dir], check=True)
    check(c.log() is None, "nothing beside the add-in in a folder it may not write to")
    log = e2e.log_lines(fallback)
    check(log is not None and log[0] == LOADED and log[-1] == "Successful. ", "fallback %r" % log)
    check_archive(t, folder, ["While locked", "Also while locked", "After", "Read-only"])


def case_settings_key(t):
    """No settings key, unreadable values, and values of foreign types: the host is never
    disturbed (a message box of Settings.Load returns at once without a display), and what
    cannot be read is off."""
    c = Case(t, "settings")
    out_folder, in_folder = c.folder("Out"), c.folder("In")
    c.registry(None)
    c.run("send No key\nreceive No key\n", incoming=False)
    check(e2e.archived(out_folder) == [] and e2e.archived(in_folder) == [] and c.log() is None,
          "no key: nothing archived, nothing logged")

    # EnabledIn out of range and Logging as text fail to convert (message boxes); the others hold.
    c.registry(['"EnabledIn"=dword:00011170', '"EnabledOut"=dword:00000001',
                '"FolderIn"=hex:01,02,03', '"FolderOut"=' + reg_text(windows_path(out_folder)),
                '"Logging"="1"', OFF])
    c.run("send Bad values\nreceive Bad values\n", incoming=False)
    check_archive(t, out_folder, ["Bad values"])
    check(e2e.archived(in_folder) == [] and c.log() is None, "incoming off, logging off")
    kept = e2e.archived(out_folder)

    # Every value of one foreign type, at sizes on both sides of four bytes. One that fits
    # the four bytes of a number (texts counted in ANSI) reads as 1, and any as the text "1":
    # a folder relative to Outlook's working folder, here the case's. Larger ones cannot be
    # read as numbers, so they are off.
    relative = c.folder("1")
    for spec, on in [("hex(0):", True), ("hex(3):01,00", True), ("hex(5):00,00,00,01", True),
                     ("hex(b):01,00,00,00,00,00,00,00", False), ("hex(7):41,00,00,00,00,00", True),
                     ("hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00", False),
                     ("hex(3):" + ",".join(["ff"] * 600), False)]:
        c.registry(['"%s"=%s' % (n, spec) for n in
                    ("EnabledIn", "EnabledOut", "FolderIn", "FolderOut", "Logging")] + [OFF])
        c.clear_log()
        sent, received = "Foreign %s sent" % spec[:6], "Foreign %s received" % spec[:6]
        c.run("send %s\nreceive %s\n" % (sent, received), incoming=on)
        files = e2e.archived(relative)
        for name in files:
            os.remove(os.path.join(relative, name))
        if not on:
            check(files == [] and c.log() is None, "%s: nothing archived, nothing logged" % spec)
            continue
        check(sorted(re.sub("^" + STAMP, "", n) for n in files) ==
              sorted(" - %s.msg" % cleaned(s) for s in (sent, received)), "%s: files %r" % (spec, files))
        expect_lines(c.log(), [LOADED, "Archiving Incoming Messages to: 1",
                               "Archiving Outgoing Messages to: 1"] +
                     archived_lines(SENT, sent, "1", cleaned(sent)) +
                     archived_lines(RECEIVED, received, "1", cleaned(received)), spec + ": log")
    check(e2e.archived(out_folder) == kept and e2e.archived(in_folder) == [], "nothing elsewhere")


if __name__ == "__main__":
    e2e.main(globals())
