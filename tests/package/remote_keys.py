# Keys and windows of a headless GNOME Shell on the session bus. With no argument: holds a
# remote-desktop session of Mutter open (Mutter ends one whose caller leaves), writes "started",
# then presses the keys of each line read ("Escape", "Tab" and "space" by name, "ctrl+" and a
# character with Control held, any other word character by character) and writes "sent". With --focused APP_ID: succeeds when a window of
# that application has the focus; the shell lists windows only to its own helpers, so this one
# takes the name of the desktop portal's, free on the test's bus.
import sys
from gi.repository import Gio, GLib

bus = Gio.bus_get_sync(Gio.BusType.SESSION)
named = {'Escape': 0xff1b, 'Tab': 0xff09, 'space': 0x20}
control = 0xffe3


def call(name, path, interface, method, arguments=None):
    # The first call waits while the shell is still starting, which can take a loaded machine 20 s.
    return bus.call_sync(name, path, interface, method, arguments, None, Gio.DBusCallFlags.NONE, 30000, None)


if sys.argv[1:2] == ['--focused']:
    call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus', 'RequestName',
         GLib.Variant('(su)', ('org.freedesktop.impl.portal.desktop.gnome', 4)))
    windows = call('org.gnome.Shell.Introspect', '/org/gnome/Shell/Introspect', 'org.gnome.Shell.Introspect',
                   'GetWindows').unpack()[0]
    sys.exit(0 if any(w.get('app-id') == sys.argv[2] + '.desktop' and w.get('has-focus') for w in windows.values()) else 1)

remote = 'org.gnome.Mutter.RemoteDesktop'
loop = GLib.MainLoop()
Gio.bus_watch_name_on_connection(bus, remote, Gio.BusNameWatcherFlags.NONE, lambda *_: loop.quit(), None)
GLib.timeout_add_seconds(60, lambda: sys.exit('Mutter took no remote-desktop name within 60 s'))
loop.run()
session = call(remote, '/org/gnome/Mutter/RemoteDesktop', remote, 'CreateSession').unpack()[0]
call(remote, session, remote + '.Session', 'Start')
print('started', flush=True)


def key(keysym, pressed):
    call(remote, session, remote + '.Session', 'NotifyKeyboardKeysym', GLib.Variant('(ub)', (keysym, pressed)))


for line in sys.stdin:
    for word in line.split():
        held = [control] if word.startswith('ctrl+') else []
        word = word.removeprefix('ctrl+')
        for keysym in held:
            key(keysym, True)
        for keysym in [named[word]] if word in named else map(ord, word):
            key(keysym, True)
            key(keysym, False)
        for keysym in held:
            key(keysym, False)
    print('sent', flush=True)
