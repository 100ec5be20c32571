#include "platform/systemappearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QThread>
#include <optional>

namespace Qolvi_Desktop_Agent {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

// The portal's value: 1 prefers dark, 2 prefers light, 0 has no preference.
std::optional<ColorScheme> fromPortalValue(const QVariant &value) {
    QVariant inner = value;
    // Read answers a variant inside a variant; unwrap as many as there are.
    while (inner.canConvert<QDBusVariant>() && inner.userType() == qMetaTypeId<QDBusVariant>()) {
        inner = inner.value<QDBusVariant>().variant();
    }
    bool ok = false;
    const uint preference = inner.toUInt(&ok);
    if (!ok || preference == 0 || preference > 2) {
        return std::nullopt;
    }
    return preference == 1 ? ColorScheme::dark : ColorScheme::light;
}

// Only a GUI application has a palette; tests of the logic run without one.
QGuiApplication *guiApplication() {
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance());
}

ColorScheme fromPalette() {
    if (guiApplication() == nullptr) {
        return ColorScheme::light;
    }
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightness() < 128 ? ColorScheme::dark : ColorScheme::light;
}

} // namespace

void SystemAppearance::prepare() {
    // Connecting to the session bus blocks for about a millisecond; the window's loading can
    // use that time. The bus keeps the connection for whoever asks next.
    QThread *connecting = QThread::create([] { QDBusConnection::sessionBus(); });
    QObject::connect(connecting, &QThread::finished, connecting, &QObject::deleteLater);
    connecting->start();
}

SystemAppearance::SystemAppearance() {
    m_colorScheme = fromPalette();
    follow();
}

void SystemAppearance::follow() {
    if (QGuiApplication *application = guiApplication()) {
        application->installEventFilter(this);
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    // Without this registration the change signal silently never arrives.
    qRegisterMetaType<QDBusVariant>();
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                this, SLOT(onPortalSettingChanged(QString, QString, QDBusVariant)));

    QDBusMessage read = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface,
                                                       QStringLiteral("Read"));
    read << appearanceNamespace << colorSchemeKey;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *call) {
                const QDBusPendingReply<QVariant> reply = *call;
                call->deleteLater();
                if (reply.isError()) {
                    return; // no portal: the palette decides
                }
                // "No preference" leaves the palette in charge, now and after.
                if (const auto scheme = fromPortalValue(reply.value())) {
                    m_portalAnswers = true;
                    setColorScheme(*scheme);
                }
            });
}

void SystemAppearance::onPortalSettingChanged(const QString &nameSpace, const QString &key,
                                              const QDBusVariant &value) {
    if (nameSpace != appearanceNamespace || key != colorSchemeKey) {
        return;
    }
    // "No preference" hands the decision back to the palette.
    const auto scheme = fromPortalValue(value.variant());
    m_portalAnswers = scheme.has_value();
    setColorScheme(scheme.value_or(fromPalette()));
}

bool SystemAppearance::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::ApplicationPaletteChange && watched == guiApplication() &&
        !m_portalAnswers) {
        setColorScheme(fromPalette());
    }
    return QObject::eventFilter(watched, event);
}

} // namespace Qolvi_Desktop_Agent
