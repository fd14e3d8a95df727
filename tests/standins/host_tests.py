#!/usr/bin/env python3
"""outlook-standin.exe end to end, with the tests' own add-in QsStandinTest.Addin.

Usage: host_tests.py --list | CASE WINE_RUN BIN_DIR WORK_DIR

Each case runs the host under Wine and checks its transcript exactly; the .msg
files the add-in saves through qsMapiLib are read back with msgconvert and
python3-olefile, which nobody here wrote.
"""
import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import e2e  # noqa: E402
from e2e import check, expect_lines, fresh_folder, windows_path  # noqa: E402

ADDIN = "QsStandinTest.Addin"
START = ["addin: OnConnection mode 1 custom 0 Outlook 16.0.0.0", "connected " + ADDIN,
         "addin: OnStartupComplete", "addin: Application.Startup"]
STOP = ["addin: Application.Quit", "addin: OnBeginShutdown", "addin: OnDisconnection mode 0",
        "disconnected"]
END = STOP + ["live objects: 0"]
KINDS = ["AppointmentItem", "MeetingItem", "TaskRequestItem", "ReportItem"]
SUBJECT = "Grüße Привет 你好"
FROM = "Quinn Owner <quinn.owner@example.com>"
TO = "Ada Recipient <ada@example.org>, Ben Recipient <ben@example.net>"


def host(t, scenario, env=None, **options):
    """Runs the host with the test add-in, given only the add-in's variables in `env`
    (without their prefix QS_TEST_ADDIN_)."""
    environment = {k: v for k, v in os.environ.items() if not k.startswith("QS_TEST_ADDIN_")}
    environment.update({"QS_TEST_ADDIN_" + k: v for k, v in (env or {}).items()})
    return t.host(scenario, **dict({"addin": ADDIN}, **options), env=environment)


def saving(folder, fmt=None):
    """The test add-in's variables for saving every mail item into `folder`."""
    env = {"SAVE_DIR": windows_path(folder), "MAPI": "1"}
    if fmt:
        env["FORMAT"] = str(fmt)
    return env


# An item as the test add-in describes it with QS_TEST_ADDIN_FOLDERS (see TestAddin.cpp).
ITEM = re.compile(r"addin: (?P<where>[\w .]+?) (?P<type>\w+) received=(?P<received>\S+) "
                  r"sent=(?P<sent>\S+) key=(?P<key>\S+) id=(?P<id>\S+) entry=(?P<entry>\S+) "
                  r"(?P<subject>.*)")


def items_apart(lines):
    """The transcript with each described item shortened to "WHERE TYPE RECEIVED SENT SUBJECT",
    and the items' identities: {(where, subject): (search key, message ID, EntryID)}."""
    shown, identity = [], {}
    for line in lines:
        m = ITEM.fullmatch(line)
        if m:
            shown.append(" ".join(m.group("where", "type", "received", "sent", "subject")))
            identity[m.group("where", "subject")] = m.group("key", "id", "entry")
        else:
            shown.append(line)
    return shown, identity


def sent(subject, kind="MailItem", saved=None):
    lines = ["addin: Application.ItemSend %s %s" % (kind, subject)]
    if saved:
        lines += ["addin: saved %s %s" % (saved, subject), "saved " + subject]
    return lines + ["sent"]


# ---- cases ---------------------------------------------------------------------------------


def case_transcripts(t):
    """The host's and the add-in's lines, exactly, for every kind of step and option."""
    out = fresh_folder(t.work, "out")
    kinds = fresh_folder(t.work, "kinds")
    for what, scenario, options, status, expected in [
        ("a day of mail, saved", "# a day of mail\nsend Offer: 12/2006\n\nreceive Hello in\n"
         "send Second\n", dict(env=saving(out)), 0,
         START + [
             "addin: Application.ItemSend MailItem Offer: 12/2006",
             "addin: saved sent-1.msg Offer: 12/2006", "saved Offer: 12/2006", "sent",
             "addin: Application.NewMail", "addin: MAPIUtils.NewMail MessageItem Hello in",
             "addin: saved received-2.msg Hello in", "saved Hello in", "received",
         ] + sent("Second", saved="sent-3.msg") + END),
        # A sink that sets Cancel cancels the send; the scenario is read from standard input.
        ("cancel", "send Stop this\n", dict(env={"CANCEL": "1"}, from_stdin=True), 0,
         START + ["addin: Application.ItemSend MailItem Stop this", "cancelled"] + END),
        # Other kinds come through ItemSend under their own type names; the add-in saves
        # only the mail item.
        ("kinds", "".join("send-item %s A %s\n" % (k, k) for k in KINDS + ["MailItem"]),
         dict(env=saving(kinds)), 0,
         START + sum((sent("A " + k, k) for k in KINDS), []) +
         sent("A MailItem", saved="sent-1.msg") + END),
        # A sink on ApplicationEvents_11 as well gets every event there too, and NewMailEx.
        ("both event interfaces", "send Twice\nreceive In\n",
         dict(env={"EVENTS": "ApplicationEvents,ApplicationEvents_11"}), 0,
         START[:3] + [
             "addin: Application.Startup", "addin: Application_11.Startup",
             "addin: Application.ItemSend MailItem Twice",
             "addin: Application_11.ItemSend MailItem Twice", "sent",
             "addin: Application_11.NewMailEx", "addin: Application.NewMail",
             "addin: Application_11.NewMail", "received",
             "addin: Application.Quit", "addin: Application_11.Quit"] + END[1:]),
        # restart shuts the add-in down and connects a new one, which gets NewMail again;
        # pause waits for the test.
        ("restart and pause", "receive Before\npause\nrestart\nreceive After\n",
         dict(env={"MAPI": "1"}, pauses=[lambda lines: check(lines[-1] == "paused", lines)]), 0,
         START + ["addin: Application.NewMail", "addin: MAPIUtils.NewMail MessageItem Before",
                  "received", "paused"] + STOP + START +
         ["addin: Application.NewMail", "addin: MAPIUtils.NewMail MessageItem After",
          "received"] + END),
        # A reference the add-in never releases shows in the live-object count.
        ("leak", "send Keep me\nsend Not me\n", dict(env={"LEAK": "item"}), 0,
         START + sent("Keep me") + sent("Not me") + STOP + ["live objects: 1"]),
        # Without a MAPIUtils object nothing of the library fires; Outlook's NewMail still does.
        ("no MAPIUtils", "receive Quiet\n", {}, 0,
         START + ["addin: Application.NewMail", "received"] + END),
        ("version", "", dict(args=["--version", "9.0.0.3821"]), 0,
         ["addin: OnConnection mode 1 custom 0 Outlook 9.0.0.3821"] + START[1:] + END),
        # A failing add-in is reported with its code; the scenario still runs; exit status 2.
        ("connect failed", "send Anyway\n", dict(env={"FAIL": "1"}), 2,
         ["connect failed %s 0x80004005" % ADDIN, "sent", "disconnected", "live objects: 0"]),
        ("not registered", "", dict(addin="QsStandinTest.NotRegistered"), 2,
         ["connect failed QsStandinTest.NotRegistered 0x800401F3", "disconnected",
          "live objects: 0"]),
    ]:
        done = host(t, scenario, **options)
        check(done.rc == status, "%s: exit status %d: %s" % (what, done.rc, done.err))
        expect_lines(done.out, expected, what)
    files = [os.path.join(out, name) for name in ("sent-1.msg", "received-2.msg")]
    subjects = [headers.get("Subject") for headers, _ in e2e.read_messages(files, t.work)]
    check(subjects == ["Offer: 12/2006", "Hello in"], "subjects read back %r" % subjects)


def case_bad_usage(t):
    """Bad options and bad scenario lines: exit status 1, a message, and nothing run."""
    missing = windows_path(os.path.join(t.work, "missing.txt"))
    not_a_store = os.path.join(t.work, "not-a-store.txt")
    with open(not_a_store, "w") as f:
        f.write("send A\n")
    for args, scenario, message in [
            (["--frob"], "", "usage: outlook-standin"),
            (["--addin"], "", "usage: outlook-standin"),
            (["one.txt", "two.txt"], "", "usage: outlook-standin"),
            ([], "send A\n# fine\ndance\n", "bad scenario line 3: dance"),
            ([], "send-item Postcard Hi\n", "bad scenario line 1: send-item Postcard Hi"),
            ([], "\nrestart now\n", "bad scenario line 2: restart now"),
            ([], "pause 5\n", "bad scenario line 1: pause 5"),
            ([], "at 2026-02-30 08:00:00\n", "bad scenario line 1: at 2026-02-30 08:00:00"),
            ([], "at 2026-07-12 8:00:00\n", "bad scenario line 1: at 2026-07-12 8:00:00"),
            ([], "idle soon\n", "bad scenario line 1: idle soon"),
            ([], "receive-item Postcard Hi\n", "bad scenario line 1: receive-item Postcard Hi"),
            (["--store"], "", "usage: outlook-standin"),
            # host() names the add-in, which --closed does not load.
            (["--closed"], "", "usage: outlook-standin"),
            (["--store", windows_path(not_a_store)], "", "is not a store of this host"),
            ([], b"send \xff\xfe\n", "bad scenario line 1: not UTF-8"),
            ([missing], "", "cannot read the scenario")]:
        done = host(t, scenario, args=args, from_stdin=True)
        check(done.rc == 1 and done.out == [] and message in done.err,
              "%r %r: status %d, output %r, message %r" % (args, scenario, done.rc, done.out,
                                                           done.err))


def case_timing(t):
    """--timing: OnConnection's time, then count, median and 99th percentile of event calls,
    and the longest dispatch of the host's message loop: "idle" runs the loop, and a timer's
    callback is dispatched there."""
    done = host(t, "send A\nsend B\nreceive C\n", args=["--timing"], env={"MAPI": "1"})
    check(done.rc == 0, done.err)
    check(re.fullmatch(r"connect-ms \d+\.\d", done.out[2]), "line 3: %r" % done.out[2])
    m = re.fullmatch(r"event-us (\d+) (\d+\.\d) (\d+\.\d)", done.out[-3])
    check(m and int(m.group(1)) == 3 and 0 < float(m.group(2)) <= float(m.group(3)),
          "event line: %r" % done.out[-3])
    check(done.out[-4] == "live objects: 0", done.out[-4])
    check(re.fullmatch(r"longest-dispatch-ms \d+\.\d", done.out[-1]), done.out[-1])
    # A mail that reaches no sink is not an event call of an add-in.
    done = host(t, "receive Unheard\n", args=["--timing"])
    check(done.out[-3] == "event-us 0 0.0 0.0", done.out[-3])
    # The add-in's timer (due after 150 ms, its callback taking 150 ms) fires while the host
    # idles, before the next line.
    done = host(t, "idle 600\nsend After\n", args=["--timing"], env={"TIMER": "150"})
    check(done.rc == 0, done.err)
    expect_lines(done.out, START[:2] + [re.compile(r"connect-ms .*")] + START[2:] +
                 ["addin: timer"] + sent("After") + END +
                 [re.compile(r"event-us 1 .*"), re.compile(r"dispatch-ms-total .*"),
                  re.compile(r"longest-dispatch-ms .*")])
    m = re.fullmatch(r"longest-dispatch-ms (\d+\.\d)", done.out[-1])
    check(m and 150 <= float(m.group(1)) < 2000, done.out[-1])
    m = re.fullmatch(r"dispatch-ms-total (\d+\.\d)", done.out[-2])
    check(m and 150 <= float(m.group(1)) < 2000, done.out[-2])


def case_memory_and_window(t):
    """"memory" shows the host's footprint; "window" the event times since the last window."""
    done = host(t, "memory\nsend A\nsend B\nwindow\nsend C\nwindow\nwindow\nmemory\n",
                env={"QUIET": "1"})
    check(done.rc == 0, done.err)
    lines = [l for l in done.out if l.startswith(("memory ", "window-us ", "sent"))]
    check(len(lines) == 8, lines)
    for line in (lines[0], lines[7]):
        m = re.fullmatch(r"memory private-bytes (\d+) handles (\d+)", line)
        check(m and int(m.group(1)) > 1 << 20 and int(m.group(2)) > 0, line)
    counts = [int(l.split()[1]) for l in lines if l.startswith("window-us")]
    check(counts == [2, 1, 0] and lines[6] == "window-us 0 0.0 0.0", "windows %r" % lines)
    check(not any(l.startswith("addin: Application.ItemSend") for l in done.out), "quiet add-in")


def case_faults(t):
    """Injected failures reach the add-in as described errors, once each; the library is
    loaded by its registered path when no add-in has loaded it yet. A failed Save saves
    nothing; the failures after it come after the item was saved."""
    folder = fresh_folder(t.work, "faults")
    done = host(t, "fail-next-saveas\nsend One\nfail-next-save\nsend Two\nfail-next-subject\n"
                "send Three\nfail-next-item\nsend Four\nfail-next-wrapper\nsend Five\nsend Six\n",
                env={"SAVE_DIR": windows_path(folder)})
    check(done.rc == 0, done.err)
    expected = START
    for subject, saved, error in [
            ("One", True, "Injected failure of SaveAs."),
            ("Two", False, "Cannot save the item: the message store is not available."),
            ("Three", True, "Injected failure of reading Subject."),
            ("Four", True, "Injected failure of setting Item."),
            ("Five", True, "Injected failure of creating a SafeMailItem.")]:
        expected += ["addin: Application.ItemSend MailItem " + subject]
        expected += ["addin: error " + error] + ["saved " + subject] * saved + ["sent"]
    expect_lines(done.out, expected + sent("Six", saved="sent-2.msg") + END)
    check(sorted(os.listdir(folder)) == ["sent-2.msg"], "files: %r" % os.listdir(folder))


def case_mailbox(t):
    """The store's Inbox and Sent Items: filled while the add-in runs (ItemAdd on the folders'
    collections), while Outlook is closed (--closed), and kept in a file from run to run; walked
    newest first; items identified by search key, read by tag through qsMapiLib."""
    store = os.path.join(t.work, "store.txt")
    if os.path.exists(store):
        os.remove(store)
    keep = ["--store", windows_path(store)]
    folders = {"FOLDERS": "1", "MAPI": "1"}
    day = "2026-07-12T"
    done = host(t, "at 2026-07-12 08:15:00\nreceive Early\nat 2026-07-12 09:30:00\nsend Reply\n"
                "at 2026-07-12 09:45:00\nsent-elsewhere Phone\nreceive-item ReportItem Undeliverable\n",
                env=folders, args=keep)
    check(done.rc == 0, done.err)
    shown, first = items_apart(done.out)
    expect_lines(shown, START[:3] + ["addin: Inbox count 0", "addin: Sent Items count 0"] + START[3:] + [
        "Inbox.ItemAdd MailItem %s08:15:00 %s08:14:00 Early" % (day, day),
        "addin: Application.NewMail", "addin: MAPIUtils.NewMail MessageItem Early",
        "NewMail MessageItem %s08:15:00 %s08:14:00 Early" % (day, day), "received",
        "addin: Application.ItemSend MailItem Reply", "ItemSend MailItem none none Reply",
        "Sent Items.ItemAdd MailItem %s09:30:00 %s09:30:00 Reply" % (day, day), "sent",
        "Sent Items.ItemAdd MailItem %s09:45:00 %s09:45:00 Phone" % (day, day), "sent-elsewhere",
        "Inbox.ItemAdd ReportItem %s09:45:00 %s09:44:00 Undeliverable" % (day, day), "received",
    ] + END, "first run")
    inbox, newmail = first["Inbox.ItemAdd", "Early"], first["NewMail", "Early"]
    sending, filed = first["ItemSend", "Reply"], first["Sent Items.ItemAdd", "Reply"]
    # NewMail's item is the Inbox's; sending moves the message: new EntryID, same search key.
    check(newmail[:2] == inbox[:2] and re.fullmatch(r"<\w+@example\.org>", inbox[1]),
          "NewMail %r, Inbox %r" % (newmail, inbox))
    check(sending[0] == filed[0] and sending[2] != filed[2] and sending[1] == filed[1] == "-",
          "sending %r, filed %r" % (sending, filed))
    check(len({key for key, _, _ in first.values()}) == 4, "search keys %r" % first)

    # Outlook closed: mail comes and goes with no add-in and no event; then one send cancelled.
    done = host(t, "at 2026-07-12 07:00:00\nreceive Earliest\nat 2026-07-12 10:00:00\n"
                "receive Latest\nsend Offline\n", addin=None, args=keep + ["--closed"])
    check(done.rc == 0, done.err)
    expect_lines(done.out, ["received", "received", "sent", "live objects: 0"], "closed")
    done = host(t, "send Never\n", env={"CANCEL": "1"}, args=keep)
    check(done.rc == 0 and "cancelled" in done.out, "\n".join(done.out))

    done = host(t, "", env=folders, args=keep)
    check(done.rc == 0, done.err)
    shown, last = items_apart(done.out)
    expect_lines(shown, START[:3] + [
        "addin: Inbox count 4",
        "Inbox MailItem %s10:00:00 %s09:59:00 Latest" % (day, day),
        "Inbox ReportItem %s09:45:00 %s09:44:00 Undeliverable" % (day, day),
        "Inbox MailItem %s08:15:00 %s08:14:00 Early" % (day, day),
        "Inbox MailItem %s07:00:00 %s06:59:00 Earliest" % (day, day),
        "addin: Sent Items count 3",
        "Sent Items MailItem %s10:00:00 %s10:00:00 Offline" % (day, day),
        "Sent Items MailItem %s09:45:00 %s09:45:00 Phone" % (day, day),
        "Sent Items MailItem %s09:30:00 %s09:30:00 Reply" % (day, day),
    ] + START[3:] + END, "last run")
    for where, subject in [("Inbox", "Early"), ("Inbox", "Undeliverable"),
                           ("Sent Items", "Reply"), ("Sent Items", "Phone")]:
        check(last[where, subject] == first[where + ".ItemAdd", subject],
              "%s %s kept as %r, was %r" % (where, subject, last[where, subject],
                                            first[where + ".ItemAdd", subject]))


def check_streams(path, string_type, recipients):
    """The streams and fixed properties every message file has; returns (ole, properties)."""
    ole = e2e.open_msg(path)
    names = {"/".join(entry) for entry in ole.listdir()}
    expected = {"__properties_version1.0", "__nameid_version1.0/__substg1.0_00020102",
                "__nameid_version1.0/__substg1.0_00030102", "__nameid_version1.0/__substg1.0_00040102"}
    expected |= {"__substg1.0_%s%s" % (prop, string_type)
                 for prop in ["001A", "0037", "1000", "0C1A", "0C1F", "0E04"]}
    for i in range(recipients):
        recip = "__recip_version1.0_#%08X/" % i
        expected |= {recip + "__properties_version1.0"}
        expected |= {recip + "__substg1.0_%s%s" % (prop, string_type) for prop in ["3001", "3003"]}
    check(expected <= names, "%s lacks %s" % (path, sorted(expected - names)))
    check(not any(n.startswith("__recip_version1.0_#%08X" % recipients) for n in names),
          "more recipient storages than %d" % recipients)
    # The fixed-size entries of the property stream: {tag: 8 value bytes}, after a header of 32.
    data = ole.openstream("__properties_version1.0").read()
    entries = {struct.unpack_from("<I", data, offset)[0]: data[offset + 8:offset + 16]
               for offset in range(32, len(data) - 15, 16)}
    check(struct.unpack_from("<II", data, 16) == (recipients, 0), "recipient/attachment counts")
    klass = ole.openstream("__substg1.0_001A" + string_type).read()
    check(klass == ("IPM.Note".encode("utf-16-le") if string_type == "001F" else b"IPM.Note"),
          "message class %r" % klass)
    return ole, entries


def case_msg_unicode(t):
    """Format 9: UTF-16 strings, the store's Unicode flag; any subject survives."""
    folder = fresh_folder(t.work, "unicode")
    done = host(t, "send %s\nreceive %s\n" % (SUBJECT, SUBJECT), env=saving(folder, 9))
    check(done.rc == 0 and done.out[-1] == "live objects: 0", done.err + "\n".join(done.out))
    files = [os.path.join(folder, n) for n in ("sent-1.msg", "received-2.msg")]
    read = e2e.read_messages(files, t.work)
    # A message in ItemSend is not sent yet: it has neither time (Outlook's "no date").
    for path, (headers, body), sender, to, times, recipients in [
            (files[0], read[0], FROM, TO, [], 2),
            (files[1], read[1], "Cora Sender <cora.sender@example.org>", FROM,
             [0x00390040, 0x0E060040], 1)]:
        ole, entries = check_streams(path, "001F", recipients)
        check(entries.get(0x340D0003, b"")[:4] == struct.pack("<I", 0x00040000), "store support mask")
        check([t for t in (0x00390040, 0x0E060040) if t in entries] == times,
              "%s: times %r" % (path, [hex(t) for t in entries if t & 0xFFFF == 0x40]))
        check((headers.get("Subject"), headers.get("From"), headers.get("To")) ==
              (SUBJECT, sender, to), "%s: headers %r" % (path, headers))
        check("this is a sample message" in body, "%s: body %r" % (path, body))


def case_msg_ansi(t):
    """Format 3: 8-bit strings in the ANSI code page; what it cannot hold is lost."""
    folder = fresh_folder(t.work, "ansi")
    done = host(t, "send %s\n" % SUBJECT, env=saving(folder, 3))
    check(done.rc == 0 and done.out[-1] == "live objects: 0", done.err + "\n".join(done.out))
    path = os.path.join(folder, "sent-1.msg")
    ole, entries = check_streams(path, "001E", 2)
    check(not any(name[-1].endswith("001F") for name in ole.listdir()), "a Unicode stream in ANSI")
    check(0x340D0003 not in entries, "store support mask in the ANSI format")
    code_page = struct.unpack_from("<I", entries[0x3FDE0003])[0]
    subject = ole.openstream("__substg1.0_0037001E").read()
    check(subject == SUBJECT.encode("cp%d" % code_page, errors="replace"),
          "subject bytes %r in code page %d" % (subject, code_page))
    [(headers, body)] = e2e.read_messages([path], t.work)
    check(headers.get("From") == FROM and headers.get("To") == TO, "From/To %r" % headers)
    check(not re.search("[Пр你]", headers.get("Subject", "")), "Subject %r" % headers.get("Subject"))
    check("this is a sample message" in body, "body %r" % body)


def case_msg_overwrite(t):
    """SaveAs replaces an existing file of the same name, as Outlook's does."""
    folder = fresh_folder(t.work, "overwrite")
    for subject in ["First", "Second"]:
        check(host(t, "send %s\n" % subject, env=saving(folder, 9)).rc == 0, subject)
    [(headers, _)] = e2e.read_messages([os.path.join(folder, "sent-1.msg")], t.work)
    check(headers.get("Subject") == "Second", "Subject %r" % headers.get("Subject"))


@e2e.tagged("settings-key")
def case_registered_addins(t):
    """Without --addin the host loads what the Addins key lists with LoadBehavior 3, and sets
    LoadBehavior 2 on an add-in that fails."""
    keys = {"QsStandinTest.Addin": 3, "QsStandinTest.Missing": 3, "QsStandinTest.Off": 2}
    reg = os.path.join(t.work, "addins.reg")
    try:
        e2e.import_registry(t.wine_run, reg, sum((["[%s\\%s]" % (e2e.ADDINS_KEY, name),
                                                   '"LoadBehavior"=dword:%08x' % behavior, ""]
                                                  for name, behavior in keys.items()), []))
        done = host(t, "send Listed\n", addin=None)
        check(done.rc == 2, "exit status %d" % done.rc)
        for line in ["connected QsStandinTest.Addin", "addin: Application.ItemSend MailItem Listed",
                     "connect failed QsStandinTest.Missing 0x800401F3"]:
            check(line in done.out, "%r not in\n%s" % (line, "\n".join(done.out)))
        check(not any("QsStandinTest.Off" in line for line in done.out), "\n".join(done.out))
        check(done.out[-1] == "live objects: 0", done.out[-1])
        listing = t.wine("reg", "query", e2e.ADDINS_KEY, "/s").out
        for name, behavior in [("QsStandinTest.Missing", 2), ("QsStandinTest.Addin", 3)]:
            check(re.search(r"\\%s\s+LoadBehavior\s+REG_DWORD\s+0x%x\b" % (re.escape(name), behavior),
                            "\n".join(listing)), "%s in %s" % (name, listing))
    finally:
        e2e.import_registry(t.wine_run, reg, ["[-%s\\%s]" % (e2e.ADDINS_KEY, name) for name in keys])


if __name__ == "__main__":
    e2e.main(globals())
