#!/usr/bin/python3
"""A peer to bench_calc: a Python-UNO script that writes the same 20,004 values
(3,334 lines of six) into a copy of the master workbook in a headless office
of its own, one setDataArray a line, the sheet looked up once.

    uno_peer.py MASTER.xls [--view]

Without --view the document is loaded hidden (no view); with it, it gets a
view as Halvern's working copy does. Prints "python-uno cells/s (...): N".
Needs python3-uno (Debian), run by /usr/bin/python3."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue

LINES = 3334


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def main():
    master = sys.argv[1]
    view = "--view" in sys.argv[2:]
    work = tempfile.mkdtemp(prefix="uno-peer-")
    pipe = "unopeer%d" % os.getpid()
    office = subprocess.Popen(
        ["soffice", "--headless", "--invisible", "--norestore", "--nologo", "--nodefault",
         "-env:UserInstallation=file://" + work + "/profile",
         "--accept=pipe,name=%s;urp;" % pipe],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + 60
        while True:
            try:
                ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except Exception:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.1)
        desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        copy = os.path.join(work, "copy.xls")
        shutil.copy(master, copy)
        os.chmod(copy, 0o600)
        args = () if view else (prop("Hidden", True),)
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(copy), "_blank", 0, args)
        sheet = doc.Sheets.getByIndex(0)
        rows = [(str(r + 1), "Well%d" % (r % 96), "%.2f" % (1000.0 + r * 0.37), "::", str(r * 7 % 1000), "RLU")
                for r in range(LINES)]
        start = time.perf_counter()
        for r, line in enumerate(rows):
            sheet.getCellRangeByPosition(0, r + 1, 5, r + 1).setDataArray((line,))
        seconds = time.perf_counter() - start
        print("python-uno cells/s (%s): %.0f" % ("with a view" if view else "hidden document", LINES * 6 / seconds))
        doc.close(True)
        try:
            desktop.terminate()
        except Exception:
            pass  # the bridge goes down as the office ends
    finally:
        try:
            office.wait(timeout=20)
        except subprocess.TimeoutExpired:
            os.killpg(office.pid, 9)
            office.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
