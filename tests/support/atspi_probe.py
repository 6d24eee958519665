#!/usr/bin/python3
# Debian's python: python3-pyatspi is installed for it alone.
"""Looks at a running program through AT-SPI, as a screen reader would.

usage: atspi_probe.py APP STEP...

Waits until the application named APP is on the accessibility registry with
its window's controls, then runs the steps in order:

  --tree                   prints every object of APP, one a line:
                           node<TAB>role<TAB>name<TAB>description
  --until NAME DESCRIPTION waits until an object of APP named NAME has that
                           description
  --on TYPE ROLE COMMAND   runs COMMAND (split like a shell would, not run by
                           one) and waits for the first TYPE event (such as
                           object:property-change:accessible-name) from an
                           object of APP with ROLE; prints it as
                           event<TAB>role<TAB>name<TAB>description

Every wait ends by one deadline. Exits 0 when all steps succeeded, 1 when one
failed or the time ran out (saying why on stderr), 2 on a usage error.
"""

import shlex
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

TIMEOUT_S = 30  # generous: the program may run under the sanitizers on a loaded machine


class Failed(Exception):
    pass


class Probe:
    def __init__(self, app_name):
        self.app_name = app_name
        self.deadline = time.monotonic() + TIMEOUT_S
        self.context = GLib.MainContext.default()
        self.app = None

    def wait(self, what, condition):
        """Polls `condition`, letting AT-SPI's events in between, until it
        gives something true or the deadline passes."""
        while True:
            while self.context.pending():
                self.context.iteration(False)
            try:
                result = condition()
            except GLib.Error:  # an object went away while we looked
                result = None
            if result:
                return result
            if time.monotonic() >= self.deadline:
                raise Failed("timed out waiting for " + what)
            time.sleep(0.01)

    def find_app(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == self.app_name and any(w.childCount for w in app):
                return app
        return None

    def objects(self, node=None):
        node = node or self.app
        for child in node:
            if child is not None:
                yield child
                yield from self.objects(child)

    def tree(self):
        for o in self.objects():
            print("\t".join(["node", o.getRoleName(), o.name, o.description]))

    def until(self, name, description):
        self.wait(f"{name!r} to have the description {description!r}",
                  lambda: any(o.name == name and o.description == description for o in self.objects()))

    def sync(self):
        """Returns once the program knows of the listeners registered so far.
        It sends only the events someone listens to and learns of a new
        listener from the registry's signal: a call to the registry and then
        one to the program return after the program has handled that signal."""
        pyatspi.Registry.getDesktop(0).getAttributes()
        self.app[0].queryComponent().getExtents(pyatspi.DESKTOP_COORDS)

    def on(self, events, event_type, role, command):
        before = len(events)
        self.sync()
        subprocess.run(shlex.split(command), check=True, timeout=max(1, self.deadline - time.monotonic()))

        def arrived():
            for e in events[before:]:
                if e.type == event_type and e.source.getRoleName() == role:
                    return e
            return None

        e = self.wait(f"a {event_type} event from a {role}", arrived)
        print("\t".join(["event", e.source.getRoleName(), e.source.name, e.source.description]))


def parse(args):
    steps = []
    while args:
        step, args = args[0], args[1:]
        arity = {"--tree": 0, "--until": 2, "--on": 3}.get(step)
        if arity is None or len(args) < arity:
            raise ValueError(step)
        steps.append((step, args[:arity]))
        args = args[arity:]
    return steps


def main(argv):
    try:
        app_name, steps = argv[1], parse(argv[2:])
    except (IndexError, ValueError):
        print(__doc__, file=sys.stderr)
        return 2
    probe = Probe(app_name)
    events = []

    def keep(event):
        try:
            if event.host_application is not None and event.host_application.name == app_name:
                events.append(event)
        except GLib.Error:  # its source went away
            pass

    # Listening first, so that no event of a later step is missed.
    types = {a[0] for s, a in steps if s == "--on"}
    if types:
        pyatspi.Registry.registerEventListener(keep, *types)
    try:
        probe.app = probe.wait(f"{app_name!r} on the accessibility registry", probe.find_app)
        for step, a in steps:
            if step == "--tree":
                probe.tree()
            elif step == "--until":
                probe.until(*a)
            else:
                probe.on(events, *a)
    except (Failed, subprocess.SubprocessError) as e:
        print(e, file=sys.stderr)
        return 1
    finally:
        sys.stdout.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
