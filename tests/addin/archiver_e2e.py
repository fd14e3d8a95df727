#!/usr/bin/env python3
"""qsStow.Addin end to end: outlook-standin.exe loads the real add-in, which
archives through the qsMapiLib stand-in; the files are read back with
msgconvert and olefile, which nobody here wrote.

Usage: archiver_e2e.py --list | CASE WINE_RUN BIN_DIR WORK_DIR

Runs in a Wine prefix of its own (QS_WINEPREFIX, set by CTest), because some
cases unregister the MAPI library. Each case registers its own copy of
qsStow.dll, so the log it reads beside that copy is its own.
"""
import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import e2e  # noqa: E402
from e2e import (LOADED, RECEIVED, SENT, STAMP, AddinCase, archived, archived_lines,  # noqa: E402
                 check, expect_lines, names_match, transcript, windows_path)

IN_TO = "Archiving Incoming Messages to: "
OUT_TO = "Archiving Outgoing Messages to: "
OFF = e2e.CATCH_UP_OFF


def case_sent_and_received(t):
    """Both directions with logging on: file names, log lines, and the files' content."""
    c = AddinCase(t, "sent-and-received")
    out_folder, in_folder = c.folder("Out"), c.folder("In")
    win_in, win_out = windows_path(in_folder), windows_path(out_folder) + "\\"
    c.settings(folder_in=win_in, folder_out=win_out)
    before = time.strftime("%Y%m%d %H%M%S")
    # Disconnected but still held, the add-in has let go of the library: nothing more arrives.
    done = c.run("send Re: Offer 12/2006\nreceive Gr\u00fc\u00dfe aus K\u00f6ln\nsend \n"
                 "disconnect-and-hold\nreceive Late\n")
    after = time.strftime("%Y%m%d %H%M%S")
    check(done.rc == 0, "exit status %d" % done.rc)
    expect_lines(done.out, transcript("saved Re: Offer 12/2006", "sent",
                                      "saved Gr\u00fc\u00dfe aus K\u00f6ln", "received",
                                      "saved ", "sent", "disconnected", "library objects: 0",
                                      "received"))
    expect_lines(c.log(), [LOADED, IN_TO + win_in, OUT_TO + win_out] +
                 archived_lines(SENT, "Re: Offer 12/2006", win_out, "Re Offer 122006") +
                 archived_lines(RECEIVED, "Gr\u00fc\u00dfe aus K\u00f6ln", win_in, "Gr\u00dfe aus Kln") +
                 archived_lines(SENT, "", win_out), "log")

    sent = sorted(archived(out_folder), key=lambda n: n.endswith(" - .msg"))
    names_match(sent, ["Re Offer 122006", ""])
    names_match(archived(in_folder), ["Gr\u00dfe aus Kln"])
    check(all(before <= name[:15] <= after for name in sent), "time stamps %r within the run" % sent)
    read = e2e.read_messages([os.path.join(out_folder, sent[0]),
                              os.path.join(in_folder, archived(in_folder)[0])], t.work)
    subjects = [headers.get("Subject") for headers, _ in read]
    check(subjects == ["Re: Offer 12/2006", "Gr\u00fc\u00dfe aus K\u00f6ln"], subjects)


def case_message_formats(t):
    """Outlook 2003 and later get Unicode files, in which Cyrillic and CJK subjects survive;
    Outlook 2002 (10.0) gets the ANSI format, which keeps what the code page holds."""
    c = AddinCase(t, "formats")
    for version, messages in [
            ("16.0.0.0", [("\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440", " ",
                           "\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440"),
                          ("\u4f60\u597d\u4e16\u754c 2026", " 2026", "\u4f60\u597d\u4e16\u754c 2026")]),
            ("10.0.0.0", [("\u041f\u0440\u0438\u0432\u0435\u0442 ok", " ok", "?????? ok")])]:
        folder = c.folder(version)
        c.settings(enabled_in=0, folder_out=windows_path(folder), logging=0)
        done = c.run("".join("send %s\n" % subject for subject, _, _ in messages),
                     ["--version", version])
        expect_lines(done.out, transcript(*sum((["saved " + s, "sent"] for s, _, _ in messages), [])))
        # The files in the order of the messages: by their stems, which differ.
        files = [n for _, stem, _ in messages for n in archived(folder) if n[18:-4] == stem]
        names_match(files, [stem for _, stem, _ in messages])
        paths = [os.path.join(folder, name) for name in files]
        for path, (headers, _), (_, _, kept) in zip(paths, e2e.read_messages(paths, t.work),
                                                     messages):
            body = e2e.plain_body(path)
            check(headers.get("Subject") == kept and body.rstrip().endswith("about: " + kept),
                  "%s: subject %r, body %r, expected %r" % (version, headers.get("Subject"),
                                                            body, kept))


def case_same_subject_same_second(t):
    """Many messages with one subject within a second: every one is kept, the first of a
    second under the plain name and each next one under the next counter, and each is
    logged with the name it got."""
    c = AddinCase(t, "same-second")
    folder = c.folder("Out")
    win = windows_path(folder)
    c.settings(enabled_in=0, folder_out=win)
    done = c.run("send Daily report\n" * 6)
    expect_lines(done.out, transcript(*["saved Daily report", "sent"] * 6))
    log = c.log()
    # The seconds are the clock's; the names follow from them.
    stamps = [m.group() for m in (re.search(STAMP, line) for line in log[2:]) if m]
    names = [s + " - Daily report%s.msg" % (" (%d)" % stamps[:i + 1].count(s) if
                                            stamps[:i + 1].count(s) > 1 else "")
             for i, s in enumerate(stamps)]
    expect_lines(log, [LOADED, OUT_TO + win] + sum(
        ([SENT + "Daily report", "Saving Mail to: %s\\%s" % (win, n), "Successful. "]
         for n in names), []), "log")
    check(archived(folder) == sorted(names) and len(names) == 6, "files %r" % archived(folder))


def case_long_subject(t):
    """A subject of 300 allowed characters: cut to 220, then to the path limit."""
    c = AddinCase(t, "long-subject")
    # A short folder on drive C: of the prefix, so that only the 220 cut applies.
    short_folder = e2e.fresh_folder(t.prefix(), "drive_c", "qsLongSubject")
    deep_folder = c.folder("deep" + "/d" * 40)
    subject = "".join("abcdefghij"[i % 10] for i in range(300))
    for folder, windows_folder in [(short_folder, "C:\\qsLongSubject"),
                                   (deep_folder, windows_path(deep_folder))]:
        c.settings(enabled_in=0, folder_out=windows_folder, logging=0)
        expect_lines(c.run("send %s\n" % subject).out, transcript("saved " + subject, "sent"))
        files = archived(folder)
        check(len(files) == 1, "files in %s: %r" % (folder, files))
        kept, full = files[0][18:-4], windows_folder + "\\" + files[0]
        if folder == short_folder:
            check(kept == subject[:220], "subject part of %d characters" % len(kept))
        else:
            check(len(full) == 259 and subject.startswith(kept), "path of %d characters" % len(full))


def case_what_is_archived(t):
    """Each direction's switch and folder, the host's version and the item's kind decide
    the start-up lines and what is saved, logged and archived. The add-in saves a mail item
    before it reads the direction's switch."""
    c = AddinCase(t, "what-is-archived")
    in_folder, out_folder = c.folder("In"), c.folder("Out")
    win_in, win_out = windows_path(in_folder), windows_path(out_folder)
    kinds = ["AppointmentItem", "MeetingItem", "TaskRequestItem", "ReportItem"]
    for what, settings, args, scenario, steps, log, files_in in [
            ("outgoing off", dict(enabled_in=0, enabled_out=0), [], "send Not archived\n",
             ["saved Not archived", "sent"], [SENT + "Not archived"], []),
            # EnabledIn -1 counts as on at connection and as off when mail arrives.
            ("incoming -1", dict(enabled_in=-1, enabled_out=0), [], "receive Hello\n",
             ["saved Hello", "received"], [IN_TO + win_in, RECEIVED + "Hello"], []),
            # Items of other kinds are not saved, not wrapped and not logged.
            ("other kinds", dict(enabled_in=0), [],
             "".join("send-item %s Invitation\n" % k for k in kinds), ["sent"] * 4,
             [OUT_TO + win_out], []),
            ("outgoing folder empty", dict(enabled_in=0, folder_out=""), [], "", [], [OUT_TO], []),
            # On Outlook 2000 the incoming line is a warning, and MAPIUtils is still created.
            ("Outlook 2000", dict(enabled_out=0), ["--version", "9.0.0.2711"],
             "receive Old host\n", ["saved Old host", "received"],
             ["Archiving Incoming Messages is enabled but does not work with Outlook 2000"] +
             archived_lines(RECEIVED, "Old host", win_in), ["Old host"])]:
        c.settings(**dict(dict(folder_in=win_in, folder_out=win_out), **settings))
        c.clear_log()
        done = c.run(scenario, args)
        check(done.rc == 0, "%s: exit status %d" % (what, done.rc))
        expect_lines(done.out, transcript(*steps), what)
        expect_lines(c.log(), [LOADED] + log, what + ": log")
        names_match(archived(in_folder), files_in)
        check(archived(out_folder) == [], "%s: nothing sent archived" % what)


def case_missing_library(t):
    """Without qsMapiLib: outgoing archiving logs the failure with the platform's message
    for it; incoming fails the connection with its code, and the add-in handles nothing."""
    c = AddinCase(t, "missing-library")
    folder = c.folder("Out")
    library = windows_path(os.path.join(t.bin, "qsMapiLib.dll"))
    t.wine("regsvr32", "/s", "/u", library)
    try:
        c.settings(enabled_in=0, folder_out=windows_path(folder))
        done = c.run("send Wrapper missing\n")
        expect_lines(done.out, transcript("saved Wrapper missing", "sent"))
        # The ProgID is gone: CO_E_CLASSSTRING, described by the platform's message table.
        # Wine's has no text for it, so the description names the code.
        expect_lines(c.log(), [LOADED, OUT_TO + windows_path(folder),
                               re.compile(r"Error: (Invalid class string|Error 0x800401F3)")], "log")
        check(archived(folder) == [], "nothing archived")

        c.clear_log()
        c.settings(enabled_in=1, folder_in="C:\\In", enabled_out=0)
        done = c.run("send Still sent\n")
        check(done.rc == 2, "exit status %d" % done.rc)
        expect_lines(done.out, ["connect failed qsStow.Addin 0x800401F3", "sent", "disconnected",
                                "live objects: 0"])
        expect_lines(c.log(), [LOADED, IN_TO + "C:\\In"], "log")
    finally:
        t.wine("regsvr32", "/s", library)


def case_restart_reads_settings_again(t):
    """Settings are read at each connection: a change does nothing until a restart, after
    which the new connection follows it."""
    c = AddinCase(t, "restart")
    folder = c.folder("Out")
    win = windows_path(folder)
    c.settings(enabled_in=0, enabled_out=0, folder_out=win, logging=0)
    done = c.run("send Before\npause\nsend Still before\nrestart\nsend After\n",
                 pauses=[lambda _: c.settings(enabled_in=0, enabled_out=1, folder_out=win)])
    expect_lines(done.out, transcript("saved Before", "sent", "paused", "saved Still before",
                                      "sent", "disconnected", *e2e.START, "saved After", "sent"))
    names_match(archived(folder), ["After"])
    expect_lines(c.log(), [LOADED, OUT_TO + win] + archived_lines(SENT, "After", win), "log")


def case_folder_with_trailing_nuls(t):
    """A folder stored with extra terminators (deployment tools often write them) is the
    folder before the first NUL: messages land there, each under its own name."""
    c = AddinCase(t, "trailing-nuls")
    folder = c.folder("Out")
    win = windows_path(folder)
    data = ",".join("%02x" % b for b in (win + "\0\0").encode("utf-16-le"))
    c.registry(['"EnabledIn"=dword:00000000', '"EnabledOut"=dword:00000001',
                '"FolderOut"=hex(1):' + data, '"Logging"=dword:00000001', OFF])
    done = c.run("send One\nsend Two\n")
    expect_lines(done.out, transcript("saved One", "sent", "saved Two", "sent"))
    names_match(sorted(archived(folder), key=lambda n: n.endswith("Two.msg")), ["One", "Two"])
    expect_lines(c.log(), [LOADED, OUT_TO + win] + archived_lines(SENT, "One", win) +
                 archived_lines(SENT, "Two", win), "log")


def case_disconnect_inside_saveas(t):
    """Outlook shuts the add-in down while SaveAs runs: the handler finishes with what it
    holds, nothing crashes, nothing is left alive, and no later event is handled."""
    c = AddinCase(t, "disconnect-inside-saveas")
    out_folder, in_folder = c.folder("Out"), c.folder("In")
    win_out, win_in = windows_path(out_folder), windows_path(in_folder)
    c.settings(folder_in=win_in, folder_out=win_out)
    done = c.run("disconnect-in-next-saveas\nfail-next-saveas\nsend Leaving\nsend After\n"
                 "receive After\n")
    expect_lines(done.out, transcript("disconnected", "saved Leaving", "sent", "sent", "received"))
    expect_lines(c.log(), [LOADED, IN_TO + win_in, OUT_TO + win_out] +
                 archived_lines(SENT, "Leaving", win_out)[:2] +
                 ["Error: Injected failure of SaveAs."], "log")
    check(archived(out_folder) == [] and archived(in_folder) == [],
          "nothing archived: the one save failed, the next came too late")


@e2e.tagged("display")
def case_event_during_load(t):
    """A message sent while loading the settings shows a message box (whose loop delivers
    Outlook's events) is handled with the loaded settings or not at all."""
    c = AddinCase(t, "event-during-load")
    folder = c.folder("Out")
    # Logging stored as text: its read, the last of the five, shows the type mismatch.
    c.registry(['"EnabledIn"=dword:00000000', '"EnabledOut"=dword:00000001',
                '"FolderOut"=' + e2e.reg_text(windows_path(folder)), '"Logging"="1"', OFF])
    done = c.run("send After\n", ["--send-in-message-box", "During load"])
    check(done.rc == 0, "exit status %d" % done.rc)
    expect_lines(done.out, ["sent"] + transcript("saved After", "sent"))
    names_match(archived(folder), ["After"])


if __name__ == "__main__":
    e2e.main(globals())
