#pragma once

#include <QDBusVariant>
#include <QObject>

namespace Qolvi_Desktop_Agent {

enum class ColorScheme { light, dark };

// The desktop's light or dark appearance, followed while the agent runs. Each platform has its
// own implementation file beside this header.
class SystemAppearance : public QObject {
    Q_OBJECT
public:
    // Created on first use on the main thread, after the application object.
    [[nodiscard]] static SystemAppearance &shared();
    // Starts reaching the desktop's settings off the main thread, so that the shared appearance
    // finds them ready; the agent calls it before it loads its window.
    static void prepare();
    // Follows the desktop from now on; the agent uses the shared one.
    SystemAppearance();

    [[nodiscard]] ColorScheme colorScheme() const { return m_colorScheme; }
    // What the platform reports; the platform code calls it, and tests stand in for it.
    void setColorScheme(ColorScheme colorScheme);

signals:
    void colorSchemeChanged();

private slots:
    void onPortalSettingChanged(const QString &nameSpace, const QString &key,
                                const QDBusVariant &value);

private:
    void follow();
    bool eventFilter(QObject *watched, QEvent *event) override;

    ColorScheme m_colorScheme = ColorScheme::light;
    // Whether the settings portal states a preference; the palette decides only when not.
    bool m_portalAnswers = false;
};

} // namespace Qolvi_Desktop_Agent
