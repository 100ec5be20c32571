#include "platform/systemappearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>

using namespace Qolvi_Desktop_Agent;

namespace {

// Stands in for the desktop's settings portal on a private session bus.
class FakeSettingsPortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    uint colorScheme = 1;

public slots:
    // The portal answers a variant that holds the value as a variant again.
    QDBusVariant Read(const QString &nameSpace, const QString &key) {
        if (nameSpace != "org.freedesktop.appearance" || key != "color-scheme") {
            return QDBusVariant(QVariant());
        }
        return QDBusVariant(QVariant::fromValue(QDBusVariant(colorScheme)));
    }
};

} // namespace

class SystemAppearanceTest : public QObject {
    Q_OBJECT

    FakeSettingsPortal m_portal;

    void announce(uint colorScheme) {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings", "SettingChanged");
        signal << "org.freedesktop.appearance"
               << "color-scheme" << QVariant::fromValue(QDBusVariant(colorScheme));
        QVERIFY(QDBusConnection("portal").send(signal));
    }

private slots:
    // The test runs on a session bus of its own; the portal has a connection of its own on it.
    void initTestCase() {
        QDBusConnection portal =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "portal");
        QVERIFY(portal.registerService("org.freedesktop.portal.Desktop"));
        QVERIFY(portal.registerObject("/org/freedesktop/portal/desktop", &m_portal,
                                      QDBusConnection::ExportAllSlots));
    }

    void readsThePortalThenFollowsItsChanges() {
        // The palette says light; the portal's answer arrives without blocking and wins.
        SystemAppearance &appearance = SystemAppearance::shared();
        QCOMPARE(appearance.colorScheme(), ColorScheme::light);
        QTRY_COMPARE(appearance.colorScheme(), ColorScheme::dark);

        QSignalSpy changed(&appearance, &SystemAppearance::colorSchemeChanged);
        announce(2);
        QTRY_COMPARE(appearance.colorScheme(), ColorScheme::light);
        announce(1);
        QTRY_COMPARE(appearance.colorScheme(), ColorScheme::dark);
        QCOMPARE(changed.count(), 2);

        // No preference: the palette decides again.
        announce(0);
        QTRY_COMPARE(appearance.colorScheme(), ColorScheme::light);
    }

    void noPreferenceAtStartLeavesThePaletteInCharge() {
        m_portal.colorScheme = 0;
        SystemAppearance appearance;
        // The portal's answer has arrived once its watcher is gone.
        QTRY_VERIFY(appearance.findChildren<QDBusPendingCallWatcher *>().isEmpty());
        QCOMPARE(appearance.colorScheme(), ColorScheme::light);

        const QPalette light = QGuiApplication::palette();
        QGuiApplication::setPalette(QPalette(QColor(20, 24, 48)));
        QCOMPARE(appearance.colorScheme(), ColorScheme::dark);
        QGuiApplication::setPalette(light);
        QCOMPARE(appearance.colorScheme(), ColorScheme::light);
    }
};

QTEST_MAIN(SystemAppearanceTest)
#include "tst_systemappearance.moc"
