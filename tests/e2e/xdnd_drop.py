#!/usr/bin/python3
"""Drops files on an X window as a file manager does, by XDND.

    xdnd_drop.py WINDOW X Y PATH...

WINDOW is an X window id (decimal or 0x...), X Y a point inside it, PATH
Linux paths. Exits 0 once the target says the drop is finished, 1 when it
refuses the drop or does not answer within 5 seconds.
"""
import os
import select
import sys
import time
import urllib.parse

from Xlib import X, display, error
from Xlib.protocol import event

TIMEOUT = 5.0


def fail(message):
    sys.exit(f"xdnd_drop: {message}")


def aware_window(d, window):
    """The window carrying XdndAware and its version: the window itself, an
    ancestor (a window manager's frame) or a descendant (a toolkit's inner
    window), searched in that order."""
    aware = d.intern_atom("XdndAware")
    candidates = [window]
    parent = window
    while True:
        tree = parent.query_tree()
        if not tree.parent or tree.parent == tree.root:
            break
        parent = tree.parent
        candidates.append(parent)
    queue = list(window.query_tree().children)
    while queue:
        child = queue.pop(0)
        candidates.append(child)
        queue.extend(child.query_tree().children)
    for candidate in candidates:
        prop = candidate.get_full_property(aware, X.AnyPropertyType)
        if prop and prop.value:
            return candidate, int(prop.value[0])
    fail(f"no window at or around {window.id:#x} is XdndAware")


def events(d, deadline):
    """The display's events until the deadline."""
    while True:
        while d.pending_events():
            yield d.next_event()
        left = deadline - time.monotonic()
        if left <= 0:
            return
        select.select([d], [], [], left)


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    try:
        d = display.Display()
    except error.DisplayError as e:
        fail(f"no X display: {e}")
    atom = d.intern_atom
    root = d.screen().root
    window = d.create_resource_object("window", int(sys.argv[1], 0))
    try:
        target, version = aware_window(d, window)
    except error.BadWindow:
        fail(f"there is no window {window.id:#x}")
    version = min(version, 5)
    at = root.translate_coords(window, int(sys.argv[2]), int(sys.argv[3]))
    uri_list = atom("text/uri-list")
    payload = "".join("file://" + urllib.parse.quote(os.path.abspath(p)) + "\r\n"
                      for p in sys.argv[4:]).encode()

    # An unmapped window of our own is the source and owns the selection the
    # target reads the paths from.
    source = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    selection = atom("XdndSelection")
    source.set_selection_owner(selection, X.CurrentTime)
    if d.get_selection_owner(selection) != source:
        fail("cannot own XdndSelection")

    def send(name, *data):
        message = event.ClientMessage(window=target, client_type=atom(name),
                                      data=(32, [source.id, *data, 0, 0, 0, 0][:5]))
        target.send_event(message)
        d.flush()

    send("XdndEnter", version << 24, uri_list)
    send("XdndPosition", 0, (at.x << 16) | at.y, X.CurrentTime, atom("XdndActionCopy"))
    dropped = False
    deadline = time.monotonic() + TIMEOUT
    for e in events(d, deadline):
        if e.type == X.SelectionRequest:
            # The target may ask as soon as it has seen XdndEnter.
            prop = e.property or e.target
            if e.target == uri_list:
                e.requestor.change_property(prop, uri_list, 8, payload)
            else:
                prop = X.NONE
            e.requestor.send_event(event.SelectionNotify(
                time=e.time, requestor=e.requestor, selection=e.selection,
                target=e.target, property=prop))
            d.flush()
        elif e.type == X.ClientMessage and e.client_type == atom("XdndStatus"):
            if dropped:
                continue
            if not e.data[1][1] & 1:
                send("XdndLeave")
                fail(f"the target {target.id:#x} refuses the drop")
            send("XdndDrop", 0, X.CurrentTime)
            dropped = True
        elif e.type == X.ClientMessage and e.client_type == atom("XdndFinished"):
            # Since version 5 the target also says whether it took the data.
            if version >= 5 and not e.data[1][1] & 1:
                fail(f"the target {target.id:#x} took nothing")
            return
    fail(f"the target {target.id:#x} did not answer "
         + ("the drop" if dropped else "XdndPosition") + f" within {TIMEOUT:g} s")


if __name__ == "__main__":
    main()
