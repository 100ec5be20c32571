#include "alerts/alertmanager.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qolvi_Desktop_Agent;
using namespace std::chrono_literals;

class AlertManagerTest : public QObject {
    Q_OBJECT

private:
    AlertManager &alerts = AlertManager::shared();
    QStringList m_announcements;

    QTimer *hideTimer() const { return alerts.findChild<QTimer *>(); }

private slots:
    void initTestCase() {
        // Before anything touches it: the shared manager starts hidden.
        QVERIFY(!alerts.isVisible());
        QCOMPARE(alerts.message(), std::nullopt);
        QCOMPARE(alerts.type(), AlertType::info);
        QCOMPARE(alerts.hideDelay(), 3000ms);
        QCOMPARE(AlertManager::productHideDelay, 3000ms);
        // The candidate is promised the full delay; a coarse timer may fire up to 5 % early.
        QCOMPARE(hideTimer()->timerType(), Qt::PreciseTimer);

        connect(&alerts, &AlertManager::messageChanged, this,
                [this] { m_announcements << "message"; });
        connect(&alerts, &AlertManager::isVisibleChanged, this,
                [this] { m_announcements << "isVisible"; });
        connect(&alerts, &AlertManager::typeChanged, this, [this] { m_announcements << "type"; });
    }

    void init() {
        alerts.hideAlert();
        alerts.setHideDelay(150ms);
        m_announcements.clear();
    }

    // The hide comes from the timer firing once, never from anything else.
    void showAnnouncesInOrderThenHidesItself() {
        QSignalSpy fired(hideTimer(), &QTimer::timeout);
        alerts.showAlert(QStringLiteral("x"), AlertType::danger);

        QCOMPARE(m_announcements, (QStringList{"message", "isVisible", "type"}));
        QCOMPARE(alerts.message(), std::optional(QStringLiteral("x")));
        QVERIFY(alerts.isVisible());
        QCOMPARE(alerts.type(), AlertType::danger);

        m_announcements.clear();
        QVERIFY(fired.wait(2000));
        QCOMPARE(m_announcements, (QStringList{"isVisible", "message"}));
        QVERIFY(!alerts.isVisible());
        QCOMPARE(alerts.message(), std::nullopt);
        QCOMPARE(alerts.type(), AlertType::danger);
    }

    // A second alert starts the wait again: the first alert's hide never cuts it short.
    void aLaterAlertGetsItsFullTime() {
        alerts.setHideDelay(1000ms);
        QSignalSpy fired(hideTimer(), &QTimer::timeout);
        alerts.showAlert(QStringLiteral("first"), AlertType::danger);
        QTRY_VERIFY(hideTimer()->remainingTime() < 900);
        alerts.showAlert(QStringLiteral("second"), AlertType::warning);
        QVERIFY(hideTimer()->remainingTime() > 900);
        QTRY_VERIFY_WITH_TIMEOUT(!alerts.isVisible(), 5000);
        QCOMPARE(fired.count(), 1);
        QVERIFY(!hideTimer()->isActive());
    }

    void clickHidesAtOnceAndNothingFollows() {
        alerts.showAlert(QStringLiteral("x"), AlertType::danger);
        m_announcements.clear();
        alerts.hideAlert();
        QVERIFY(!alerts.isVisible());
        QCOMPARE(alerts.message(), std::nullopt);
        QCOMPARE(m_announcements, (QStringList{"isVisible", "message"}));
        QVERIFY(!hideTimer()->isActive());
    }
};

QTEST_GUILESS_MAIN(AlertManagerTest)
#include "tst_alertmanager.moc"
