#!/usr/bin/env python3
"""The add-in under stress and faults, end to end: outlook-standin.exe loads
qsStow.Addin, which archives through the qsMapiLib stand-in.

Usage: faults_e2e.py CASE WINE_RUN BIN_DIR WORK_DIR

Runs in a Wine prefix of its own (QS_WINEPREFIX, set by CTest). Every case
checks the add-in's promises: the host never sees a failure or a cancelled
send, the next message is archived normally, and every failure is logged with
its description when logging is on. QS_FAULTS_BURST sets the size of the burst
(default 80 messages); QS_FAULTS_SEED its random order.
"""
import collections
import email.header
import glob
import os
import random
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from addin_e2e import (END, START, STAMP, AddinCase, check, reg_text,  # noqa: E402
                       windows_path)

CASE, WINE_RUN, BIN, WORK = sys.argv[1:5]
ALLOWED = " _-+#()[]{}=%$\u00a7\u00df~\u20ac@\u00b5;"


def cleaned(subject):
    """The subject as the archive's file name carries it."""
    return "".join(c for c in subject if c in ALLOWED or (c < "\x80" and c.isalnum()))[:220]


class Case(AddinCase):
    def __init__(self, name):
        super().__init__(WINE_RUN, BIN, WORK, name)

    def run(self, scenario):
        """Runs the host with the add-in; checks it saw nothing but success; returns stdout."""
        rc, out, err = self.run_host(scenario)
        check(rc == 0 and err == "", "host: status %d, %r" % (rc, err))
        steps = [l.split(" ", 1)[0] for l in scenario.splitlines() if l.startswith(("send", "rec"))]
        expected = START + [{"send": "sent", "receive": "received"}[s] for s in steps] + END
        check(out == expected, "transcript %r, expected %r" % (out, expected))
        return out

    def log(self):
        return self.log_lines()


def denies_new_files(folder):
    try:
        with open(os.path.join(folder, "qs-probe.msg"), "w"):
            pass
    except PermissionError:
        return True
    except OSError:
        return False
    os.remove(os.path.join(folder, "qs-probe.msg"))
    return False


def archived(folder):
    return sorted(glob.glob(os.path.join(folder, "*.msg")))


def subjects_read_back(paths):
    """The subjects of .msg files as msgconvert reads them, in the files' order."""
    if not paths:
        return []
    mbox = os.path.join(WORK, "read-back.mbox")
    if os.path.exists(mbox):
        os.remove(mbox)
    subprocess.run(["msgconvert", "--mbox", mbox] + paths, check=True, capture_output=True,
                   timeout=300)
    with open(mbox, "rb") as f:
        raw = f.read()
    messages = re.split(rb"(?m)^From [^\n]*\n", raw)[1:]
    check(len(messages) == len(paths), "msgconvert read %d of %d files" % (len(messages), len(paths)))
    subjects = []
    for m in messages:
        head = m.replace(b"\r\n", b"\n").partition(b"\n\n")[0]
        head = re.sub(rb"\n[ \t]", b" ", head)  # unfolded
        line = next((l for l in head.split(b"\n") if l.startswith(b"Subject:")), b"Subject:")
        # msgconvert writes a header of Latin-1 characters as Latin-1, others as UTF-8.
        try:
            text = line.decode("utf-8")
        except UnicodeDecodeError:
            text = line.decode("latin-1")
        text = text[len("Subject:"):].strip()
        subjects.append(str(email.header.make_header(email.header.decode_header(text))))
    return subjects


def check_archive(folder, subjects):
    """Exactly one file per message, each named after its subject and holding it."""
    files = archived(folder)
    check(len(files) == len(subjects), "%d files for %d messages in %s" %
          (len(files), len(subjects), folder))
    read = subjects_read_back(files)
    check(collections.Counter(read) == collections.Counter(subjects),
          "subjects read back %r, sent %r" % (sorted(read), sorted(subjects)))
    for path, subject in zip(files, read):
        name = os.path.basename(path)
        m = re.fullmatch(STAMP + r" - (.*?)( \(\d+\))?\.msg", name)
        # The subject is cut further only as far as the path limit demands.
        check(m and (m.group(1) == cleaned(subject) or
                     (cleaned(subject).startswith(m.group(1)) and len(windows_path(path)) == 259)),
              "%r does not carry the subject %r" % (name, subject))


def archived_lines(direction, subject, path_prefix):
    """The log lines of one message archived normally."""
    detected = {"send": "Send MailItem detected. Subject: ",
                "receive": "New MailItem detected. Subject: "}[direction]
    return [detected + subject, ("Saving Mail to: ", path_prefix), "Successful. "]


def match_log(log, expected):
    """Lines equal; a (prefix, start) pair matches a line beginning with both joined."""
    check(len(log) == len(expected), "log %r\nexpected %r" % (log, expected))
    for line, want in zip(log, expected):
        if isinstance(want, tuple):
            check(line.startswith("".join(want)), "log line %r, expected %r..." % (line, want))
        else:
            check(line == want, "log line %r, expected %r" % (line, want))


# ---- cases ---------------------------------------------------------------------------------


def case_burst():
    """Sends and receives in a burst, many with one subject in the same second."""
    c = Case("burst")
    out_folder, in_folder = c.folder("Out"), c.folder("In")
    c.settings(folder_in=windows_path(in_folder), folder_out=windows_path(out_folder))
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
    check_archive(out_folder, [s for d, s in steps if d == "send"])
    check_archive(in_folder, [s for d, s in steps if d == "receive"])
    log = c.log()
    check(log.count("Successful. ") == count and not any(l.startswith("Error") for l in log),
          "log of the burst: %r" % log[-6:])


# What each injected failure is, and the log lines the failing message leaves.
FAULTS = [
    ("save", "Cannot save the item: the message store is not available.", 0),
    ("wrapper", "Injected failure of creating a SafeMailItem.", 0),
    ("item", "Injected failure of setting Item.", 0),
    ("subject", "Injected failure of reading Subject.", 0),
    ("saveas", "Injected failure of SaveAs.", 2),
]


def case_step_faults():
    """A failure at every step of the archiver, in both directions, with logging on and off."""
    for direction in ("send", "receive"):
        for logging in (1, 0):
            c = Case("%s-%d" % (direction, logging))
            folder = c.folder("Archive")
            c.settings(folder_in=windows_path(folder), folder_out=windows_path(folder),
                       logging=logging)
            scenario = "".join("fail-next-%s\n%s Faulty %s\n%s After %s\n" %
                               (f, direction, f, direction, f) for f, _, _ in FAULTS)
            c.run(scenario)
            check_archive(folder, ["After %s" % f for f, _, _ in FAULTS])
            if not logging:
                check(c.log() is None, "logging off leaves no log")
                continue
            path = windows_path(folder) + "\\"
            expected = [l if isinstance(l, str) else l for l in
                        ["Addin loaded. Version 1.1 Build 34",
                         "Archiving Incoming Messages to: " + windows_path(folder),
                         "Archiving Outgoing Messages to: " + windows_path(folder)]]
            for fault, description, lines_before in FAULTS:
                expected += archived_lines(direction, "Faulty " + fault, path)[:lines_before]
                expected.append("Error: " + description)
                expected += archived_lines(direction, "After " + fault, path)
            match_log(c.log(), expected)


def case_folder_faults():
    """An outgoing folder that cannot take files: each send fails and is logged; mail that
    arrives in between is archived normally."""
    c = Case("folders")
    in_folder = c.folder("In")
    a_file = os.path.join(c.dir, "not-a-folder")
    open(a_file, "w").close()
    folders = [("missing", windows_path(os.path.join(c.dir, "missing"))),
               ("a file", windows_path(a_file)),
               ("too long", windows_path(c.folder("long")) + "\\" + "f" * 240)]
    # Wine running as root ignores read-only attributes and permissions, so the read-only
    # folder is one where the kernel denies everybody a new file: sysfs.
    if denies_new_files("/sys"):
        folders.append(("read-only", "Z:\\sys"))
    else:
        print("no read-only folder on this machine: /sys accepts new files")
    for what, folder in folders:
        c.settings(folder_in=windows_path(in_folder), folder_out=folder)
        if os.path.exists(c.log_path):
            os.remove(c.log_path)
        before = len(archived(in_folder))
        c.run("send First %s\nreceive Between\nsend Second %s\n" % (what, what))
        check(len(archived(in_folder)) == before + 1, "%s: the received mail is archived" % what)
        log = c.log()[3:]
        sent = []
        for n in ("First", "Second"):
            sent.append("Send MailItem detected. Subject: %s %s" % (n, what))
            if what != "too long":
                sent.append(("Saving Mail to: ", folder + "\\"))
            sent.append(("Error: ", ""))
        expected = sent[:len(sent) // 2] + archived_lines(
            "receive", "Between", windows_path(in_folder) + "\\") + sent[len(sent) // 2:]
        match_log(log, expected)
        errors = [l for l in log if l.startswith("Error: ")]
        check(all(len(e) > len("Error: ") + 5 for e in errors), "%s: described %r" % (what, errors))
    check(not glob.glob(os.path.join(c.dir, "missing*")), "no folder was created")


def case_locked_log():
    """The log held by another program with no sharing: mail is archived all the same, no line
    is written while it is held, and logging resumes when it is let go."""
    c = Case("locked-log")
    folder = c.folder("Out")
    c.settings(enabled_in=0, folder_out=windows_path(folder))
    said = os.path.join(c.dir, "holder.out")
    with open(said, "wb") as out:
        holder = subprocess.Popen([WINE_RUN, os.path.join(BIN, "hold-file.exe"),
                                   windows_path(c.log_path)], stdin=subprocess.PIPE, stdout=out,
                                  stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 60
        while not open(said, "rb").read().startswith(b"held"):
            check(holder.poll() is None and time.monotonic() < deadline, "the log is held")
            time.sleep(0.05)
        c.run("send While locked\nsend Also while locked\n")
    finally:
        holder.stdin.close()
        holder.wait(timeout=60)
    check(c.log() == [], "nothing was written into the held log")
    check_archive(folder, ["While locked", "Also while locked"])
    c.run("send After\n")
    log = c.log()
    check(log[0] == "Addin loaded. Version 1.1 Build 34" and log[-1] == "Successful. ", log)


def case_settings_key():
    """No settings key, unreadable values, and values of foreign types: the host is never
    disturbed (a message box of Settings.Load returns at once without a display)."""
    c = Case("settings")
    out_folder, in_folder = c.folder("Out"), c.folder("In")
    c.registry(None)
    c.run("send No key\nreceive No key\n")
    check(archived(out_folder) == [] and archived(in_folder) == [] and c.log() is None,
          "no key: nothing archived, nothing logged")

    # EnabledIn out of range and Logging as text fail to convert (message boxes); the others hold.
    c.registry(['"EnabledIn"=dword:00011170', '"EnabledOut"=dword:00000001',
                '"FolderIn"=hex:01,02,03', '"FolderOut"=' + reg_text(windows_path(out_folder)),
                '"Logging"="1"'])
    c.run("send Bad values\nreceive Bad values\n")
    check_archive(out_folder, ["Bad values"])
    check(archived(in_folder) == [] and c.log() is None, "incoming off, logging off")

    # Every value of one foreign type, at sizes on both sides of four bytes.
    for spec in ["hex(0):", "hex(3):01,00", "hex(5):00,00,00,01", "hex(b):01,00,00,00,00,00,00,00",
                 "hex(7):41,00,00,00,00,00", "hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00",
                 "hex(3):" + ",".join(["ff"] * 600)]:
        c.registry(['"%s"=%s' % (n, spec) for n in
                    ("EnabledIn", "EnabledOut", "FolderIn", "FolderOut", "Logging")])
        c.run("send Foreign %s\nreceive Foreign\n" % spec[:6])


CASES = {name[5:].replace("_", "-"): f for name, f in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    CASES[CASE]()
    print("ok", CASE)
