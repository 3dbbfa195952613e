#!/usr/bin/python3
# The naive reference for the shortcuts command's speed: finds the application
# with the given process id on the accessibility bus and walks its first menu
# bar whole, asking each object for its name, role, key binding and children.
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def walk(node, rows):
    name = node.get_name()
    node.get_role()
    action = node.get_action_iface()
    if action is not None:
        binding = action.get_key_binding(0)
        if binding:
            rows.append((name, binding))
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            walk(child, rows)


def main():
    pid = int(sys.argv[1])
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        application = desktop.get_child_at_index(i)
        if application is None or application.get_process_id() != pid:
            continue
        queue = [application]
        while queue:
            node = queue.pop(0)
            if node.get_role() == Atspi.Role.MENU_BAR:
                rows = []
                walk(node, rows)
                print(len(rows), "items with a binding")
                return 0
            queue.extend(c for c in (node.get_child_at_index(j) for j in range(node.get_child_count())) if c)
    return 5


sys.exit(main())
