#include "platform/accessibilitybus.h"

#include <QAccessible>
#include <QDBusConnection>

// Qt's bridge (6.4 and 6.8 alike) watches the session for org.a11y.Bus, asks it for the bus's
// address with a call it does not wait for, and joins that bus under the one connection name
// "a11y". Three of its habits decide what is done here:
// - Unless QT_LINUX_ACCESSIBILITY_ALWAYS_ON is set, it joins only when org.a11y.Status says
//   assistive technology is on, reads those properties with calls that block the window's
//   thread for as long as the launcher takes, and on 6.4 never hears that they changed: a screen
//   reader started after the agent would find nothing. Set, it joins whenever the bus appears,
//   as a GTK application does, and asks the launcher nothing the window waits for.
// - On X11 it also connects at once to an address left on the root window (AT_SPI_BUS) by the
//   launcher, and a name that once failed stays failed: given the good address later, Qt hands
//   back the same dead connection, asks the registry once, is told "Not connected", and never
//   joins ("Could not query active accessibility event listeners"). A root window address
//   whose bus has gone, left by a bus that was restarted or ended without cleaning up, does
//   just that. Dropping the failed connection before Qt's own question is answered lets that
//   answer connect afresh.
// - It joins once: a bus restarted while the agent runs is not joined again, nor one that
//   starts later while a gone bus's address is on the root window.

namespace Qolvi_Desktop_Agent {

void joinAccessibilityBus() {
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    // Makes the bridge now, with nothing of the event loop run before the check below: the
    // answer to the bridge's question for the address cannot have come in yet.
    QAccessible::isActive();
    const QString bridgeConnectionName = QStringLiteral("a11y");
    if (!QDBusConnection(bridgeConnectionName).isConnected()) {
        QDBusConnection::disconnectFromBus(bridgeConnectionName);
    }
}

} // namespace Qolvi_Desktop_Agent
