#include "accessibilitybus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QGuiApplication>
#include <QVariantMap>

// Qt's bridge looks for the accessibility bus in two places: the address the session's
// org.a11y.Bus gives, and an address left on the X root window (AT_SPI_BUS) by the launcher of
// that bus. It connects to each under the one connection name "a11y", and a name that once
// failed stays failed: Qt hands the same dead connection back for the good address, asks the
// registry once, is told "Not connected", and never joins (it logs "Could not query active
// accessibility event listeners"). A root window address whose bus has gone, left by a bus that
// was restarted or that ended without cleaning up, does just that. Connecting that name first to
// the bus the session names gives the bridge a working connection whichever address it tries.

namespace Qolvi_Desktop_Agent {

namespace {

const QString busService = QStringLiteral("org.a11y.Bus");
const QString busPath = QStringLiteral("/org/a11y/bus");
const QString bridgeConnectionName = QStringLiteral("a11y");
// For each of the two questions. The launcher answers at once once its bus runs; the first
// address asked for may wait for it to start that bus, longer on a busy machine. Past this, the
// bridge finds the bus on its own, as it did before.
constexpr int answerLimitMs = 500;

// As the bridge decides: always when told so, else when the session says assistive technology
// is on.
bool accessibilityWanted(const QDBusConnection &session) {
    if (qEnvironmentVariableIsSet("QT_LINUX_ACCESSIBILITY_ALWAYS_ON")) {
        return true;
    }
    QDBusMessage question = QDBusMessage::createMethodCall(
        busService, busPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    question << QStringLiteral("org.a11y.Status");
    question.setAutoStartService(false);
    const QDBusReply<QVariantMap> status = session.call(question, QDBus::Block, answerLimitMs);
    return status.isValid() &&
           (status.value().value(QStringLiteral("IsEnabled")).toBool() ||
            status.value().value(QStringLiteral("ScreenReaderEnabled")).toBool());
}

} // namespace

void connectAccessibilityBus() {
    // Only on X11 is there a root window to mislead the bridge, and an address given in the
    // environment is the only one the bridge tries. Elsewhere the window's start waits for nothing.
    if (!QGuiApplication::platformName().startsWith(QStringLiteral("xcb")) ||
        qEnvironmentVariableIsSet("AT_SPI_BUS_ADDRESS")) {
        return;
    }
    const QDBusConnection session = QDBusConnection::sessionBus();
    // Never started here: a bus that starts later is found by the bridge itself.
    if (!session.isConnected() || !accessibilityWanted(session)) {
        return;
    }
    QDBusMessage question = QDBusMessage::createMethodCall(busService, busPath, busService,
                                                           QStringLiteral("GetAddress"));
    question.setAutoStartService(false);
    const QDBusReply<QString> address = session.call(question, QDBus::Block, answerLimitMs);
    if (address.isValid() && !address.value().isEmpty()) {
        QDBusConnection::connectToBus(address.value(), bridgeConnectionName);
    }
}

} // namespace Qolvi_Desktop_Agent
