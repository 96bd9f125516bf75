#!/usr/bin/env python3
"""The real server's splash on the virtual display (inside xvfb-run with a
wineserver up): over a painted desktop the picture shows 10 pixels from the
bottom-right corner and follows a mouse drag."""

import argparse
import os
import subprocess
import sys
import time

PICTURE, MARGIN, DRAG = 120, 10, (-500, -400)
PATIENCE_SECONDS = 60  # a wait limit, not a measurement: Wine can be slow to start


def run(*command):
    result = subprocess.run(command, capture_output=True)
    if result.returncode != 0:
        sys.exit("FAILED: %s: %s" % (" ".join(command), result.stderr.decode(errors="replace")))
    return result.stdout


class Image:
    """The pixels of a picture file as "rgb" or "rgba" bytes."""

    def __init__(self, path, kind="rgb"):
        self.width, self.height = map(int, run("identify", "-format", "%w %h", path).split())
        self.channels = len(kind)
        self.data = run("convert", path, "-depth", "8", kind + ":-")

    def pixel(self, x, y):
        offset = (y * self.width + x) * self.channels
        return self.data[offset:offset + self.channels]


def wait_for(what, problems_now):
    """Calls problems_now until it finds nothing wrong; fails after the patience."""
    deadline = time.monotonic() + PATIENCE_SECONDS
    while problems_now():
        if time.monotonic() > deadline:
            sys.exit("FAILED: %s; differences, e.g. (x, y, art, shown, desktop): %s" % (what, problems_now()[:5]))
        time.sleep(0.25)
    print(what + ": yes")


def problems(shot, desktop, art, left, top):
    """Pixels at the picture's place that do not show art (None: the desktop):
    transparent pixels the desktop, opaque ones the art, partly transparent ones
    the premultiplied colour over black (X without compositing) or a blend."""
    found = []
    for y in range(PICTURE):
        for x in range(PICTURE):
            shown, below = shot.pixel(left + x, top + y), desktop.pixel(left + x, top + y)
            *colour, alpha = art.pixel(x, y) if art else (*below, 0)
            over_black = [c * alpha // 255 for c in colour]
            blend = [(c * alpha + b * (255 - alpha)) / 255 for c, b in zip(colour, below)]
            wanted = {0: [below], 255: [colour]}.get(alpha, [over_black, blend])
            tolerance = {0: 0, 255: 1}.get(alpha, 3)
            if not any(all(abs(s - w) <= tolerance for s, w in zip(shown, want)) for want in wanted):
                found.append((x, y, [*colour, alpha], list(shown), list(below)))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for name in ("server", "art", "output"):
        parser.add_argument("--" + name, required=True)
    arguments = parser.parse_args()
    os.makedirs(arguments.output, exist_ok=True)

    def capture(name):
        run("import", "-window", "root", os.path.join(arguments.output, name))
        return Image(os.path.join(arguments.output, name))

    # Xvfb resets the painted desktop whenever its last client leaves.
    holder = subprocess.Popen(["xdotool", "sleep", "3600"])
    server = None
    try:
        art = Image(arguments.art, "rgba")
        tile = os.path.join(arguments.output, "desktop_tile.png")
        run("convert", "-size", "32x32", "xc:#c04040", "-fill", "#40a0c0", "-draw", "rectangle 0,0 15,15",
            "-draw", "rectangle 16,16 31,31", tile)
        subprocess.run(["display", "-window", "root", tile])  # sets the background, then ends with 1
        desktop = capture("desktop.png")
        if desktop.pixel(0, 0) == desktop.pixel(16, 0):
            sys.exit("FAILED: could not paint the desktop")
        # Without a taskbar the work area is the whole screen.
        left, top = desktop.width - PICTURE - MARGIN, desktop.height - PICTURE - MARGIN
        server = subprocess.Popen(["wine", arguments.server], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        wait_for("the picture in the corner", lambda: problems(capture("splash.png"), desktop, art, left, top))

        x, y = left + 60, top + 42  # an opaque pixel: the middle bar of the logo
        run("xdotool", "mousemove", str(x), str(y), "mousedown", "1")
        for step in range(1, 11):
            run("xdotool", "mousemove", str(x + DRAG[0] * step // 10), str(y + DRAG[1] * step // 10))
            time.sleep(0.05)
        run("xdotool", "mouseup", "1")
        moved = (left + DRAG[0], top + DRAG[1])
        wait_for("the picture dragged", lambda: problems(capture("dragged.png"), desktop, art, *moved))
        wait_for("the desktop where it was", lambda: problems(capture("dragged.png"), desktop, None, left, top))
    finally:
        for process in (server, holder):
            if process is not None:
                process.kill()
                process.wait()


if __name__ == "__main__":
    main()
