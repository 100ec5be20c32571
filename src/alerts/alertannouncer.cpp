#include "alertannouncer.h"

#include <QAccessible>
#include <QtGlobal>

namespace Qolvi_Desktop_Agent {

void AlertAnnouncer::componentComplete() {
    announce(false);
    if (m_alertManager != nullptr) {
        connect(m_alertManager, &AlertManager::alertShown, this, [this] { announce(true); });
    }
}

void AlertAnnouncer::announce([[maybe_unused]] bool replacing) const {
    if (m_banner == nullptr || !QAccessible::isActive()) {
        return;
    }
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(m_banner);
    if (accessible == nullptr) {
        return;
    }
    QAccessibleAnnouncementEvent announcement(m_banner, accessible->text(QAccessible::Name));
    announcement.setPoliteness(QAccessible::AnnouncementPoliteness::Assertive);
    QAccessible::updateAccessibility(&announcement);
#else
    // Before Qt 6.8 the bridge has no announcements; screen readers speak an alert that starts
    // showing, which a new banner has just done of itself.
    if (replacing) {
        QAccessibleEvent shown(m_banner, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }
#endif
}

} // namespace Qolvi_Desktop_Agent
