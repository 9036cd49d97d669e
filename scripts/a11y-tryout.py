#!/usr/bin/python3
# Uses Corvina the way a screen-reader user's tools see it, over AT-SPI:
# lists the controls with their roles and names, types key words, presses a
# button, opens a menu item and reads the lists and counters.
# Run through scripts/a11y-tryout.sh (virtual X server and session bus).
import sys
import time

import pyatspi


def find_app(name, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name and name in app.name.lower():
                return app
        time.sleep(0.5)
    return None


def walk(acc, depth=0, out=None, limit=400):
    if out is None:
        out = []
    if acc is None or len(out) > limit:
        return out
    out.append((depth, acc))
    for i in range(acc.childCount):
        walk(acc.getChildAtIndex(i), depth + 1, out, limit)
    return out


def describe(acc):
    state = acc.getState()
    flags = []
    for s, label in ((pyatspi.STATE_CHECKED, "checked"), (pyatspi.STATE_FOCUSABLE, "focusable"),
                     (pyatspi.STATE_SHOWING, "showing"), (pyatspi.STATE_ENABLED, "enabled")):
        if state.contains(s):
            flags.append(label)
    text = ""
    try:
        t = acc.queryText()
        text = t.getText(0, -1)
    except NotImplementedError:
        pass
    value = ""
    try:
        v = acc.queryValue()
        value = "value=%g" % v.currentValue
    except NotImplementedError:
        pass
    return "%s %r%s%s [%s]" % (acc.getRoleName(), acc.name,
                                 (" text=%r" % text) if text else "",
                                 (" " + value) if value else "", ",".join(flags))


def by(items, role=None, name=None):
    for _, acc in items:
        if (role is None or acc.getRoleName() == role) and (name is None or acc.name == name):
            return acc
    return None


def main():
    app = find_app("corvina")
    if app is None:
        print("Corvina did not appear on the accessibility bus")
        return 1
    time.sleep(1)
    items = walk(app)
    print("== controls of the main window as AT-SPI lists them")
    for depth, acc in items:
        if acc.getRoleName() in ("filler", "panel", "layered pane", "scroll bar"):
            continue
        print("  " * min(depth, 8) + describe(acc))

    print("== what labels the two drop-down lists (label-for relations)")
    for _, acc in items:
        if acc.getRoleName() == "combo box":
            labels = [t.name for r in acc.getRelationSet() if r.getRelationType() == pyatspi.RELATION_LABELLED_BY
                      for t in (r.getTarget(i) for i in range(r.getNTargets()))]
            print("  combo box %r labelled by %r" % (acc.name, labels))

    print("== type key words into 'Key Words'")
    key_words = [acc for _, acc in items if acc.name == "Key Words" and acc.getRoleName() in ("text", "entry")]
    if not key_words:
        key_words = [acc for _, acc in items if acc.name == "Key Words"]
    target = key_words[-1] if key_words else None
    if target is not None:
        try:
            editable = target.queryEditableText()
            editable.setTextContents("corvid birds")
            print("  typed; the box now reads %r" % target.queryText().getText(0, -1))
        except NotImplementedError:
            print("  %s offers no editable text" % describe(target))
    else:
        print("  no control named 'Key Words'")

    print("== press 'Search !'")
    button = by(items, "push button", "Search !")
    if button is not None:
        action = button.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        print("  actions:", names)
        action.doAction(0)
        time.sleep(0.5)
        print("  pressed; button is %s" % describe(button))
    else:
        print("  no push button 'Search !'")

    print("== read the lists and counters")
    for name in ("Founded Sites", "Search Results"):
        lst = by(items, "list", name)
        if lst is None:
            print("  no control named %r" % name)
            continue
        print("  %s: %d entries" % (describe(lst), lst.childCount))
        for i in range(min(lst.childCount, 5)):
            print("    " + describe(lst.getChildAtIndex(i)))
    for name in ("Scanning", "Search Progression"):
        bar = by(items, "progress bar", name)
        print("  " + (describe(bar) if bar is not None else "no progress bar %r" % name))
    counters = [acc for _, acc in items if acc.getRoleName() == "label" and acc.name == "0"]
    print("  counter labels reading '0': %d" % len(counters))
    for c in counters:
        print("    " + describe(c) + " description=%r" % c.description)

    print("== open the Options dialog through the menu")
    menu_item = by(walk(app), "menu item", "Options...")
    if menu_item is not None:
        menu_item.queryAction().doAction(0)
        time.sleep(1.5)
        app = find_app("corvina")
        for depth, acc in walk(app):
            if acc.getRoleName() in ("dialog", "frame") and acc.name == "Options":
                for d2, c in walk(acc):
                    if c.getRoleName() in ("text", "check box", "radio button", "push button", "page tab"):
                        print("  " * min(d2, 6) + describe(c))
    else:
        print("  no menu item 'Options...'")

    print("== open the about box through the menu")
    menu_item = by(walk(app), "menu item", "Informations on Corvina...")
    if menu_item is not None:
        menu_item.queryAction().doAction(0)
        time.sleep(1.5)
        for depth, acc in walk(find_app("corvina")):
            if acc.name == "Corvina Info":
                for d2, c in walk(acc):
                    if c.getRoleName() not in ("filler", "panel"):
                        print("  " * min(d2, 6) + describe(c))
    return 0


if __name__ == "__main__":
    sys.exit(main())
