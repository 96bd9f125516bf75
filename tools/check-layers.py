#!/usr/bin/env python3
"""Checks that the house stands in layers.

Each room is a folder whose CMakeLists.txt declares a library of the same name
with scanserver_room(<room> ... ROOMS <rooms below> ...). A file of a room may
include headers of its own room and of the rooms it stands on, directly or
through the rooms below those; an include of any other room (one beside it or
above it) is a fault, and so is a cycle among the rooms.

Prints the rooms from the ground up with what each stands on, then any fault;
exits 1 when there is one.   usage: check-layers.py [PROJECT_DIR]
"""
import pathlib
import re
import sys

KEYWORDS = {"HEADER_ONLY", "SOURCES", "WINDOWS_SOURCES", "POSIX_SOURCES", "ROOMS", "WINDOWS_LIBRARIES",
            "POSIX_LIBRARIES"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


def read_rooms(root):
    rooms = {}
    for cmake in sorted(root.glob("*/CMakeLists.txt")):
        text = cmake.read_text()
        found = re.search(r"scanserver_room\((\w+)(.*?)\)", text, re.S)
        if not found:
            continue
        name, words = found.group(1), found.group(2).split()
        if name != cmake.parent.name:
            sys.exit(f"{cmake}: the room's library must be named after its folder, not {name}")
        below, taking = [], False
        for word in words:
            if word in KEYWORDS:
                taking = word == "ROOMS"
            elif taking:
                below.append(word)
        rooms[name] = below
    return {name: [r for r in below if r in rooms] for name, below in rooms.items()}


def ground_up(rooms):
    """The rooms in an order where each comes after those it stands on; None on a cycle."""
    order, state = [], {}

    def visit(room):
        if state.get(room) == "done":
            return True
        if state.get(room) == "visiting":
            return False
        state[room] = "visiting"
        if not all(visit(below) for below in rooms[room]):
            return False
        state[room] = "done"
        order.append(room)
        return True

    return order if all(visit(room) for room in sorted(rooms)) else None


def reachable(rooms, room):
    seen, stack = set(), list(rooms[room])
    while stack:
        below = stack.pop()
        if below not in seen:
            seen.add(below)
            stack.extend(rooms[below])
    return seen


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent).resolve()
    rooms = read_rooms(root)
    order = ground_up(rooms)
    if order is None:
        print("fault: the rooms' links form a cycle")
        return 1
    faults = []
    for room in order:
        allowed = reachable(rooms, room) | {room}
        print(f"{room:<11} stands on: {' '.join(rooms[room]) or '-'}")
        for source in sorted((root / room).glob("*")):
            if source.suffix not in (".h", ".cpp"):
                continue
            for included in INCLUDE.findall(source.read_text(errors="replace")):
                if included in rooms and included not in allowed:
                    faults.append(f"{source.relative_to(root)} includes {included}/, which {room} does not stand on")
    for fault in faults:
        print("fault:", fault)
    print(f"{len(rooms)} rooms, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
