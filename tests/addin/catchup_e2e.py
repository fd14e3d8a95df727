#!/usr/bin/env python3
"""The catch-up end to end: outlook-standin.exe keeps its mailbox in a store file
across runs (--store), mail arrives or is sent elsewhere while it is closed
(--closed), and qsStow.Addin archives it at the next start.

Usage: catchup_e2e.py --list | CASE WINE_RUN BIN_DIR WORK_DIR

Runs in a Wine prefix of its own (QS_WINEPREFIX, set by CTest); each case
starts without the user's catch-up state (%LOCALAPPDATA%\\Quillstow), and
every run ends with no stand-in object alive.
"""
import glob
import os
import re
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import e2e  # noqa: E402
from e2e import (LOADED, RECEIVED, SENT, AddinCase, archived, archived_lines, check,  # noqa: E402
                 expect_lines, names_match, saving_line, windows_path)

IN_TO = "Archiving Incoming Messages to: "
OUT_TO = "Archiving Outgoing Messages to: "
CATCH_UP = "Catch-up MailItem detected. Subject: "
# The watermark in the general date form of the prefix's locale.
SINCE_IN = re.compile(r"Catching up Incoming Messages since \S+( \S+( [AP]M)?)?")
SINCE_OUT = re.compile(r"Catching up Outgoing Messages since \S+( \S+( [AP]M)?)?")
FUTURE = "at 2030-05-06 07:08:09\n"  # later than any watermark a run sets
FUTURE_STAMP = "20300506 070809"


def done_line(archived_count, failed, already):
    return "Catch-up done: %d archived, %d failed, %d already archived" % (
        archived_count, failed, already)


def caught_up(subject, folder, stamp=FUTURE_STAMP):
    """The log lines of a message archived by the catch-up under its own time."""
    return [CATCH_UP + subject,
            re.compile(re.escape("Saving Mail to: %s\\%s - %s.msg" % (folder.rstrip("\\"), stamp,
                                                                       subject))),
            "Successful. "]


class Mailbox(AddinCase):
    """A case with the stand-in's store in its folder and no catch-up state yet."""

    def __init__(self, t, name):
        super().__init__(t, name)
        self.store = os.path.join(self.dir, "store.txt")
        self.args = []  # for every start
        for state in glob.glob(os.path.join(t.prefix(), "drive_c", "users", "*", "AppData",
                                            "Local", "Quillstow")):
            shutil.rmtree(state)

    def index_path(self):
        found = glob.glob(os.path.join(self.t.prefix(), "drive_c", "users", "*", "AppData",
                                       "Local", "Quillstow", "qsStow.index"))
        check(len(found) == 1, "one index: %r" % found)
        return found[0]

    def open(self, scenario, args=()):
        """Outlook runs: the add-in is connected; returns the transcript without the
        connection's first and last lines, which are checked here."""
        done = self.run(scenario, ["--store", windows_path(self.store)] + self.args + list(args))
        check(done.rc == 0, "exit status %d: %s" % (done.rc, done.err))
        check(done.out[:1] == e2e.START and done.out[-2:] == e2e.END,
              "connected and all released: %r" % done.out)
        return done.out[1:-2]

    def closed(self, scenario):
        done = self.run(scenario, ["--closed", "--store", windows_path(self.store)], addin=None)
        check(done.rc == 0 and done.out[-1:] == ["live objects: 0"],
              "closed run: %d %r %s" % (done.rc, done.out, done.err))
        check(not any(line.startswith("connected") for line in done.out), "no add-in loaded")


def first_start(c, win_in, win_out):
    """The first start ever: the watermarks begin now, and nothing old is archived."""
    c.clear_log()
    c.open("idle 1000\n")
    expect_lines(c.log(), [LOADED, IN_TO + win_in, OUT_TO + win_out, SINCE_IN, SINCE_OUT,
                           done_line(0, 0, 0)], "first start")


# ---- cases ---------------------------------------------------------------------------------


def case_mail_while_closed(t):
    """Mail received and sent elsewhere while Outlook was closed is archived at the next start
    under its own time; the first start archives nothing old; non-mail items are ignored; a
    message archived live or by an earlier start is never archived again, also when a sent
    message moves to Sent Items; a torn index line is survived."""
    c = Mailbox(t, "while-closed")
    in_folder, out_folder = c.folder("In"), c.folder("Out")
    win_in, win_out = windows_path(in_folder), windows_path(out_folder)
    c.settings(folder_in=win_in, folder_out=win_out, catch_up=None)
    c.closed("receive Just now\nat 2020-01-01 10:00:00\nreceive Old in\nsent-elsewhere Old out\n")
    # The stand-in's times are whole seconds, rounded: "Just now" is a second older than the start.
    time.sleep(2)
    first_start(c, win_in, win_out)
    check(archived(in_folder) == [] and archived(out_folder) == [], "nothing old archived")

    c.closed(FUTURE + "receive Night mail\nsent-elsewhere From phone\n"
             "receive-item ReportItem Delivery report\nsend-item AppointmentItem Team lunch\n")
    c.clear_log()
    c.open("idle 1500\n")
    expect_lines(c.log(), [LOADED, IN_TO + win_in, OUT_TO + win_out, SINCE_IN] +
                 caught_up("Night mail", win_in) + [SINCE_OUT] + caught_up("From phone", win_out) +
                 [done_line(2, 0, 0)], "catch-up")

    # A crash tore the index's last line; garbage came before it.
    with open(c.index_path(), "ab") as f:
        f.write(b"A\tin\tgarbage\nA\tin\t2030-05-06 07:08:09\tS:00")
    c.clear_log()
    transcript = c.open("idle 1000\nreceive Live in\nsend Live out\nrestart\nidle 1500\n")
    expect_lines(transcript, ["saved Live in", "received", "saved Live out", "sent",
                              "disconnected"] + e2e.START, "live, then a restart")
    # The live lines; the copy of the sent message in Sent Items is recognised silently; the
    # next start finds everything archived.
    expect_lines(c.log(), [LOADED, IN_TO + win_in, OUT_TO + win_out, SINCE_IN, SINCE_OUT,
                           done_line(0, 0, 2)] +
                 archived_lines(RECEIVED, "Live in", win_in) +
                 archived_lines(SENT, "Live out", win_out) +
                 [LOADED, IN_TO + win_in, OUT_TO + win_out, SINCE_IN, SINCE_OUT,
                  done_line(0, 0, 4)], "live and restart")
    names_match(archived(in_folder), ["Live in"] + ["Night mail"])
    names_match(archived(out_folder), ["Live out", "From phone"])
    check(archived(in_folder)[1].startswith(FUTURE_STAMP), "own time stamp")


def case_failures_archived_once_later(t):
    """A message whose archiving failed — an unusable folder at the catch-up, a failing SaveAs
    on the live path — is archived exactly once by a later pass. In Outlook 2003, whose items
    have no PropertyAccessor, messages are known by what the wrapper reads."""
    c = Mailbox(t, "failures")
    c.args = ["--version", "11.0.0.0"]
    in_folder, out_folder = os.path.join(c.dir, "In"), c.folder("Out")
    win_in, win_out = windows_path(in_folder), windows_path(out_folder)
    c.settings(folder_in=win_in, folder_out=win_out, catch_up=None)
    first_start(c, win_in, win_out)
    c.closed(FUTURE + "receive Parked\nsent-elsewhere Parked out\n")

    c.clear_log()
    c.open("idle 1500\n")
    log = c.log()
    check(log[4] == CATCH_UP + "Parked" and log[6].startswith("Error: ") and
          log[-1] == done_line(1, 1, 0), "the missing folder fails: %r" % log)

    os.makedirs(in_folder)
    c.clear_log()
    c.open("idle 1000\nfail-next-saveas\n" + FUTURE + "receive Live failure\nrestart\nidle 1500\n")
    log = c.log()
    check(done_line(1, 0, 1) in log and log[-1] == done_line(1, 0, 2),
          "each archived by the next pass: %r" % log)
    names_match(sorted(archived(in_folder)), ["Live failure", "Parked"])
    names_match(archived(out_folder), ["Parked out"])


def case_cut_short_by_shutdown(t):
    """A catch-up of several hundred messages stopped by the shutdown finishes at the next start
    without duplicates, in slices that keep Outlook's message loop going."""
    c = Mailbox(t, "cut-short")
    in_folder = c.folder("In")
    c.settings(folder_in=windows_path(in_folder), enabled_out=0, logging=0, catch_up=None)
    c.open("idle 500\n")
    subjects = ["Batch %03d" % i for i in range(300)]
    c.closed(FUTURE + "".join("receive %s\n" % s for s in subjects))
    c.open("idle 150\n")
    first = len(archived(in_folder))
    check(0 < first < 300, "cut short after %d messages" % first)
    c.open("idle 8000\n")
    names = archived(in_folder)
    check(len(names) == 300 and sorted(n[18:-4] for n in names) == subjects,
          "every message once: %d files" % len(names))


def case_catch_up_off(t):
    """CatchUp 0 is the live behaviour alone, and the index is still written: switched on
    again, the catch-up archives what arrived meanwhile and nothing twice."""
    c = Mailbox(t, "off")
    in_folder, out_folder = c.folder("In"), c.folder("Out")
    win_in, win_out = windows_path(in_folder), windows_path(out_folder)
    c.settings(folder_in=win_in, folder_out=win_out, catch_up=None)
    first_start(c, win_in, win_out)

    c.settings(folder_in=win_in, folder_out=win_out, catch_up=0)
    c.closed(FUTURE + "receive While off\n")
    c.clear_log()
    c.open(FUTURE + "receive Live while off\nidle 1000\nsent-elsewhere From phone\nidle 500\n")
    expect_lines(c.log(), [LOADED, IN_TO + win_in, OUT_TO + win_out] +
                 archived_lines(RECEIVED, "Live while off", win_in), "catch-up off")
    names_match(archived(in_folder), ["Live while off"])

    c.settings(folder_in=win_in, folder_out=win_out, catch_up=None)
    c.clear_log()
    c.open("idle 1500\n")
    expect_lines(c.log(), [LOADED, IN_TO + win_in, OUT_TO + win_out, SINCE_IN] +
                 caught_up("While off", win_in) + [SINCE_OUT] +
                 caught_up("From phone", win_out) + [done_line(2, 0, 1)], "on again")


if __name__ == "__main__":
    e2e.main(globals())
