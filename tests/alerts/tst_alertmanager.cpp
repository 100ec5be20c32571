#include "alerts/alertmanager.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qolvi_Desktop_Agent;
using namespace std::chrono_literals;

class AlertManagerTest : public QObject {
    Q_OBJECT

    AlertManager &alerts = AlertManager::shared();
    QStringList m_announcements;

    QTimer *hideTimer() const { return alerts.findChild<QTimer *>(); }

private slots:
    void initTestCase() {
        for (const auto &[signal, name] : {std::pair{&AlertManager::messageChanged, "message"},
                                           {&AlertManager::isVisibleChanged, "isVisible"},
                                           {&AlertManager::typeChanged, "type"}}) {
            connect(&alerts, signal, this, [this, name] { m_announcements << name; });
        }
    }

    void init() {
        alerts.hideAlert();
        alerts.setHideDelay(150ms);
        m_announcements.clear();
    }

    // The hide comes from the timer firing once or from a click, never from anything else;
    // the banner keeps its type while it goes.
    void showAnnouncesInOrderThenHidesItself() {
        QSignalSpy fired(hideTimer(), &QTimer::timeout);
        alerts.showAlert("x", AlertType::danger);
        QCOMPARE(m_announcements, (QStringList{"message", "isVisible", "type"}));
        QCOMPARE(alerts.message(), std::optional(QStringLiteral("x")));
        QVERIFY(fired.wait(2000));
        QCOMPARE(m_announcements,
                 (QStringList{"message", "isVisible", "type", "isVisible", "message"}));
        QCOMPARE(alerts.message(), std::nullopt);
        QCOMPARE(alerts.type(), AlertType::danger);

        // A click hides it at once, and the timer does not fire for it later.
        alerts.showAlert("y", AlertType::info);
        alerts.hideAlert();
        QVERIFY(!hideTimer()->isActive());
        QCOMPARE(m_announcements.mid(5),
                 (QStringList{"message", "isVisible", "type", "isVisible", "message"}));
    }

    // A second alert starts the wait again: the first alert's hide never cuts it short.
    void aLaterAlertGetsItsFullTime() {
        alerts.setHideDelay(1000ms);
        QSignalSpy fired(hideTimer(), &QTimer::timeout);
        alerts.showAlert("first", AlertType::danger);
        QTRY_VERIFY(hideTimer()->remainingTime() < 900);
        alerts.showAlert("second", AlertType::warning);
        QVERIFY(hideTimer()->remainingTime() > 900);
        QTRY_VERIFY_WITH_TIMEOUT(!alerts.isVisible(), 5000);
        QCOMPARE(fired.count(), 1);
    }
};

QTEST_GUILESS_MAIN(AlertManagerTest)
#include "tst_alertmanager.moc"
