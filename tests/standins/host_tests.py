#!/usr/bin/env python3
"""outlook-standin.exe end to end, with the tests' own add-in QsStandinTest.Addin.

Usage: host_tests.py CASE WINE_RUN BIN_DIR WORK_DIR

Each case runs the host under Wine and checks its transcript exactly; the .msg
files the add-in saves through qsMapiLib are read back with msgconvert and
python3-olefile, which nobody here wrote.
"""
import os
import re
import shutil
import struct
import subprocess
import sys

import olefile

CASE, WINE_RUN, BIN, WORK = sys.argv[1:5]
HOST = os.path.join(BIN, "outlook-standin.exe")
ADDIN = "QsStandinTest.Addin"
ADDINS_KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Office\Outlook\Addins"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_host(scenario, args=(), addin=True, env=None, stdin=True):
    """Runs the host; returns (exit status, stdout lines, stderr)."""
    environment = {k: v for k, v in os.environ.items() if not k.startswith("QS_TEST_ADDIN_")}
    environment.update(env or {})
    command = [WINE_RUN, HOST] + (["--addin", ADDIN] if addin else []) + list(args)
    data = scenario.encode("utf-8") if isinstance(scenario, str) else scenario
    if not stdin:
        path = os.path.join(WORK, "scenario.txt")
        with open(path, "wb") as f:
            f.write(data)
        command.append(windows_path(path))
        data = b""
    done = subprocess.run(command, input=data, capture_output=True, env=environment, timeout=120)
    return done.returncode, done.stdout.decode("utf-8").splitlines(), done.stderr.decode("utf-8", "replace")


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def expect_lines(actual, expected):
    if actual != expected:
        raise AssertionError("transcript differs:\n  got:\n    " + "\n    ".join(actual) +
                             "\n  expected:\n    " + "\n    ".join(expected))


def saving(folder, fmt=None, **more):
    env = {"QS_TEST_ADDIN_SAVE_DIR": windows_path(folder), "QS_TEST_ADDIN_MAPI": "1"}
    if fmt:
        env["QS_TEST_ADDIN_FORMAT"] = str(fmt)
    env.update(more)
    return env


def fresh_folder(name):
    folder = os.path.join(WORK, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


START = ["addin: OnConnection mode 1 custom 0 Outlook 16.0.0.0", "connected " + ADDIN,
         "addin: OnStartupComplete", "addin: Application.Startup"]
STOP = ["addin: Application.Quit", "addin: OnBeginShutdown", "addin: OnDisconnection mode 0",
        "disconnected"]


def eml_of(msg_path):
    """msgconvert's .eml of a .msg: (headers as a dict, body)."""
    eml = msg_path[:-4] + ".eml"
    subprocess.run(["msgconvert", "--outfile", eml, msg_path], check=True, capture_output=True)
    with open(eml, "rb") as f:
        text = f.read().decode("utf-8", "replace").replace("\r\n", "\n")
    head, _, body = text.partition("\n\n")
    headers = {}
    for line in head.split("\n"):
        name, _, value = line.partition(": ")
        headers[name] = value
    return headers, body


def properties(ole, storage, header):
    """The fixed-size entries of a property stream: {tag: 8 value bytes}."""
    data = ole.openstream(storage + ["__properties_version1.0"]).read()
    entries = {}
    for offset in range(header, len(data) - 15, 16):
        tag, _flags = struct.unpack_from("<II", data, offset)
        entries[tag] = data[offset + 8:offset + 16]
    return data[:header], entries


# ---- cases ---------------------------------------------------------------------------------


def case_transcript():
    """Sends and receives against the add-in: exactly the host's and the add-in's lines."""
    folder = fresh_folder("out")
    rc, out, err = run_host("# a day of mail\nsend Offer: 12/2006\n\nreceive Hello in\nsend Second\n",
                            env=saving(folder))
    check(rc == 0, "exit status %d: %s" % (rc, err))
    expect_lines(out, START + [
        "addin: Application.ItemSend MailItem Offer: 12/2006", "addin: saved sent-1.msg Offer: 12/2006",
        "sent",
        "addin: Application.NewMail", "addin: MAPIUtils.NewMail MessageItem Hello in",
        "addin: saved received-2.msg Hello in", "received",
        "addin: Application.ItemSend MailItem Second", "addin: saved sent-3.msg Second", "sent",
    ] + STOP + ["live objects: 0"])
    for name, subject in [("sent-1.msg", "Offer: 12/2006"), ("received-2.msg", "Hello in")]:
        headers, _ = eml_of(os.path.join(folder, name))
        check(headers.get("Subject") == subject, "%s: Subject %r" % (name, headers.get("Subject")))


def case_cancel():
    """A sink that sets Cancel cancels the send; the scenario file is read from a path."""
    rc, out, err = run_host("send Stop this\n", env={"QS_TEST_ADDIN_CANCEL": "1"}, stdin=False)
    check(rc == 0, err)
    expect_lines(out, START + ["addin: Application.ItemSend MailItem Stop this", "cancelled"] + STOP +
                 ["live objects: 0"])


def case_kinds():
    """Other kinds of item come through ItemSend under their own type names."""
    folder = fresh_folder("kinds")
    scenario = "".join("send-item %s A %s\n" % (kind, kind) for kind in
                       ["AppointmentItem", "MeetingItem", "TaskRequestItem", "ReportItem", "MailItem"])
    rc, out, err = run_host(scenario, env=saving(folder))
    check(rc == 0, err)
    expected = []
    for kind in ["AppointmentItem", "MeetingItem", "TaskRequestItem", "ReportItem"]:
        expected += ["addin: Application.ItemSend %s A %s" % (kind, kind), "sent"]
    expected += ["addin: Application.ItemSend MailItem A MailItem", "addin: saved sent-1.msg A MailItem",
                 "sent"]
    expect_lines(out, START + expected + STOP + ["live objects: 0"])


def case_both_event_interfaces():
    """A sink on ApplicationEvents_11 as well gets every event there too, and NewMailEx."""
    rc, out, err = run_host("send Twice\nreceive In\n",
                            env={"QS_TEST_ADDIN_EVENTS": "ApplicationEvents,ApplicationEvents_11"})
    check(rc == 0, err)
    expect_lines(out, START[:3] + [
        "addin: Application.Startup", "addin: Application_11.Startup",
        "addin: Application.ItemSend MailItem Twice", "addin: Application_11.ItemSend MailItem Twice",
        "sent",
        "addin: Application_11.NewMailEx", "addin: Application.NewMail", "addin: Application_11.NewMail",
        "received",
        "addin: Application.Quit", "addin: Application_11.Quit",
    ] + STOP[1:] + ["live objects: 0"])


def case_restart():
    """restart shuts the add-in down and connects a new one, which gets NewMail again."""
    rc, out, err = run_host("receive Before\nrestart\nreceive After\n", env={"QS_TEST_ADDIN_MAPI": "1"})
    check(rc == 0, err)
    expect_lines(out, START + [
        "addin: Application.NewMail", "addin: MAPIUtils.NewMail MessageItem Before", "received",
    ] + STOP + START + [
        "addin: Application.NewMail", "addin: MAPIUtils.NewMail MessageItem After", "received",
    ] + STOP + ["live objects: 0"])


def case_leak():
    """A reference the add-in never releases shows in the live-object count."""
    rc, out, err = run_host("send Keep me\nsend Not me\n", env={"QS_TEST_ADDIN_LEAK": "item"})
    check(rc == 0, err)
    check(out[-1] == "live objects: 1", "last line %r" % out[-1])


def case_no_mapiutils():
    """Without a MAPIUtils object nothing of the library fires; Outlook's NewMail still does."""
    rc, out, err = run_host("receive Quiet\n")
    check(rc == 0, err)
    expect_lines(out, START + ["addin: Application.NewMail", "received"] + STOP + ["live objects: 0"])


def case_connect_failed():
    """A failing add-in is reported with its code; the scenario still runs; exit status 2."""
    rc, out, err = run_host("send Anyway\n", env={"QS_TEST_ADDIN_FAIL": "1"})
    check(rc == 2, "exit status %d" % rc)
    expect_lines(out, ["connect failed %s 0x80004005" % ADDIN, "sent", "disconnected", "live objects: 0"])
    rc, out, err = run_host("", addin=False, args=["--addin", "QsStandinTest.NotRegistered"])
    check(rc == 2, "exit status %d" % rc)
    expect_lines(out, ["connect failed QsStandinTest.NotRegistered 0x800401F3", "disconnected",
                       "live objects: 0"])


def case_bad_usage():
    """Bad options and bad scenario lines: exit status 1, a message, and nothing run."""
    for args in (["--frob"], ["--addin"], ["one.txt", "two.txt"]):
        rc, out, err = run_host("", args=args)
        check(rc == 1 and out == [], "%s: status %d, output %r" % (args, rc, out))
        check("usage: outlook-standin" in err, "%s: no usage in %r" % (args, err))
    for scenario, line, text in [("send A\n# fine\ndance\n", 3, "dance"),
                                 ("send-item Postcard Hi\n", 1, "send-item Postcard Hi"),
                                 ("\nrestart now\n", 2, "restart now"),
                                 (b"send \xff\xfe\n", 1, "not UTF-8")]:
        rc, out, err = run_host(scenario)
        check(rc == 1 and out == [], "%r: status %d, output %r" % (scenario, rc, out))
        check("bad scenario line %d: %s" % (line, text) in err, "%r: message %r" % (scenario, err))
    rc, out, err = run_host("", args=[windows_path(os.path.join(WORK, "missing.txt"))])
    check(rc == 1 and "cannot read the scenario" in err, "missing file: %d %r" % (rc, err))


def case_timing():
    """--timing: OnConnection's time, then count, median and 99th percentile of event calls."""
    rc, out, err = run_host("send A\nsend B\nreceive C\n", args=["--timing"],
                            env={"QS_TEST_ADDIN_MAPI": "1"})
    check(rc == 0, err)
    check(re.fullmatch(r"connect-ms \d+\.\d", out[2]) is not None, "line 3: %r" % out[2])
    match = re.fullmatch(r"event-us (\d+) (\d+\.\d) (\d+\.\d)", out[-1])
    check(match is not None, "last line: %r" % out[-1])
    count, median, p99 = int(match.group(1)), float(match.group(2)), float(match.group(3))
    check(count == 3 and 0 < median <= p99, "event-us %d %s %s" % (count, median, p99))
    check(out[-2] == "live objects: 0", out[-2])
    # A mail that reaches no sink is not an event call of an add-in.
    rc, out, err = run_host("receive Unheard\n", args=["--timing"])
    check(out[-1] == "event-us 0 0.0 0.0", out[-1])


def case_memory_and_window():
    """"memory" shows the host's footprint; "window" the event times since the last window."""
    rc, out, err = run_host("memory\nsend A\nsend B\nwindow\nsend C\nwindow\nwindow\nmemory\n",
                            env={"QS_TEST_ADDIN_QUIET": "1"})
    check(rc == 0, err)
    lines = [l for l in out if l.startswith(("memory ", "window-us ", "sent"))]
    check(len(lines) == 8, lines)
    for line in (lines[0], lines[7]):
        m = re.fullmatch(r"memory private-bytes (\d+) handles (\d+)", line)
        check(m and int(m.group(1)) > 1 << 20 and int(m.group(2)) > 0, line)
    counts = [int(l.split()[1]) for l in lines if l.startswith("window-us")]
    check(counts == [2, 1, 0], "calls per window %r" % counts)
    check(lines[6] == "window-us 0 0.0 0.0", lines[6])
    check(not any(l.startswith("addin: Application.ItemSend") for l in out), "quiet add-in")


def case_version():
    """--version sets what Application.Version reports."""
    rc, out, err = run_host("", args=["--version", "9.0.0.3821"])
    check(rc == 0, err)
    check(out[0] == "addin: OnConnection mode 1 custom 0 Outlook 9.0.0.3821", out[0])


def case_faults():
    """Injected failures reach the add-in as described errors, once each; the library is
    loaded by its registered path when no add-in has loaded it yet."""
    folder = fresh_folder("faults")
    scenario = ("fail-next-saveas\nsend One\nfail-next-save\nsend Two\nfail-next-subject\nsend Three\n"
                "fail-next-item\nsend Four\nfail-next-wrapper\nsend Five\nsend Six\n")
    rc, out, err = run_host(scenario, env={"QS_TEST_ADDIN_SAVE_DIR": windows_path(folder)})
    check(rc == 0, err)
    expect_lines(out, START + [
        "addin: Application.ItemSend MailItem One", "addin: error Injected failure of SaveAs.", "sent",
        "addin: Application.ItemSend MailItem Two",
        "addin: error Cannot save the item: the message store is not available.", "sent",
        "addin: Application.ItemSend MailItem Three", "addin: error Injected failure of reading Subject.",
        "sent",
        "addin: Application.ItemSend MailItem Four", "addin: error Injected failure of setting Item.",
        "sent",
        "addin: Application.ItemSend MailItem Five",
        "addin: error Injected failure of creating a SafeMailItem.", "sent",
        "addin: Application.ItemSend MailItem Six", "addin: saved sent-2.msg Six", "sent",
    ] + STOP + ["live objects: 0"])
    check(sorted(os.listdir(folder)) == ["sent-2.msg"], "files: %r" % os.listdir(folder))


SUBJECT = "Grüße Привет 你好"
FROM = "Quinn Owner <quinn.owner@example.com>"
TO = "Ada Recipient <ada@example.org>, Ben Recipient <ben@example.net>"


def check_streams(path, string_type, recipients):
    ole = olefile.OleFileIO(path)
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
    header, entries = properties(ole, [], 32)
    check(struct.unpack_from("<II", header, 16) == (recipients, 0), "recipient/attachment counts")
    klass = ole.openstream("__substg1.0_001A" + string_type).read()
    check(klass == ("IPM.Note".encode("utf-16-le") if string_type == "001F" else b"IPM.Note"),
          "message class %r" % klass)
    return ole, entries


def case_msg_unicode():
    """Format 9: UTF-16 strings, the store's Unicode flag; any subject survives."""
    folder = fresh_folder("unicode")
    rc, out, err = run_host("send %s\nreceive %s\n" % (SUBJECT, SUBJECT), env=saving(folder, 9))
    check(rc == 0 and out[-1] == "live objects: 0", err + "\n".join(out))
    for name, sender, to, time_tag in [("sent-1.msg", FROM, TO, 0x00390040),
                                       ("received-2.msg", "Cora Sender <cora.sender@example.org>",
                                        "Quinn Owner <quinn.owner@example.com>", 0x0E060040)]:
        path = os.path.join(folder, name)
        ole, entries = check_streams(path, "001F", 2 if name.startswith("sent") else 1)
        check(entries.get(0x340D0003, b"")[:4] == struct.pack("<I", 0x00040000), "store support mask")
        check(time_tag in entries, "%s: no time 0x%08X" % (name, time_tag))
        headers, body = eml_of(path)
        check(headers.get("Subject") == SUBJECT, "%s: Subject %r" % (name, headers.get("Subject")))
        check(headers.get("From") == sender, "%s: From %r" % (name, headers.get("From")))
        check(headers.get("To") == to, "%s: To %r" % (name, headers.get("To")))
        check("this is a sample message" in body, "%s: body %r" % (name, body))


def case_msg_ansi():
    """Format 3: 8-bit strings in the ANSI code page; what it cannot hold is lost."""
    folder = fresh_folder("ansi")
    rc, out, err = run_host("send %s\n" % SUBJECT, env=saving(folder, 3))
    check(rc == 0 and out[-1] == "live objects: 0", err + "\n".join(out))
    path = os.path.join(folder, "sent-1.msg")
    ole, entries = check_streams(path, "001E", 2)
    check(not any(name[-1].endswith("001F") for name in ole.listdir()), "a Unicode stream in ANSI")
    check(0x340D0003 not in entries, "store support mask in the ANSI format")
    code_page = struct.unpack_from("<I", entries[0x3FDE0003])[0]
    subject = ole.openstream("__substg1.0_0037001E").read()
    check(subject == SUBJECT.encode("cp%d" % code_page, errors="replace"),
          "subject bytes %r in code page %d" % (subject, code_page))
    headers, body = eml_of(path)
    check(headers.get("From") == FROM and headers.get("To") == TO, "From/To %r" % headers)
    check(not re.search("[Пр你]", headers.get("Subject", "")), "Subject %r" % headers.get("Subject"))
    check("this is a sample message" in body, "body %r" % body)


def case_msg_overwrite():
    """SaveAs replaces an existing file of the same name, as Outlook's does."""
    folder = fresh_folder("overwrite")
    for subject in ["First", "Second"]:
        rc, out, err = run_host("send %s\n" % subject, env=saving(folder, 9))
        check(rc == 0, err)
    headers, _ = eml_of(os.path.join(folder, "sent-1.msg"))
    check(headers.get("Subject") == "Second", "Subject %r" % headers.get("Subject"))


def wine(*args):
    return subprocess.run([WINE_RUN] + list(args), capture_output=True, text=True)


def import_registry(lines):
    """Applies a .reg file in one Wine call."""
    path = os.path.join(WORK, "addins.reg")
    with open(path, "w", encoding="utf-16") as f:
        f.write("Windows Registry Editor Version 5.00\r\n\r\n" + "\r\n".join(lines) + "\r\n")
    result = wine("regedit", "/s", windows_path(path))
    check(result.returncode == 0, result.stderr)


def case_registered_addins():
    """Without --addin the host loads what the Addins key lists with LoadBehavior 3, and sets
    LoadBehavior 2 on an add-in that fails."""
    keys = {"QsStandinTest.Addin": 3, "QsStandinTest.Missing": 3, "QsStandinTest.Off": 2}
    try:
        import_registry(["[%s\\%s]\r\n\"LoadBehavior\"=dword:%08x\r\n" % (ADDINS_KEY, name, behavior)
                         for name, behavior in keys.items()])
        rc, out, err = run_host("send Listed\n", addin=False)
        check(rc == 2, "exit status %d" % rc)
        check("connected QsStandinTest.Addin" in out, "\n".join(out))
        check("addin: Application.ItemSend MailItem Listed" in out, "\n".join(out))
        check("connect failed QsStandinTest.Missing 0x800401F3" in out, "\n".join(out))
        check(not any("QsStandinTest.Off" in line for line in out), "\n".join(out))
        check(out[-1] == "live objects: 0", out[-1])
        listing = wine("reg", "query", ADDINS_KEY, "/s").stdout
        for name, behavior in [("QsStandinTest.Missing", 2), ("QsStandinTest.Addin", 3)]:
            check(re.search(r"\\%s\s+LoadBehavior\s+REG_DWORD\s+0x%x\b" % (re.escape(name), behavior),
                            listing) is not None, "%s in %s" % (name, listing))
    finally:
        import_registry(["[-%s\\%s]\r\n" % (ADDINS_KEY, name) for name in keys])


if __name__ == "__main__":
    os.makedirs(WORK, exist_ok=True)
    globals()["case_" + CASE.replace("-", "_")]()
    print("ok: " + CASE)
