#!/usr/bin/env python3
"""Screenshot test of the real server's splash window on the virtual display.

Runs inside xvfb-run with a wineserver already up (tools/run-wine-tests.sh):
  1. paints a checkerboard on the X root window, the "desktop";
  2. starts the server without arguments (it shows its splash and idles);
  3. checks the window's place (10 pixels from the work area's bottom-right
     corner) and, on a capture of the screen, that the picture is there:
     fully transparent pixels show the desktop, opaque ones match the art, and
     partly transparent ones hold the premultiplied colour (blended over black,
     as X shows it without a compositing manager) or a true blend;
  4. drags the picture with the mouse and checks that it moved, and that the
     old place shows the desktop again;
  5. closes the window from outside and checks that the server still runs;
  6. runs a serving server (with the host's pipes), closes its window and
     checks that requests are still answered and the exit code is 0.
The captures are kept in the output folder: splash_screenshot.png (after 3),
splash_dragged.png (after 4), splash_closed.png (after 5).
"""

import argparse
import os
import subprocess
import sys
import time

PICTURE = 120
MARGIN = 10
DRAG = (-500, -400)
PATIENCE_SECONDS = 60  # a wait limit, not a measurement: Wine can be slow to start
PARTIAL_TOLERANCE = 3


class Failure(Exception):
    pass


def run(command, **options):
    return subprocess.run(command, check=False, capture_output=True, text=True, **options)


def wait_for(description, attempt):
    """Calls attempt until it returns a true value; fails after the patience."""
    deadline = time.monotonic() + PATIENCE_SECONDS
    while True:
        result = attempt()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("gave up waiting: " + description)
        time.sleep(0.25)


class Image:
    """Raw pixels read through ImageMagick: rows of channels-byte pixels."""

    def __init__(self, path, channels):
        kind = "rgba" if channels == 4 else "rgb"
        size = run(["identify", "-format", "%w %h", path]).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.channels = channels
        self.data = subprocess.run(["convert", path, "-depth", "8", kind + ":-"], check=True,
                                   capture_output=True).stdout
        if len(self.data) != self.width * self.height * channels:
            raise Failure("could not read " + path)

    def pixel(self, x, y):
        offset = (y * self.width + x) * self.channels
        return tuple(self.data[offset:offset + self.channels])


class Probe:
    def __init__(self, probe):
        self.probe = probe

    def rect(self):
        """(window rect, work area) as (left, top, right, bottom), or None."""
        result = run(["wine", self.probe, "rect"])
        if result.returncode != 0:
            return None
        values = {}
        for line in result.stdout.splitlines():
            name, *numbers = line.split()
            values[name] = tuple(int(number) for number in numbers)
        return values["window"], values["workarea"]

    def window_at(self, corner):
        found = self.rect()
        return found is not None and found[0][:2] == corner

    def close(self):
        result = run(["wine", self.probe, "close"])
        if result.returncode != 0:
            raise Failure("closing the splash from outside failed: " + result.stderr.strip())


def capture(path):
    subprocess.run(["import", "-window", "root", path], check=True, capture_output=True)
    return Image(path, 3)


def paint_desktop(folder):
    """A checkerboard root window, so that the desktop is not one colour."""
    tile = os.path.join(folder, "desktop_tile.png")
    subprocess.run(["convert", "-size", "32x32", "xc:#c04040", "-fill", "#40a0c0", "-draw", "rectangle 0,0 15,15",
                    "-draw", "rectangle 16,16 31,31", tile], check=True)
    # display sets the root window's background and then ends, reporting 1.
    run(["display", "-window", "root", tile])
    desktop = capture(os.path.join(folder, "desktop.png"))
    colours = {desktop.pixel(x, y) for x in range(0, 64, 8) for y in range(0, 64, 8)}
    if len(colours) < 2:
        raise Failure("could not paint the desktop: it is one colour %s" % colours)
    return desktop


def expected_partial(art_pixel, desktop_pixel):
    """What a partly transparent pixel may show: the premultiplied colour over
    black (X without compositing) or a true blend over the desktop."""
    alpha = art_pixel[3]
    over_black = tuple(colour * alpha // 255 for colour in art_pixel[:3])
    blend = tuple((colour * alpha + below * (255 - alpha)) / 255 for colour, below in zip(art_pixel[:3], desktop_pixel))
    return over_black, blend


def close_enough(shown, wanted, tolerance):
    return all(abs(a - b) <= tolerance for a, b in zip(shown, wanted))


def picture_mismatches(shot, desktop, art, left, top):
    """Pixels of the window at (left, top) that do not show the art as they
    should, and how many of each kind were checked."""
    mismatches = []
    counts = {"transparent": 0, "opaque": 0, "partial": 0}
    for y in range(art.height):
        for x in range(art.width):
            art_pixel = art.pixel(x, y)
            shown = shot.pixel(left + x, top + y)
            below = desktop.pixel(left + x, top + y)
            alpha = art_pixel[3]
            if alpha == 0:
                counts["transparent"] += 1
                ok = shown == below
            elif alpha == 255:
                counts["opaque"] += 1
                ok = close_enough(shown, art_pixel[:3], 1)
            else:
                counts["partial"] += 1
                ok = any(close_enough(shown, wanted, PARTIAL_TOLERANCE) for wanted in expected_partial(art_pixel, below))
            if not ok:
                mismatches.append((x, y, art_pixel, shown, below))
    return mismatches, counts


def region_mismatches(shot, desktop, left, top, right, bottom):
    """Pixels of the region that differ from the desktop."""
    return [(x, y) for y in range(max(top, 0), min(bottom, shot.height))
            for x in range(max(left, 0), min(right, shot.width)) if shot.pixel(x, y) != desktop.pixel(x, y)]


def expect_picture_at(path, desktop, art, left, top):
    """Captures the screen until the picture shows at (left, top); fails with
    the first differences when it never does."""
    last = {}

    def attempt():
        shot = capture(path)
        mismatches, counts = picture_mismatches(shot, desktop, art, left, top)
        last["mismatches"], last["counts"] = mismatches, counts
        return shot if not mismatches else None

    try:
        shot = wait_for("the picture at %d,%d" % (left, top), attempt)
    except Failure:
        raise Failure("the picture at %d,%d does not match the art in %d pixels, for example "
                      "(x, y, art RGBA, shown, desktop): %s" % (left, top, len(last["mismatches"]),
                                                                last["mismatches"][:5]))
    counts = last["counts"]
    if min(counts.values()) == 0:
        raise Failure("the art lacks a kind of pixel, the check proves little: %s" % counts)
    print("picture at %d,%d matches the art: %s" % (left, top, counts))
    return shot


def expect_desktop_in(path, desktop, rect, what):
    def attempt():
        shot = capture(path)
        return shot if not region_mismatches(shot, desktop, *rect) else None

    wait_for(what, attempt)
    print(what + ": yes")


def drag(start, delta):
    """Presses the left button at start, moves by delta in steps, releases."""
    x, y = start
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "mousedown", "1"], check=True)
    steps = 10
    for step in range(1, steps + 1):
        subprocess.run(["xdotool", "mousemove", str(x + delta[0] * step // steps), str(y + delta[1] * step // steps)],
                       check=True)
        time.sleep(0.05)
    subprocess.run(["xdotool", "mouseup", "1"], check=True)


def test_idle_server(arguments, desktop, art):
    probe = Probe(arguments.probe)
    server = subprocess.Popen(["wine", arguments.server], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT)
    try:
        window, work = wait_for("the splash window", probe.rect)
        print("splash window %s, work area %s" % (window, work))
        left, top = work[2] - PICTURE - MARGIN, work[3] - PICTURE - MARGIN
        if window != (left, top, left + PICTURE, top + PICTURE):
            raise Failure("the window is at %s, not 10 pixels from the work area's corner %s" % (window, work))
        expect_picture_at(os.path.join(arguments.output, "splash_screenshot.png"), desktop, art, left, top)

        # Press on an opaque pixel of the art: the middle bar of the logo.
        drag((left + 60, top + 42), DRAG)
        moved = (left + DRAG[0], top + DRAG[1])
        wait_for("the window to follow the mouse", lambda: probe.window_at(moved))
        dragged = os.path.join(arguments.output, "splash_dragged.png")
        expect_picture_at(dragged, desktop, art, *moved)
        expect_desktop_in(dragged, desktop, (left, top, left + PICTURE, top + PICTURE),
                          "the old place shows the desktop again")

        probe.close()
        expect_desktop_in(os.path.join(arguments.output, "splash_closed.png"), desktop,
                          (moved[0], moved[1], moved[0] + PICTURE, moved[1] + PICTURE),
                          "the closed window is off the screen")
        if server.poll() is not None:
            raise Failure("closing the splash ended the idle server (exit code %s)" % server.returncode)
        print("the idle server still runs after its window was closed")
    finally:
        if server.poll() is None:
            server.kill()
        output = server.communicate()[0].decode("utf-8", "replace")
        print("idle server's output:\n" + output)


def test_serving_server(arguments):
    result = run(["wine", arguments.probe, "serve", arguments.server])
    print(result.stdout + result.stderr)
    if result.returncode != 0:
        raise Failure("the serving server did not go on after its window was closed")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--server", required=True, help="bin/ScanServer-x64.exe")
    parser.add_argument("--probe", required=True, help="bin/SplashProbe.exe")
    parser.add_argument("--art", required=True, help="resources/splash.png")
    parser.add_argument("--output", required=True, help="folder for the captures")
    arguments = parser.parse_args()

    if not os.environ.get("DISPLAY"):
        print("no DISPLAY: run under xvfb-run (tools/run-wine-tests.sh)", file=sys.stderr)
        return 1
    os.makedirs(arguments.output, exist_ok=True)
    # Xvfb resets the screen, background included, whenever its last client
    # leaves; this idle client keeps the painted desktop for the whole test.
    holder = subprocess.Popen(["xdotool", "sleep", "3600"])
    try:
        art = Image(arguments.art, 4)
        desktop = paint_desktop(arguments.output)
        test_idle_server(arguments, desktop, art)
        test_serving_server(arguments)
    except Failure as failure:
        print("FAILED: %s" % failure, file=sys.stderr)
        return 1
    finally:
        holder.kill()
        holder.wait()
    print("captures in " + arguments.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
