#include "alerts/alertmanager.h"
#include "ui/themepalette.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace Qolvi_Desktop_Agent;
using namespace std::chrono_literals;

class AlertManagerTest : public QObject {
    Q_OBJECT

private:
    AlertManager &alerts = AlertManager::shared();
    QStringList m_announcements;

private slots:
    void initTestCase() {
        // Before anything touches it: the shared manager starts hidden.
        QVERIFY(!alerts.isVisible());
        QCOMPARE(alerts.message(), std::nullopt);
        QCOMPARE(alerts.type(), AlertType::info);
        QCOMPARE(alerts.hideDelay(), 3000ms);
        QCOMPARE(AlertManager::productHideDelay, 3000ms);

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

    void showAnnouncesInOrderThenHidesItself() {
        QSignalSpy hidden(&alerts, &AlertManager::isVisibleChanged);
        QElapsedTimer clock;
        clock.start();
        alerts.showAlert(QStringLiteral("x"), AlertType::danger);

        QCOMPARE(m_announcements, (QStringList{"message", "isVisible", "type"}));
        QCOMPARE(alerts.message(), std::optional(QStringLiteral("x")));
        QVERIFY(alerts.isVisible());
        QCOMPARE(alerts.type(), AlertType::danger);

        m_announcements.clear();
        QVERIFY(hidden.wait(2000));
        QVERIFY(clock.elapsed() >= 150);
        QCOMPARE(m_announcements, (QStringList{"isVisible", "message"}));
        QVERIFY(!alerts.isVisible());
        QCOMPARE(alerts.message(), std::nullopt);
        QCOMPARE(alerts.type(), AlertType::danger);
    }

    void aLaterAlertGetsItsFullTime() {
        // A delay ten times the pause, so a loaded machine cannot let the first hide come first.
        alerts.setHideDelay(1000ms);
        alerts.showAlert(QStringLiteral("first"), AlertType::danger);
        QTest::qWait(100);
        QElapsedTimer sinceSecond;
        sinceSecond.start();
        alerts.showAlert(QStringLiteral("second"), AlertType::warning);

        // The first alert's hide would have come 900 ms from now; the second stays its full time.
        QTRY_VERIFY_WITH_TIMEOUT(!alerts.isVisible(), 5000);
        QVERIFY2(sinceSecond.elapsed() >= 1000, qPrintable(QString::number(sinceSecond.elapsed())));

        // And no stray hide follows later.
        m_announcements.clear();
        QTest::qWait(400);
        QVERIFY(m_announcements.isEmpty());
    }

    void clickHidesAtOnceAndNothingFollows() {
        alerts.showAlert(QStringLiteral("x"), AlertType::danger);
        m_announcements.clear();
        alerts.hideAlert();
        QVERIFY(!alerts.isVisible());
        QCOMPARE(alerts.message(), std::nullopt);
        QCOMPARE(m_announcements, (QStringList{"isVisible", "message"}));

        m_announcements.clear();
        QTest::qWait(300);
        QVERIFY(m_announcements.isEmpty());
    }

    void bannerColorFollowsTheType() {
        const ThemePalette &palette = ThemePalette::colors();
        const std::pair<AlertType, QColor> table[] = {
            {AlertType::info, palette.sky()},    {AlertType::warning, palette.salmon()},
            {AlertType::danger, palette.rose()}, {AlertType::success, palette.mint()},
            {AlertType::def, palette.crimson()},
        };
        for (const auto &[type, color] : table) {
            alerts.showAlert(QStringLiteral("x"), type);
            QCOMPARE(alerts.bannerColor(), color);
        }
        QCOMPARE(alerts.bannerColor(), QColor(166, 42, 76));
    }
};

QTEST_GUILESS_MAIN(AlertManagerTest)
#include "tst_alertmanager.moc"
