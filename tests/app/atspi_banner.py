"""The banner as a screen reader hears it, through the desktop's accessibility bus: each alert is
an object of role alert named by its text that starts showing, or is announced, as it comes, and
is gone once the banner hides. Presses the agent's keys with xdotool. Usage: atspi_banner.py"""
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


def agent_application():
    # The agent joins the bus a little after its window shows, later still under a sanitizer.
    for _ in range(200):
        desktop = Atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            application = desktop.get_child_at_index(index)
            if application is not None and application.get_name() == "com.qolvi.DesktopAgent":
                return application
        GLib.usleep(50000)
    fail("the agent is not on the accessibility bus")


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
