'use strict';

// Exports, on the session bus, each window's application as GNOME Shell tracks it, the ID the
// window gave itself, and the PID of its owner; GNOME gives other programs no way to list
// windows. It answers only the installed agent, known by the executable of the caller's process
// as the bus reports it, so that no other program learns what runs on the desktop.

// GNOME Shell 45 and later load extensions as modules: the build makes that form from this file
// by replacing the two marked lines (../CMakeLists.txt).
const {Gio, GLib, Meta, Shell} = imports.gi; // imports

const AGENT = '/usr/bin/qolvi-desktop-agent';
const BUS_NAME = 'com.qolvi.DesktopAgent.Windows';
const OBJECT_PATH = '/com/qolvi/DesktopAgent/Windows';
const INTERFACE = `
<node>
  <interface name="com.qolvi.DesktopAgent.Windows">
    <method name="List">
      <arg type="a(ssu)" direction="out" name="windows"/>
    </method>
    <signal name="Changed"/>
  </interface>
</node>`;

const LISTED_TYPES = [Meta.WindowType.NORMAL, Meta.WindowType.DIALOG, Meta.WindowType.MODAL_DIALOG,
    Meta.WindowType.UTILITY];

function listWindows() {
    const tracker = Shell.WindowTracker.get_default();
    return global.display.list_all_windows()
        .filter(window => LISTED_TYPES.includes(window.get_window_type()))
        .map(window => {
            const app = tracker.get_window_app(window);
            const own = window.get_sandboxed_app_id() || window.get_gtk_application_id() ||
                window.get_wm_class() || '';
            return [app ? app.get_id() : '', own, Math.max(window.get_pid(), 0)];
        });
}

class WindowExport {
    enable() {
        this._object = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._object.export(Gio.DBus.session, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        // The windows of before, a locked screen turns extensions off, are watched as well as new
        // ones: each that closes is news.
        this._windowSignals = new Map();
        global.display.list_all_windows().forEach(window => this._watch(window));
        this._displaySignal = global.display.connect('window-created', (display, window) => {
            this._watch(window);
            this._changed();
        });
    }

    disable() {
        global.display.disconnect(this._displaySignal);
        this._windowSignals.forEach((id, window) => window.disconnect(id));
        this._windowSignals.clear();
        Gio.bus_unown_name(this._nameId);
        this._object.unexport();
        this._object = null;
    }

    _watch(window) {
        this._windowSignals.set(window, window.connect('unmanaged', () => {
            this._windowSignals.delete(window);
            this._changed();
        }));
    }

    _changed() {
        this._object.emit_signal('Changed', null);
    }

    ListAsync(parameters, invocation) {
        const sender = invocation.get_sender();
        Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
            'GetConnectionUnixProcessID', new GLib.Variant('(s)', [sender]), new GLib.VariantType('(u)'),
            Gio.DBusCallFlags.NONE, -1, null, (connection, result) => {
                let executable = '';
                try {
                    const [pid] = connection.call_finish(result).deepUnpack();
                    executable = GLib.file_read_link(`/proc/${pid}/exe`);
                } catch (e) {
                    executable = '';
                }
                if (executable !== AGENT) {
                    invocation.return_dbus_error('org.freedesktop.DBus.Error.AccessDenied',
                        'Only the Qolvi Desktop Agent may list the windows');
                    return;
                }
                invocation.return_value(new GLib.Variant('(a(ssu))', [listWindows()]));
            });
    }
}

function init() { return new WindowExport(); } // entry
