#pragma once

#include "alerttype.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>
#include <chrono>
#include <optional>

namespace Qolvi_Desktop_Agent {

// The one alert the window can show, shared by every part of the agent.
class AlertManager : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The agent state hands out the shared alert manager")
    Q_PROPERTY(QString message READ messageText NOTIFY messageChanged)
    Q_PROPERTY(bool hasMessage READ hasMessage NOTIFY messageChanged)
    Q_PROPERTY(bool isVisible READ isVisible NOTIFY isVisibleChanged)
    Q_PROPERTY(QColor bannerColor READ bannerColor NOTIFY typeChanged)

public:
    static constexpr std::chrono::milliseconds productHideDelay{3000};

    // Created on first use, safely against two first uses at once; lives until the process ends.
    [[nodiscard]] static AlertManager &shared();

    [[nodiscard]] const std::optional<QString> &message() const { return m_message; }
    [[nodiscard]] QString messageText() const { return m_message.value_or(QString()); }
    [[nodiscard]] bool hasMessage() const { return m_message.has_value(); }
    [[nodiscard]] bool isVisible() const { return m_isVisible; }
    [[nodiscard]] AlertType type() const { return m_type; }
    [[nodiscard]] QColor bannerColor() const;

    // Shows the text for the full hide delay: a later alert restarts the delay, so an earlier
    // alert's hide never cuts a later one short.
    void showAlert(const QString &message, AlertType type);
    Q_INVOKABLE void hideAlert();

    [[nodiscard]] std::chrono::milliseconds hideDelay() const;
    // Tests shorten the delay; the product keeps productHideDelay.
    void setHideDelay(std::chrono::milliseconds delay);

signals:
    // Each alert, once its text is set and before a hidden banner is made visible: a banner
    // that shows already hears of each alert that replaces its text.
    void alertShown();
    void messageChanged();
    void isVisibleChanged();
    void typeChanged();

private:
    AlertManager();

    std::optional<QString> m_message;
    bool m_isVisible = false;
    AlertType m_type = AlertType::info;
    QTimer m_hideTimer{this};
};

} // namespace Qolvi_Desktop_Agent
