#!/usr/bin/python3
# Tries the list operations and list files in the running program the way a
# user would: mouse clicks on menus and context menus, the Del key, the word
# search and modify dialogs, and the real file dialogs, with the file name
# typed in. Reads the lists, counters and buttons back over AT-SPI, checks
# the files written, and takes screenshots.
# Run through scripts/lists-tryout.sh (virtual X server, session bus,
# xdotool, xwd and netpbm).
import csv
import os
import subprocess
import sys
import time

import pyatspi

WORK = os.environ.get("TRYOUT_DIR", "/tmp/corvina-lists-tryout")
SHOTS = os.environ.get("SHOTS_DIR", WORK)
problems = []


def xdo(*args):
    subprocess.run(["xdotool", *[str(a) for a in args]], check=True)


def shot(name, window=None):
    """Screenshot of the whole screen, or of the top-level window titled
    window (dialogs come out black in a capture of the root window here)."""
    time.sleep(0.8)  # let the newest window paint
    path = os.path.join(SHOTS, name + ".png")
    target = ["-root"]
    if window:
        ids = subprocess.run(["xdotool", "search", "--name", "^%s$" % window],
                             capture_output=True, text=True).stdout.split()
        if ids:
            target = ["-id", ids[-1]]
    xwd = subprocess.run(["xwd", *target, "-silent"], check=True, capture_output=True).stdout
    pnm = subprocess.run(["xwdtopnm"], input=xwd, check=True, capture_output=True).stdout
    with open(path, "wb") as f:
        f.write(subprocess.run(["pnmtopng"], input=pnm, check=True, capture_output=True).stdout)
    print("  screenshot", path)


def find_app(name="corvina", timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name and name in app.name.lower():
                return app
        time.sleep(0.5)
    return None


def walk(acc, out=None, limit=3000):
    if out is None:
        out = []
    if acc is None or len(out) > limit:
        return out
    out.append(acc)
    try:
        n = acc.childCount
    except Exception:
        return out
    for i in range(n):
        try:
            walk(acc.getChildAtIndex(i), out, limit)
        except Exception:
            pass
    return out


def showing(acc):
    return acc.getState().contains(pyatspi.STATE_SHOWING)


def find(role=None, name=None, visible=True, timeout=5.0, root=None):
    end = time.time() + timeout
    while True:
        for acc in walk(root or find_app()):
            try:
                if (role is None or acc.getRoleName() == role) and (name is None or acc.name == name) \
                        and (not visible or showing(acc)):
                    return acc
            except Exception:
                pass
        if time.time() > end:
            return None
        time.sleep(0.2)


def centre(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x + e.width // 2, e.y + e.height // 2


def click(acc, button=1):
    x, y = centre(acc)
    xdo("mousemove", x, y)
    time.sleep(0.15)
    xdo("click", button)
    time.sleep(0.4)


def menu(*path):
    """Clicks through the main menu: the title, then each item by name."""
    title = find("menu item", path[0])
    if title is None:
        for acc in walk(find_app()):
            if "menu" in acc.getRoleName():
                print("   ", acc.getRoleName(), repr(acc.name), showing(acc))
        raise RuntimeError("no menu %r" % path[0])
    click(title)
    for name in path[1:]:
        item = find(None, name)
        if item is None:
            raise RuntimeError("no visible menu item %r" % name)
        click(item)
    time.sleep(0.5)


POPUP1 = ["Seleziona Tutti", "Deseleziona Tutti", "Inverti Selezione", "Visita Pagina Web...",
          "Salva Siti Trovati su File...", "Apri Siti Trovati da File...", "Elimina dalla lista",
          "Erase selected from list"]


def context_menu(list_name, item_name, items=POPUP1):
    """Right-clicks the list and picks an item of its context menu with the
    arrow keys (the context menus are not on the accessibility bus)."""
    lst = find("list", list_name)
    e = lst.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    xdo("mousemove", e.x + e.width // 2, e.y + e.height - 20)
    xdo("click", 3)
    time.sleep(0.6)
    for _ in range(items.index(item_name) + 1):
        xdo("key", "Down")
    xdo("key", "Return")
    time.sleep(0.5)


def entries(list_name):
    lst = find("list", list_name)
    out = []
    for i in range(lst.childCount):
        c = lst.getChildAtIndex(i)
        st = c.getState()
        out.append((c.name, st.contains(pyatspi.STATE_CHECKED), st.contains(pyatspi.STATE_SELECTED)))
    return out


def entry(list_name, text):
    lst = find("list", list_name)
    for i in range(lst.childCount):
        c = lst.getChildAtIndex(i)
        if c.name == text:
            return c
    raise RuntimeError("no entry %r in %r" % (text, list_name))


def counter(description):
    for acc in walk(find_app()):
        try:
            if acc.getRoleName() == "label" and acc.description == description:
                return acc.name
        except Exception:
            pass
    return None


def button(caption):
    return find("push button", caption, visible=False)


def check(what, got, want):
    ok = got == want
    print("  %s %s: %r" % ("ok  " if ok else "FAIL", what, got) + ("" if ok else " (wanted %r)" % (want,)))
    if not ok:
        problems.append(what)


def file_dialog_type(path):
    """Types a full path into the file dialog that has the focus, then Enter."""
    time.sleep(1.0)
    xdo("key", "ctrl+a")
    xdo("type", "--delay", "20", path)
    time.sleep(0.3)
    xdo("key", "Return")
    time.sleep(1.0)


def main():
    os.makedirs(WORK, exist_ok=True)
    sites = os.path.join(WORK, "sites.txt")
    with open(sites, "wb") as f:
        f.write(b"http://www.zeta.it/\r\nhttp://www.Alpha.it/pagina\r\nhttp://www.rossini.it/\r\n"
                b"http://www.rossi.it/\r\nhttp://www.beta.it/\r\n")
    mails = os.path.join(WORK, "mails.txt")
    with open(mails, "wb") as f:
        f.write(b"mario.rossi@example.it\r\nanna@example.it\r\nzorro@example.it\r\nbruno@example.it\r\n")
    for name in ("book.csv", "row.txt", "cols.txt"):
        if os.path.exists(os.path.join(WORK, name)):
            os.remove(os.path.join(WORK, name))

    app = find_app()
    if app is None:
        print("Corvina did not appear on the accessibility bus")
        return 1
    time.sleep(1)
    shot("01-start")

    print("== Founded Sites > Open Founded Sites from File... (real open dialog)")
    menu("Founded Sites", "Open Founded Sites from File...")
    dlg = find("dialog", None, timeout=5)
    print("  dialog:", dlg.name if dlg else None)
    time.sleep(1.5)
    shot("02-open-dialog", "Open")
    file_dialog_type(sites)
    got = [e[0] for e in entries("Founded Sites")]
    check("sites loaded, sorted", got, ["http://www.Alpha.it/pagina", "http://www.beta.it/", "http://www.rossi.it/",
                                       "http://www.rossini.it/", "http://www.zeta.it/"])
    check("Founded counter", counter("Founded Sites"), "5")
    check("Next reads Resume...", button("Resume...") is not None, True)
    cerca = button("Search !")
    check("Search ! disabled", cerca.getState().contains(pyatspi.STATE_ENABLED), False)
    shot("03-sites-loaded")

    print("== context menu of Founded Sites: Seleziona Tutti, then Inverti Selezione")
    context_menu("Founded Sites", "Seleziona Tutti")
    check("all ticked", [e[1] for e in entries("Founded Sites")], [True] * 5)
    context_menu("Founded Sites", "Inverti Selezione")
    check("none ticked", [e[1] for e in entries("Founded Sites")], [False] * 5)

    print("== click an entry's text, press Del")
    click(entry("Founded Sites", "http://www.beta.it/"))
    xdo("key", "Delete")
    time.sleep(0.4)
    check("beta erased", [e[0] for e in entries("Founded Sites")],
          ["http://www.Alpha.it/pagina", "http://www.rossi.it/", "http://www.rossini.it/", "http://www.zeta.it/"])
    check("Founded counter", counter("Founded Sites"), "4")
    check("no current entry after erase", [e[2] for e in entries("Founded Sites")], [False] * 4)

    print("== Search Results > Open Email list from > Text File")
    menu("Search Results", "Open Email list from", "Text File")
    file_dialog_type(mails)
    check("addresses loaded", [e[0] for e in entries("Search Results")],
          ["anna@example.it", "bruno@example.it", "mario.rossi@example.it", "zorro@example.it"])
    check("Results counter", counter("Founded e-mail addresses"), "4")

    print("== Founded Sites > Search word..., then Search Results > Search word..., word 'rossi', Enter")
    menu("Founded Sites", "Search word...")
    menu("Search Results", "Search word...")
    ws = find("dialog", "Word search")
    for acc in walk(ws):
        if acc.getRoleName() == "check box":
            check("box %r ticked" % acc.name, acc.getState().contains(pyatspi.STATE_CHECKED), True)
    word = [a for a in walk(ws) if a.getRoleName() == "text" and a.name == "Word to search for"][0]
    click(word)
    xdo("type", "rossi")
    xdo("key", "Return")
    time.sleep(0.5)
    found = [a.name for a in walk(ws) if a.getRoleName() == "label" and a.description == "Founded words"]
    check("Founded words", found, ["3"])
    check("sites ticked", [e[1] for e in entries("Founded Sites")], [False, True, True, False])
    check("addresses ticked", [e[1] for e in entries("Search Results")], [False, False, True, False])
    shot("04-word-search", "Word search")
    click(find("push button", "Cancel", root=ws))
    check("word search hidden", find("dialog", "Word search", timeout=0.5) is None, True)

    print("== Modify selected with no current entry")
    menu("Search Results", "Modify selected")
    box = find("alert", None, timeout=3) or find("dialog", "ERROR", timeout=1)
    texts = [a.name for a in walk(box)] if box else []
    print("  message box:", box.name if box else None, [t for t in texts if t])
    shot("05-select-an-item", "ERROR")
    xdo("key", "Return")
    time.sleep(0.5)

    print("== click 'zorro', Modify selected, type a new text, Enter")
    click(entry("Search Results", "zorro@example.it"))
    menu("Search Results", "Modify selected")
    md = find("dialog", "Modify selected")
    ed = [a for a in walk(md) if a.getRoleName() == "text"][0]
    check("Edit1 holds the entry", ed.queryText().getText(0, -1), "zorro@example.it")
    click(ed)
    xdo("key", "ctrl+a")
    xdo("type", "aaron@example.it")
    shot("06-modify", "Modify selected")
    xdo("key", "Return")
    time.sleep(0.5)
    check("edited in place", [e[0] for e in entries("Search Results")],
          ["anna@example.it", "bruno@example.it", "mario.rossi@example.it", "aaron@example.it"])

    print("== Search Results > Save Email list on > Windows Adrdess Book File")
    menu("Search Results", "Save Email list on", "Windows Adrdess Book File")
    shot("07-save-dialog", "Save As")
    file_dialog_type(os.path.join(WORK, "book"))
    path = os.path.join(WORK, "book.csv")
    check("book.csv written", os.path.exists(path), True)
    if os.path.exists(path):
        with open(path, "rb") as f:
            print("  bytes:", f.read())
        with open(path, newline="") as f:
            rows = list(csv.reader(f))
        check("csv rows", rows, [["Posta elettronica"], ["anna@example.it"], ["bruno@example.it"],
                                 ["mario.rossi@example.it"], ["aaron@example.it"]])
    check("list unchanged by the save", [e[0] for e in entries("Search Results")],
          ["anna@example.it", "bruno@example.it", "mario.rossi@example.it", "aaron@example.it"])

    print("== Save Email list on > Text File (default saving format: on one row)")
    menu("Search Results", "Save Email list on", "Text File")
    file_dialog_type(os.path.join(WORK, "row"))
    with open(os.path.join(WORK, "row.txt"), "rb") as f:
        check("row.txt", f.read(), b"anna@example.it; bruno@example.it; mario.rossi@example.it; aaron@example.it; ")

    print("== Erase selected from list (Results menu), then Erase from list with nothing current")
    menu("Search Results", "Erase selected from list")
    check("ticked address erased", [e[0] for e in entries("Search Results")],
          ["anna@example.it", "bruno@example.it", "aaron@example.it"])
    check("Results counter", counter("Founded e-mail addresses"), "3")

    print("== Found Sites context menu: Salva Siti Trovati su File..., cancel with Esc")
    context_menu("Founded Sites", "Salva Siti Trovati su File...")
    time.sleep(1.0)
    xdo("key", "Escape")
    time.sleep(0.5)
    check("nothing saved on cancel", os.path.exists(os.path.join(WORK, "cancelled.txt")), False)

    print("== open the address book back")
    menu("Search Results", "Open Email list from", "Windows Adrdess Book File")
    file_dialog_type(path)
    check("address book loaded", [e[0] for e in entries("Search Results")],
          ["aaron@example.it", "anna@example.it", "bruno@example.it", "mario.rossi@example.it"])
    check("Results counter", counter("Founded e-mail addresses"), "4")
    shot("08-end")

    print("== %s" % ("all as expected" if not problems else "problems: %s" % problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
