#!/usr/bin/env python3
"""The real programs end to end, driven from outside as a user drives them.

Run under an X server without a window manager (xvfb-run); keys and mouse
clicks go through xdotool (XTEST). The editor `planora` and the runner
`vykonar` are copied into one folder with an empty task file beside them;
the registry hives (ZNX_MACHINE_REG / ZNX_USER_REG) hold a server product key
and the editor's connection string to the TDS test server.

In the editor: F2 (New), the name typed, Tab to "Přednastavené příkazy",
Space, Enter takes the first template; a click into the database list, Tab to
the database box, a database name typed, Tab to "Přidat", Space; the same for
the second database; a click on OK; Ctrl+K ends the editor. Then the task
file's lines are checked, the runner is started with /A<task ID>, and its log
and what the server received are checked.

Usage: planora_e2e.py PLANORA VYKONAR TDS_SERVER_SCRIPT
Exit code 0 when everything matched; the first mismatch is printed.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

TIMEOUT = 20.0  # seconds any one window may take to appear or go


class Failure(Exception):
    """A mismatch; with PLANORA_E2E_SHOT set, the screen is saved there first."""

    def __init__(self, message):
        super().__init__(message)
        shot = os.environ.get("PLANORA_E2E_SHOT")
        if shot:
            subprocess.run(["import", "-window", "root", shot], check=False)


def xdo(*args, check=True):
    result = subprocess.run(["xdotool", *args], capture_output=True, text=True)
    if check and result.returncode != 0:
        raise Failure("xdotool %s: %s" % (" ".join(args), result.stderr.strip()))
    return result


def visible_windows(pid, name):
    result = xdo("search", "--all", "--onlyvisible", "--pid", str(pid), "--name", name, check=False)
    return [w for w in result.stdout.split() if w]


def wait_window(proc, name):
    """The visible window of the process whose title matches name."""
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise Failure("planora ended (code %s) while waiting for %r" % (proc.returncode, name))
        found = visible_windows(proc.pid, name)
        if found:
            return found[-1]
        time.sleep(0.02)
    raise Failure("no window %r appeared" % name)


def wait_gone(proc, name):
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        if not visible_windows(proc.pid, name):
            return
        time.sleep(0.02)
    ids = visible_windows(proc.pid, name)
    names = [xdo("getwindowname", w, check=False).stdout.strip() for w in ids]
    raise Failure("window %r stayed open: %s" % (name, list(zip(ids, names))))


def focus(window):
    xdo("windowfocus", "--sync", window)


def keys(*names):
    xdo("key", "--clearmodifiers", "--delay", "30", *names)


def type_text(text):
    xdo("type", "--clearmodifiers", "--delay", "30", text)


def click(window, x, y):
    # One xdotool call: the X server takes the move before the click (a
    # "--sync" move would wait in vain when the pointer is already there).
    xdo("mousemove", "--window", window, str(x), str(y), "click", "1")


def write_hive(path, sections):
    """A regedit version 5 export in UTF-16 LE: {key: {name: string value}}."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in sections.items():
        lines.append("[%s]" % key)
        for name, value in values.items():
            quoted = value.replace("\\", "\\\\").replace('"', '\\"')
            lines.append('"%s"="%s"' % (name, quoted))
        lines.append("")
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le") + "\r\n".encode("utf-16-le"))


def crlf_lines(data, what):
    text = data.decode("utf-8")
    if not text.endswith("\r\n"):
        raise Failure("%s: the last line does not end with CR LF: %r" % (what, text))
    lines = text[:-2].split("\r\n")
    for line in lines:
        if "\r" in line or "\n" in line:
            raise Failure("%s: a line break other than CR LF in %r" % (what, line))
    return lines


def expect(what, actual, expected):
    if actual != expected:
        raise Failure("%s:\n  actual   %r\n  expected %r" % (what, actual, expected))


STAMP = re.compile(r"^(\d{4}-\d{2}-\d{2}|\d{1,2}[./-] ?\d{1,2}[./-] ?\d{4})( \d{1,2}:\d{2}:\d{2}( [AP]M)?)?: ")

# Places in the task dialog (its controls have fixed geometry).
LIST_BOX_CATALOG = (166, 344)   # the list of chosen databases
BUTTON_OK = (373, 412)


def run(planora_src, vykonar_src, tds_script, work):
    databases = ["master", "tempdb", "model", "msdb", "Účetnictví", "mzdy"]
    chosen = ["Účetnictví", "mzdy"]
    record = os.path.join(work, "record.jsonl")
    config = os.path.join(work, "tds.json")
    with open(config, "w") as f:
        json.dump({"databases": databases, "users": {"sa": "secret"}, "record": record}, f)
    server = subprocess.Popen([sys.executable, tds_script, "--config", config, "--exit-on-eof"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    planora = None
    try:
        line = server.stdout.readline()
        if not line.startswith("PORT "):
            raise Failure("the TDS server did not start: %r" % line)
        port = int(line.split()[1])
        ado = "Provider=SQLOLEDB.1;Data Source=127.0.0.1,%d;User ID=sa;Password=secret" % port

        env = dict(os.environ)
        env["ZNX_MACHINE_REG"] = os.path.join(work, "machine.reg")
        env["ZNX_USER_REG"] = os.path.join(work, "user.reg")
        env["XDG_DATA_HOME"] = os.path.join(work, "share")
        env["QT_QPA_PLATFORM"] = "xcb"
        env.pop("QT_SCALE_FACTOR", None)
        write_hive(env["ZNX_MACHINE_REG"], {"HKEY_LOCAL_MACHINE\\SOFTWARE\\ZNX\\KorlSrv": {}})
        write_hive(env["ZNX_USER_REG"], {"HKEY_CURRENT_USER\\Software\\ZNX\\Planora": {"ADOString": ado}})

        folder = os.path.join(work, "program")
        os.mkdir(folder)
        planora_exe = shutil.copy2(planora_src, os.path.join(folder, "planora"))
        vykonar_exe = shutil.copy2(vykonar_src, os.path.join(folder, "vykonar"))
        task_file = os.path.join(folder, "vykonar.ini")
        open(task_file, "wb").close()

        planora = subprocess.Popen([planora_exe], env=env, cwd=folder,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        main = wait_window(planora, "^Mana.*innost")  # "Manažer plánovaných činností"
        focus(main)
        keys("F2")
        dialog = wait_window(planora, r"^Pl.*innost$")  # "Plánovaná činnost"
        focus(dialog)
        type_text("Záloha")
        keys("Tab", "space")                               # "Přednastavené příkazy"
        templates = wait_window(planora, "SQL$")           # "Přednastevené příkazy SQL"
        focus(templates)
        keys("Return")
        wait_gone(planora, "SQL$")
        focus(dialog)
        for name in chosen:
            click(dialog, *LIST_BOX_CATALOG)
            keys("Tab", "ctrl+a")                          # the database box
            type_text(name)
            keys("Tab", "space")                           # "Přidat"
        click(dialog, *BUTTON_OK)
        wait_gone(planora, r"^Pl.*innost$")
        if os.path.getsize(task_file) != 0:
            raise Failure("the task file was written while the editor was open")
        focus(main)
        keys("ctrl+k")                                     # "Konec"
        try:
            planora.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("planora did not end on Ctrl+K")
        output = planora.stdout.read().decode("utf-8", "replace")
        expect("planora's exit code (output: %s)" % output, planora.returncode, 0)

        with open(task_file, "rb") as f:
            lines = crlf_lines(f.read(), "task file")
        if not lines or not re.fullmatch(r"\[[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\]",
                                         lines[0]):
            raise Failure("the section is not named by an upper-case GUID without braces: %r" % lines[:1])
        task_id = lines[0][1:-1]
        expect("task file", lines[1:], ["Name=Záloha", "type=KORAL", "timeout=600",
                                         "SQL0=backup database <jmeno_databaze>",
                                         "SQL1=to disk = '<cesta>' with init",
                                         "catalog0=" + chosen[0], "catalog1=" + chosen[1]])

        before = open(record, "rb").read().count(b"\n") if os.path.exists(record) else 0
        result = subprocess.run([vykonar_exe, "/A" + task_id], env=env, cwd=folder,
                                capture_output=True, timeout=60)
        expect("vykonar's exit code", result.returncode, 0)
        with open(os.path.join(folder, "vykonar.log"), "rb") as f:
            log = crlf_lines(f.read(), "log")
        messages = []
        for line in log:
            m = STAMP.match(line)
            if not m:
                raise Failure("a log line without its date and time: %r" % line)
            messages.append(line[m.end():])
        expect("log", messages, ['Konfigurace načtena z "%s"' % task_file,
                                 "Zpracování spuštěno pro akci ID=%s" % task_id] +
               ['"Záloha" v katalogu "%s" proběhlo OK' % db for db in chosen])

        with open(record, "rb") as f:
            received = [json.loads(l) for l in f.read().decode("utf-8").splitlines()[before:] if l.strip()]
        uses = [r["text"] for r in received if r["kind"] == "batch" and r["text"].startswith("USE ")]
        batches = [(r["db"], r["text"]) for r in received
                   if r["kind"] == "batch" and not r["text"].startswith(("USE ", "SET "))]
        expect("USE statements", uses, ["USE [%s]" % db for db in chosen])
        joined = "backup database <jmeno_databaze>\r\nto disk = '<cesta>' with init\r\n"
        expect("batches", batches, [(db, joined) for db in chosen])
        print("OK: task %s written by planora and run by vykonar in %s" % (task_id, ", ".join(chosen)))
    finally:
        if planora is not None and planora.poll() is None:
            planora.kill()
            planora.wait()
        server.stdin.close()
        try:
            server.wait(5)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    if not os.environ.get("DISPLAY"):
        print("no X display: run under xvfb-run")
        return 2
    with tempfile.TemporaryDirectory() as work:
        try:
            run(*sys.argv[1:], work)
        except Failure as e:
            print("FAIL:", e)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
