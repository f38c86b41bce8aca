# SPDX-License-Identifier: GPL-3.0-or-later
"""What a screen reader finds of a running Pelorin through the accessibility bus (AT-SPI).

  atspi_probe.py listen <file>         records the text and caret events of every console on the
                                       bus, one a line ("insert <offset> <text as JSON>",
                                       "caret <offset>"); writes "ready" once it is registered
  atspi_probe.py text <pid>            the console's whole text
  atspi_probe.py caret <pid>           "<caret offset> <character count>", then the line at the
                                       caret as JSON
  atspi_probe.py names <pid>           "<role>\t<name>" of every menu item, named part and list

Run with the system's Python, which has pyatspi (Debian's python3-pyatspi).
"""
import json
import sys

import pyatspi


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.get_process_id() == pid:
            return app
    sys.exit("no application with process id %d on the accessibility bus" % pid)


def walk(node, depth=0):
    """Every accessible object under node, the node first; hidden menus included."""
    yield node
    if depth > 20:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def console(app):
    for node in walk(app):
        if node.getRole() == pyatspi.ROLE_TERMINAL:
            return node
    sys.exit("no terminal in the application")


def listen(path):
    out = open(path, "a", buffering=1)

    def on_event(event):
        if event.source is None or event.source.getRole() != pyatspi.ROLE_TERMINAL:
            return
        if event.type.startswith("object:text-changed:insert"):
            out.write("insert %d %s\n" % (event.detail1, json.dumps(event.any_data)))
        elif event.type.startswith("object:text-caret-moved"):
            out.write("caret %d\n" % event.detail1)

    pyatspi.Registry.registerEventListener(
        on_event, "object:text-changed:insert", "object:text-caret-moved")
    out.write("ready\n")
    pyatspi.Registry.start()


def main():
    command = sys.argv[1]
    if command == "listen":
        listen(sys.argv[2])
        return
    app = application(int(sys.argv[2]))
    if command == "text":
        text = console(app).queryText()
        sys.stdout.write(text.getText(0, -1))
    elif command == "caret":
        text = console(app).queryText()
        offset = text.caretOffset
        line = text.getTextAtOffset(offset, pyatspi.TEXT_BOUNDARY_LINE_START)
        print(offset, text.characterCount)
        print(json.dumps(line[0]))
    elif command == "names":
        wanted = (pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM, pyatspi.ROLE_TREE,
                  pyatspi.ROLE_TERMINAL, pyatspi.ROLE_SPLIT_PANE, pyatspi.ROLE_LIST,
                  pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_FRAME, pyatspi.ROLE_MENU_BAR)
        for node in walk(app):
            if node.getRole() in wanted:
                print("%s\t%s" % (node.getRoleName(), node.name))
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
