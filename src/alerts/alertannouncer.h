#pragma once

#include "alertmanager.h"

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace Qolvi_Desktop_Agent {

// Tells assistive technology about the banner it lives in, so that a screen reader speaks each
// alert as it comes. A banner that appears is spoken because it starts showing; one that takes a
// new alert's text while it shows would otherwise change only its name, which screen readers
// do not speak.
class AlertAnnouncer : public QObject, public QQmlParserStatus {
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(QQuickItem *banner MEMBER m_banner REQUIRED)
    Q_PROPERTY(AlertManager *alertManager MEMBER m_alertManager REQUIRED)

public:
    using QObject::QObject;

    void classBegin() override {}
    void componentComplete() override;

private:
    void announce(bool replacing) const;

    QPointer<QQuickItem> m_banner;
    QPointer<AlertManager> m_alertManager;
};

} // namespace Qolvi_Desktop_Agent
