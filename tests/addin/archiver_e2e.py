#!/usr/bin/env python3
"""qsStow.Addin end to end: outlook-standin.exe loads the real add-in, which
archives through the qsMapiLib stand-in; the files are read back with
msgconvert, which nobody here wrote.

Usage: archiver_e2e.py CASE WINE_RUN BIN_DIR WORK_DIR

Runs in a Wine prefix of its own (QS_WINEPREFIX, set by CTest), because some
cases unregister the MAPI library. Each case registers its own copy of
qsStow.dll, so the log it reads beside that copy is its own.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from addin_e2e import (END, START, STAMP, AddinCase, check, expect_lines,  # noqa: E402
                       windows_path)
import addin_e2e  # noqa: E402

CASE, WINE_RUN, BIN, WORK = sys.argv[1:5]


def wine(*args, check=True):
    return addin_e2e.wine(WINE_RUN, *args, check=check)


class Case(AddinCase):
    def __init__(self, name):
        super().__init__(WINE_RUN, BIN, WORK, name)

    def run(self, scenario, args=()):
        """Runs the host with the add-in; returns (status, stdout lines)."""
        rc, out, _ = self.run_host(scenario, args)
        return rc, out

    def log(self):
        return self.log_lines() or []


def archived(folder):
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(folder, "*.msg")))


def eml_of(msg_path):
    """msgconvert's .eml of a .msg: (headers as a dict, body)."""
    eml = os.path.join(WORK, os.path.basename(msg_path)[:-4] + ".eml")
    subprocess.run(["msgconvert", "--outfile", eml, msg_path], check=True, capture_output=True)
    with open(eml, "rb") as f:
        raw = f.read().replace(b"\r\n", b"\n")
    head, _, body = raw.partition(b"\n\n")
    headers = {}
    for line in head.split(b"\n"):
        # msgconvert writes a header of Latin-1 characters as Latin-1, others as UTF-8.
        try:
            text = line.decode("utf-8")
        except UnicodeDecodeError:
            text = line.decode("latin-1")
        name, _, value = text.partition(": ")
        headers[name] = value
    return headers, body.decode("utf-8", "replace")


def plain_body(msg_path):
    """The message's plain-text body as stored, read with olefile (msgconvert
    encodes a Unicode body twice)."""
    import olefile
    ole = olefile.OleFileIO(msg_path)
    try:
        if ole.exists("__substg1.0_1000001F"):
            return ole.openstream("__substg1.0_1000001F").read().decode("utf-16-le")
        return ole.openstream("__substg1.0_1000001E").read().decode("cp1252")
    finally:
        ole.close()


def decoded_subject(header):
    """The Subject header with RFC 2047 words decoded."""
    import email.header
    return str(email.header.make_header(email.header.decode_header(header)))


def names_match(names, subjects):
    check(len(names) == len(subjects), "files %r for subjects %r" % (names, subjects))
    for name, subject in zip(names, subjects):
        check(re.fullmatch(STAMP + " - " + re.escape(subject) + r"\.msg", name),
              "%r is not named after %r" % (name, subject))


# ---- cases ---------------------------------------------------------------------------------


def case_sent_and_received():
    """Both directions with logging on: file names, log lines, and the files' content."""
    c = Case("sent-and-received")
    out_folder, in_folder = c.folder("Out"), c.folder("In")
    c.settings(folder_in=windows_path(in_folder), folder_out=windows_path(out_folder) + "\\")
    before = time.strftime("%Y%m%d %H%M%S")
    rc, out = c.run("send Re: Offer 12/2006\nreceive Gr\u00fc\u00dfe aus K\u00f6ln\nsend \n")
    after = time.strftime("%Y%m%d %H%M%S")
    check(rc == 0, "exit status %d" % rc)
    expect_lines(out, START + ["sent", "received", "sent"] + END)

    sent = archived(out_folder)
    check(len(sent) == 2, "sent files %r" % sent)
    names_match([n for n in sent if n.endswith(" - Re Offer 122006.msg")], ["Re Offer 122006"])
    names_match([n for n in sent if n.endswith(" - .msg")], [""])
    names_match(archived(in_folder), ["Gr\u00dfe aus Kln"])
    for name in sent:
        check(before <= name[:15] <= after, "time stamp of %r within the run" % name)

    out_path = windows_path(out_folder) + "\\"
    log = c.log()
    expect_lines(log[:3], ["Addin loaded. Version 1.1 Build 34",
                           "Archiving Incoming Messages to: " + windows_path(in_folder),
                           "Archiving Outgoing Messages to: " + out_path], "start-up lines")
    check(log[3] == "Send MailItem detected. Subject: Re: Offer 12/2006", log[3])
    check(re.fullmatch(re.escape("Saving Mail to: " + out_path) + STAMP +
                       re.escape(" - Re Offer 122006.msg"), log[4]), log[4])
    check(log[5] == "Successful. ", repr(log[5]))
    check(log[6] == "New MailItem detected. Subject: Gr\u00fc\u00dfe aus K\u00f6ln", log[6])
    check(log[7].startswith("Saving Mail to: " + windows_path(in_folder) + "\\"), log[7])
    check(log[8] == "Successful. " and len(log) == 12, "log %r" % log)

    headers, body = eml_of(os.path.join(out_folder, [n for n in sent if "Offer" in n][0]))
    check(decoded_subject(headers.get("Subject", "")) == "Re: Offer 12/2006", headers)
    headers, _ = eml_of(os.path.join(in_folder, archived(in_folder)[0]))
    check(decoded_subject(headers.get("Subject", "")) == "Gr\u00fc\u00dfe aus K\u00f6ln", headers)


def case_unicode():
    """Cyrillic and CJK subjects survive in the archive on a current Outlook."""
    c = Case("unicode")
    folder = c.folder("Out")
    c.settings(enabled_in=0, folder_out=windows_path(folder))
    subjects = ["\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440", "\u4f60\u597d\u4e16\u754c 2026"]
    rc, out = c.run("".join("send %s\n" % s for s in subjects))
    check(rc == 0 and out == START + ["sent", "sent"] + END, "run: %d %r" % (rc, out))
    files = archived(folder)
    names_match(sorted(files, key=lambda n: n[18:] != " 2026.msg"), [" 2026", " "])
    found = set()
    for name in files:
        headers, _ = eml_of(os.path.join(folder, name))
        subject = decoded_subject(headers.get("Subject", ""))
        found.add(subject)
        body = plain_body(os.path.join(folder, name))
        check(body.rstrip().endswith("about: " + subject), "body %r" % body)
    check(found == set(subjects), "subjects read back: %r" % found)


def case_old_outlook_ansi():
    """On Outlook 2002 (10.0) the archive is written in the ANSI format."""
    c = Case("ansi")
    folder = c.folder("Out")
    c.settings(enabled_in=0, folder_out=windows_path(folder))
    rc, out = c.run("send \u041f\u0440\u0438\u0432\u0435\u0442 ok\n", ["--version", "10.0.0.0"])
    check(rc == 0 and out == START + ["sent"] + END, "run: %d %r" % (rc, out))
    files = archived(folder)
    names_match(files, [" ok"])
    headers, _ = eml_of(os.path.join(folder, files[0]))
    subject = decoded_subject(headers.get("Subject", ""))
    check(subject.endswith(" ok") and "\u041f" not in subject, "ANSI subject %r" % subject)
    body = plain_body(os.path.join(folder, files[0]))
    check(body.rstrip().endswith("?????? ok"), "ANSI body %r" % body)


def case_same_subject_same_second():
    """Many messages with one subject within a second: every one is kept."""
    c = Case("same-second")
    folder = c.folder("Out")
    c.settings(enabled_in=0, folder_out=windows_path(folder), logging=0)
    rc, out = c.run("send Daily report\n" * 6)
    check(rc == 0 and out == START + ["sent"] * 6 + END, "run: %d %r" % (rc, out))
    files = archived(folder)
    check(len(files) == 6, "files %r" % files)
    stems = sorted(re.sub("^" + STAMP, "", n) for n in files)
    check(" - Daily report.msg" in stems, stems)
    check(all(re.fullmatch(r" - Daily report( \(\d+\))?\.msg", s) for s in stems), stems)
    check(c.log() == [], "logging off leaves no log")


def case_long_subject():
    """A subject of 300 allowed characters: cut to 220, then to the path limit."""
    c = Case("long-subject")
    # A short folder on drive C: of the prefix, so that only the 220 cut applies.
    short_folder = os.path.join(os.environ["QS_WINEPREFIX"], "drive_c", "qsLongSubject")
    shutil.rmtree(short_folder, ignore_errors=True)
    os.makedirs(short_folder)
    deep_folder = c.folder("deep" + "/d" * 40)
    subject = "".join("abcdefghij"[i % 10] for i in range(300))
    for folder, limit in [(short_folder, 220), (deep_folder, None)]:
        windows_folder = "C:\\qsLongSubject" if folder == short_folder else windows_path(folder)
        c.settings(enabled_in=0, folder_out=windows_folder, logging=0)
        rc, out = c.run("send %s\n" % subject)
        check(rc == 0 and out == START + ["sent"] + END, "run: %d %r" % (rc, out))
        files = archived(folder)
        check(len(files) == 1, "files in %s: %r" % (folder, files))
        kept = files[0][18:-4]
        full = windows_folder + "\\" + files[0]
        if limit:
            check(kept == subject[:220], "subject part of %d characters" % len(kept))
        else:
            check(len(full) == 259 and subject.startswith(kept), "path of %d characters" % len(full))


def case_outgoing_off():
    """EnabledOut 0 with logging on: the detection line, and nothing more."""
    c = Case("outgoing-off")
    folder = c.folder("Out")
    c.settings(enabled_in=0, enabled_out=0, folder_out=windows_path(folder))
    rc, out = c.run("send Not archived\n")
    check(rc == 0 and out == START + ["sent"] + END, "run: %d %r" % (rc, out))
    check(archived(folder) == [], "no file")
    expect_lines(c.log(), ["Addin loaded. Version 1.1 Build 34",
                           "Send MailItem detected. Subject: Not archived"], "log")


def case_incoming_minus_one():
    """EnabledIn -1 counts as on at connection and as off when mail arrives."""
    c = Case("incoming-minus-one")
    folder = c.folder("In")
    c.settings(enabled_in=-1, enabled_out=0, folder_in=windows_path(folder))
    rc, out = c.run("receive Hello\n")
    check(rc == 0 and out == START + ["received"] + END, "run: %d %r" % (rc, out))
    check(archived(folder) == [], "not archived")
    expect_lines(c.log(), ["Addin loaded. Version 1.1 Build 34",
                           "Archiving Incoming Messages to: " + windows_path(folder),
                           "New MailItem detected. Subject: Hello"], "log")


def case_other_items():
    """Items of other kinds are not saved, not wrapped and not logged."""
    c = Case("other-items")
    folder = c.folder("Out")
    c.settings(enabled_in=0, folder_out=windows_path(folder))
    kinds = ["AppointmentItem", "MeetingItem", "TaskRequestItem", "ReportItem"]
    rc, out = c.run("".join("send-item %s Invitation\n" % k for k in kinds))
    check(rc == 0 and out == START + ["sent"] * 4 + END, "run: %d %r" % (rc, out))
    check(archived(folder) == [], "nothing archived")
    expect_lines(c.log(), ["Addin loaded. Version 1.1 Build 34",
                           "Archiving Outgoing Messages to: " + windows_path(folder)], "log")


def case_failures_are_logged():
    """A failing Save, a missing folder and a failing SaveAs: logged, and mail goes on."""
    c = Case("failures")
    folder = c.folder("Out")
    missing = os.path.join(c.dir, "does-not-exist")
    c.settings(enabled_in=0, folder_out=windows_path(folder))
    rc, out = c.run("fail-next-save\nsend One\nfail-next-saveas\nsend Two\nsend Three\n")
    check(rc == 0 and out == START + ["sent"] * 3 + END, "run: %d %r" % (rc, out))
    names_match(archived(folder), ["Three"])
    log = c.log()
    check(re.fullmatch(r"Error: \S.*", log[2]), "Save failure %r" % log[2])
    check(log[3:5] == ["Send MailItem detected. Subject: Two", log[4]] and
          log[4].startswith("Saving Mail to: "), log)
    check(re.fullmatch(r"Error: \S.*", log[5]), "SaveAs failure %r" % log[5])
    check(log[-1] == "Successful. ", log)

    c.settings(enabled_in=0, folder_out=windows_path(missing))
    open(os.path.join(c.dir, "qsStow.log"), "w").close()
    rc, out = c.run("send Lost folder\n")
    check(rc == 0 and out == START + ["sent"] + END, "run: %d %r" % (rc, out))
    log = c.log()
    check(log[-3] == "Send MailItem detected. Subject: Lost folder", log)
    check(log[-2].startswith("Saving Mail to: " + windows_path(missing) + "\\"), log)
    # The wrapper's own description of the failure.
    check(log[-1].startswith("Error: Cannot create file " + windows_path(missing) + "\\"), log)


def case_missing_library():
    """Without qsMapiLib: outgoing archiving logs the failure; incoming fails the connection."""
    c = Case("missing-library")
    folder = c.folder("Out")
    wine("regsvr32", "/s", "/u", windows_path(os.path.join(BIN, "qsMapiLib.dll")))
    try:
        c.settings(enabled_in=0, folder_out=windows_path(folder))
        rc, out = c.run("send Wrapper missing\n")
        check(rc == 0 and out == START + ["sent"] + END, "run: %d %r" % (rc, out))
        log = c.log()
        # The wrapper cannot be created: the platform's message for the code.
        check(log[1:] == ["Archiving Outgoing Messages to: " + windows_path(folder),
                          "Error: " + log[-1][7:]] and re.fullmatch(r"Error: \S.*", log[-1]), log)
        check(archived(folder) == [], "nothing archived")

        open(os.path.join(c.dir, "qsStow.log"), "w").close()
        c.settings(enabled_in=1, folder_in="C:\\In", enabled_out=0)
        rc, out = c.run("send Still sent\n")
        check(rc == 2, "exit status %d" % rc)
        check(re.fullmatch(r"connect failed qsStow\.Addin 0x[0-9A-F]{8}", out[0]), out)
        check(out[1:] == ["sent"] + END, out)
        expect_lines(c.log(), ["Addin loaded. Version 1.1 Build 34",
                               "Archiving Incoming Messages to: C:\\In"], "log")
    finally:
        wine("regsvr32", "/s", windows_path(os.path.join(BIN, "qsMapiLib.dll")))


def case_outlook_2000():
    """On Outlook 2000 the incoming line is a warning, and MAPIUtils is still created."""
    c = Case("outlook-2000")
    folder = c.folder("In")
    c.settings(enabled_in=1, enabled_out=0, folder_in=windows_path(folder))
    rc, out = c.run("receive Old host\n", ["--version", "9.0.0.2711"])
    check(rc == 0 and out == START + ["received"] + END, "run: %d %r" % (rc, out))
    log = c.log()
    expect_lines(log[:2], ["Addin loaded. Version 1.1 Build 34",
                           "Archiving Incoming Messages is enabled but does not work with Outlook 2000"],
                 "start-up lines")
    check(log[2] == "New MailItem detected. Subject: Old host", log)
    names_match(archived(folder), ["Old host"])


def case_restart_reads_settings_again():
    """A restart reads the settings anew; nothing is logged while logging is off."""
    c = Case("restart")
    folder = c.folder("Out")
    c.settings(enabled_in=0, enabled_out=0, folder_out=windows_path(folder), logging=0)
    rc, out = c.run("send Before\nrestart\nsend After\n")
    check(rc == 0 and out == START + ["sent", "disconnected"] + START + ["sent"] + END,
          "run: %d %r" % (rc, out))
    check(archived(folder) == [] and c.log() == [], "nothing archived, nothing logged")


def case_folder_with_trailing_nuls():
    """A folder stored with extra terminators (deployment tools often write them) is the
    folder before the first NUL: messages land there at once, each under its own name."""
    c = Case("trailing-nuls")
    folder = c.folder("Out")
    text = windows_path(folder) + "\0\0"
    data = ",".join("%02x" % b for b in text.encode("utf-16-le"))
    c.registry(['"EnabledIn"=dword:00000000', '"EnabledOut"=dword:00000001',
                '"FolderOut"=hex(1):' + data, '"Logging"=dword:00000001'])
    rc, out = c.run("send One\nsend Two\n", ["--timing"])
    check(rc == 0, "exit status %d" % rc)
    expect_lines([line for line in out if not line.startswith(("connect-ms ", "event-us "))],
                 START + ["sent", "sent"] + END)
    names_match(sorted(archived(folder), key=lambda n: n.endswith("Two.msg")), ["One", "Two"])
    check(c.log()[1] == "Archiving Outgoing Messages to: " + windows_path(folder), c.log())
    events = [line.split() for line in out if line.startswith("event-us ")]
    # Before, every candidate name collapsed to the folder itself: seconds per message.
    check(events and float(events[0][3]) < 1000000, "slowest send %r" % events)


def case_disconnect_inside_saveas():
    """Outlook shuts the add-in down while SaveAs runs: the handler finishes with what it
    holds, nothing crashes, nothing is left alive, and no later event is handled."""
    c = Case("disconnect-inside-saveas")
    folder = c.folder("Out")
    c.settings(enabled_in=0, folder_out=windows_path(folder))
    rc, out = c.run("disconnect-in-next-saveas\nfail-next-saveas\nsend Leaving\nsend After\n")
    check(rc == 0, "exit status %d" % rc)
    expect_lines(out, START + ["disconnected", "sent", "sent"] + END)
    log = c.log()
    check(log[2:4] == ["Send MailItem detected. Subject: Leaving", log[3]] and
          log[3].startswith("Saving Mail to: ") and len(log) == 5, "log %r" % log)
    check(re.fullmatch(r"Error: \S.*", log[4]), "the failure after the disconnection %r" % log[4])
    check(archived(folder) == [], "nothing archived: the one save failed, the next came too late")


def case_event_during_load():
    """A message sent while loading the settings shows a message box (whose loop delivers
    Outlook's events) is handled with the loaded settings or not at all. Needs a display
    and a prefix whose first process saw it (CTest runs this case under xvfb-run)."""
    os.environ["QS_DISPLAY"] = os.environ["DISPLAY"]
    try:
        c = Case("event-during-load")
        folder = c.folder("Out")
        # Logging stored as text: its read, the last of the five, shows the type mismatch.
        c.registry(['"EnabledIn"=dword:00000000', '"EnabledOut"=dword:00000001',
                    '"FolderOut"=' + addin_e2e.reg_text(windows_path(folder)), '"Logging"="1"'])
        rc, out = c.run("send After\n", ["--send-in-message-box", "During load"])
        check(rc == 0, "exit status %d" % rc)
        expect_lines(out, ["sent"] + START + ["sent"] + END)
        names_match(archived(folder), ["After"])
    finally:
        wine("--stop", check=False)


CASES = {name[5:].replace("_", "-"): f for name, f in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    CASES[CASE]()
    print("ok", CASE)
