#include "systemappearance.h"

#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSettings>

namespace Qolvi_Desktop_Agent {

namespace {

const QString personalizeKey = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize");

// Windows keeps the applications' light or dark mode in the user's registry; light when unset.
ColorScheme fromRegistry() {
    const QSettings personalize(personalizeKey, QSettings::NativeFormat);
    return personalize.value(QStringLiteral("AppsUseLightTheme"), 1).toInt() == 0
               ? ColorScheme::dark
               : ColorScheme::light;
}

// Windows announces a change of mode to every top-level window as "ImmersiveColorSet".
class ColorSetWatcher : public QAbstractNativeEventFilter {
public:
    explicit ColorSetWatcher(SystemAppearance &appearance)
        : m_appearance(appearance) {}

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override {
        if (eventType == "windows_generic_MSG") {
            const auto *msg = static_cast<const MSG *>(message);
            if (msg->message == WM_SETTINGCHANGE && msg->lParam != 0 &&
                lstrcmpW(reinterpret_cast<const wchar_t *>(msg->lParam), L"ImmersiveColorSet") ==
                    0) {
                m_appearance.setColorScheme(fromRegistry());
            }
        }
        return false;
    }

private:
    SystemAppearance &m_appearance;
};

} // namespace

// The registry is read in no time.
void SystemAppearance::prepare() {}

SystemAppearance::SystemAppearance() {
    m_colorScheme = fromRegistry();
    follow();
}

void SystemAppearance::follow() {
    if (QCoreApplication *application = QCoreApplication::instance()) {
        // Lives as long as the application; the shared appearance does too.
        application->installNativeEventFilter(new ColorSetWatcher(*this));
    }
}

// The settings portal is a Linux desktop's; Windows has none to listen to.
void SystemAppearance::onPortalSettingChanged(const QString &, const QString &,
                                              const QDBusVariant &) {}

bool SystemAppearance::eventFilter(QObject *watched, QEvent *event) {
    return QObject::eventFilter(watched, event);
}

} // namespace Qolvi_Desktop_Agent
