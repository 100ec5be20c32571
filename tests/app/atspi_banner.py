"""The banner as a screen reader hears it, through the desktop's accessibility bus: each alert is
an object of role alert named by its text that starts showing, or is announced, as it comes, and
is gone once the banner hides. Presses the agent's keys with xdotool; then, as voice control
does, focuses the key field and presses the key button through their accessible actions.
Usage: atspi_banner.py KEY
With --starts, starts the agent again and again on the bus that runs, the root window naming a
bus that has gone at every other start, and its banner must be spoken each time.
Usage: atspi_banner.py --starts AGENT COUNT GONE_BUS_ADDRESS"""
import os
import subprocess
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

EMPTY_KEY_TEXT = "Please enter the exam key."


def fail(message):
    print(f"FAIL: {message}")
    sys.exit(1)


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


def walk(node):
    """Each object from node down; one destroyed meanwhile, as a banner that hides, is left out."""
    try:
        node.clear_cache()
        children = [node.get_child_at_index(index) for index in range(node.get_child_count())]
    except GLib.Error:
        return
    yield node
    for child in children:
        if child is not None:
            yield from walk(child)


def agent_application(pid=None, start=None):
    # The agent joins the bus a little after its window shows, later still under a sanitizer.
    for _ in range(200):
        desktop = Atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            application = desktop.get_child_at_index(index)
            if application is not None and application.get_name() == "com.qolvi.DesktopAgent" \
                    and pid in (None, application.get_process_id()):
                return application
        GLib.usleep(50000)
    fail(f"start {start}: the agent is not on the accessibility bus within 10 s" if start
         else "the agent is not on the accessibility bus within 10 s")


def find(application, role, name=None):
    for node in walk(application):
        if node.get_role() == role and name in (None, node.get_name()):
            return node
    fail(f"no {role.value_nick} named {name!r}")


def do_action(node, action):
    names = [Atspi.Action.get_action_name(node, index) for index in range(Atspi.Action.get_n_actions(node))]
    if action not in names or not Atspi.Action.do_action(node, names.index(action)):
        fail(f"{node.get_name()!r} did not do {action!r}; it offers {names}")


def alerts(application):
    found = []
    for node in walk(application):
        try:
            if node.get_role() == Atspi.Role.ALERT:
                found.append((node.get_name(), node.get_state_set().contains(Atspi.StateType.SHOWING)))
        except GLib.Error:
            pass  # destroyed since the walk reached it: it shows nothing
    return found


# What a screen reader is told: (event, role, name, detail) for each event on an alert; the
# source of an event about a banner already destroyed can no longer be asked anything.
heard = []


def on_event(event):
    try:
        role, name = event.source.get_role(), event.source.get_name()
    except GLib.Error:
        role, name = None, None
    if event.type.startswith("object:announcement"):
        heard.append(("announcement", role, str(event.any_data), 1))
    elif role in (Atspi.Role.ALERT, None):
        heard.append((event.type, role, name, event.detail1))


def spoken(text):
    """Whether the alert's text reached the screen reader as a showing alert or an announcement."""
    return any(
        (kind == "object:state-changed:showing" and role == Atspi.Role.ALERT and name == text and detail == 1)
        or (kind == "announcement" and name == text)
        for kind, role, name, detail in heard
    )


def wait_for(condition, seconds):
    context = GLib.MainContext.default()
    deadline = GLib.get_monotonic_time() + int(seconds * 1e6)
    while GLib.get_monotonic_time() < deadline:
        while context.pending():
            context.iteration(False)
        if condition():
            return True
        context.iteration(False)
        GLib.usleep(20000)
    return False


def starts(agent, count, gone_bus):
    listener = Atspi.EventListener.new(on_event)
    for event_type in ("object:state-changed:showing", "object:announcement"):
        listener.register(event_type)
    # The agent finds the bus as a desktop's applications do, not by this script's address.
    environment = {name: value for name, value in os.environ.items() if name != "AT_SPI_BUS_ADDRESS"}
    for start in range(1, count + 1):
        root = ["-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", gone_bus] if start % 2 else ["-remove", "AT_SPI_BUS"]
        subprocess.run(["xprop", "-root", *root], check=True)
        process = subprocess.Popen([agent], env=environment, stdout=subprocess.DEVNULL)
        try:
            application = agent_application(process.pid, start)
            button = lambda: next((node for node in walk(application)  # noqa: E731
                                   if node.get_role() == Atspi.Role.PUSH_BUTTON and node.get_name() == "MATCH THE KEY"), None)
            if not wait_for(button, 10):
                fail(f"start {start}: no key button")
            del heard[:]
            do_action(button(), "Press")
            if not wait_for(lambda: spoken(EMPTY_KEY_TEXT), 10):
                fail(f"start {start}: the banner was never spoken: {heard}")
        finally:
            process.terminate()
            process.wait(10)
    print(f"PASS: the banner was spoken at each of {count} starts")


if sys.argv[1] == "--starts":
    starts(sys.argv[2], int(sys.argv[3]), sys.argv[4])
    sys.exit(0)

# Listening starts once the agent is on the bus. Qt asks the registry which events are listened
# to and only then subscribes to news of more listeners, so one registered in between would never
# be sent anything; an agent on the bus has subscribed, as it does so before it joins. It handles
# its messages in order: once it answers a call made after the news, it sends these events.
application = agent_application()
listener = Atspi.EventListener.new(on_event)
for event_type in ("object:state-changed:showing", "object:announcement"):
    listener.register(event_type)
application.clear_cache()
application.get_child_count()

if alerts(application):
    fail(f"an alert shows before anything happened: {alerts(application)}")
window = subprocess.run(["xdotool", "search", "--name", "^Qolvi Desktop Agent$"],
                        capture_output=True, text=True, check=True).stdout.split()[0]
xdotool("windowfocus", "--sync", window)

# The key button with the field empty: the first alert.
xdotool("key", "Tab", "space")
if not wait_for(lambda: alerts(application) == [(EMPTY_KEY_TEXT, True)], 5):
    fail(f"no showing alert named {EMPTY_KEY_TEXT!r}: {alerts(application)}")
if not wait_for(lambda: spoken(EMPTY_KEY_TEXT), 2):
    fail(f"the alert was never spoken: {heard}")

# A refused key while it shows: the same banner takes the service's text, and is spoken again.
xdotool("key", "shift+Tab")
xdotool("type", "--delay", "20", "WRONG-KEY")
xdotool("key", "Tab", "space")
refused = lambda: [name for name, showing in alerts(application) if showing and name != EMPTY_KEY_TEXT]  # noqa: E731
if not wait_for(refused, 5):
    fail(f"the refusal did not replace the alert: {alerts(application)}")
refusal_text = refused()[0]
if not wait_for(lambda: spoken(refusal_text), 2):
    fail(f"the refusal {refusal_text!r} was never spoken: {heard}")

# Three seconds later the banner hides, and the screen reader hears that it stopped showing.
before_hiding = len(heard)
if not wait_for(lambda: not alerts(application), 6):
    fail(f"the alert still shows: {alerts(application)}")
if not wait_for(lambda: any(kind == "object:state-changed:showing" and detail == 0
                            for kind, _, _, detail in heard[before_hiding:]), 2):
    fail(f"nothing said that the banner hid: {heard[before_hiding:]}")
print(f"PASS: the banner is an alert, spoken as {EMPTY_KEY_TEXT!r}, then {refusal_text!r}, and hidden")

# Qt Quick gives a text field no editable-text interface, so the key is typed into the field that
# the accessible action focused; the button is pressed through its action alone.
key = sys.argv[1]
field = find(application, Atspi.Role.TEXT)
do_action(field, "SetFocus")
xdotool("key", "ctrl+a")
xdotool("type", "--delay", "20", key)
if not wait_for(lambda: Atspi.Text.get_text(field, 0, -1) == key, 5):
    fail(f"the field shows {Atspi.Text.get_text(field, 0, -1)!r}, not {key!r}")
do_action(find(application, Atspi.Role.PUSH_BUTTON, "MATCH THE KEY"), "Press")
print(f"PASS: {key!r} typed into the field and sent by the button's Press action")
