#!/usr/bin/python3
"""What a screen reader sees of the running wizard, through AT-SPI.

  atspi_probe.py dump TITLE   the program's shown windows, one line per object:
                              role, name, description, value or text, the
                              label relations, and * on the focused object
  atspi_probe.py listen       prints the program's name changes, focus moves
                              and window activations as they happen

Run by scripts/atspi-dump.sh (needs python3-pyatspi and an AT-SPI bus).
"""
import sys

import pyatspi

PROGRAM = "vesmira"


def program():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == PROGRAM:
            return app
    sys.exit("atspi_probe: %s is not on the accessibility bus" % PROGRAM)


def describe(obj):
    states = obj.getState()
    parts = ["[%s]" % obj.getRoleName(), repr(obj.name)]
    if obj.description:
        parts.append("description=%r" % obj.description)
    if obj.getRoleName() == "text":
        text = obj.queryText()
        parts.append("text=%r" % text.getText(0, text.characterCount))
    for relation in obj.getRelationSet():
        kind = relation.getRelationType()
        if kind in (pyatspi.RELATION_LABELLED_BY, pyatspi.RELATION_LABEL_FOR):
            word = "labelled-by" if kind == pyatspi.RELATION_LABELLED_BY else "label-for"
            targets = [relation.getTarget(i).name for i in range(relation.getNTargets())]
            parts.append("%s=%s" % (word, targets))
    if states.contains(pyatspi.STATE_FOCUSED):
        parts.insert(0, "*")
    if states.contains(pyatspi.STATE_ACTIVE):
        parts.append("(active)")
    return " ".join(parts)


def walk(obj, depth):
    if not obj.getState().contains(pyatspi.STATE_SHOWING):
        return
    print("  " * depth + describe(obj))
    for child in obj:
        if child is not None:
            walk(child, depth + 1)


def dump(title):
    print("=== %s" % title)
    for window in program():
        if window is not None:
            walk(window, 1)


def listen():
    def report(event):
        try:
            app = event.host_application
            if app is None or app.name != PROGRAM:
                return
            source = event.source
            if event.type.startswith("object:state-changed:focused") and not event.detail1:
                return
            print("event %s [%s] %r" % (event.type, source.getRoleName(), source.name), flush=True)
        except Exception as failure:  # an object gone meanwhile
            print("event %s (%s)" % (event.type, failure), flush=True)

    pyatspi.Registry.registerEventListener(
        report,
        "object:property-change:accessible-name",
        "object:state-changed:focused",
        "window:activate",
    )
    print("listening", flush=True)
    pyatspi.Registry.start()


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "listen":
        listen()
    elif len(sys.argv) >= 3 and sys.argv[1] == "dump":
        dump(sys.argv[2])
    else:
        sys.exit(__doc__)
