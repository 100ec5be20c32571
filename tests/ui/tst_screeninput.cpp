// The key as typed, composed or set by assistive technology, and what its Press action does.
#include "mainscreentest.h"

#include <QInputMethodEvent>

class ScreenInputTest : public MainScreenTest {
    Q_OBJECT
private slots:
    void keyRoutes_data() {
        QTest::addColumn<QString>("route");
        for (const char *route :
             {"typed", "input method", "assistive technology", "typed, then cleared"}) {
            QTest::newRow(route) << route;
        }
    }

    // However the text reached the field, the key button's Press action, as assistive
    // technology sends it, sends the text the field shows, and only that.
    void keyRoutes() {
        QFETCH(QString, route);
        const QString key = route.endsWith("cleared") ? "" : "QK-7 a";
        QQuickItem *field = item("keyField");
        QTest::mouseClick(m_view.get(), Qt::LeftButton, {}, centreOf(field));
        if (route == "input method") {
            QInputMethodEvent composing(key.left(3), {});
            QCoreApplication::sendEvent(field, &composing);
            QInputMethodEvent committed;
            committed.setCommitString(key);
            QCoreApplication::sendEvent(field, &committed);
        } else if (route == "assistive technology") {
            QAccessible::queryAccessibleInterface(field)->setText(QAccessible::Value, key);
        } else {
            for (const char typed : std::string_view("QK-7 a")) {
                QTest::keyClick(m_view.get(), typed);
            }
            if (key.isEmpty()) {
                QVERIFY(QMetaObject::invokeMethod(field, "clear"));
            }
        }
        QCOMPARE(text("keyField"), key);
        press("keyButton");
        if (key.isEmpty()) {
            QTRY_COMPARE(AlertManager::shared().messageText(), "Please enter the exam key.");
            QCOMPARE(m_server->requestCount(), 0);
        } else {
            QTRY_VERIFY(m_agent->isConnected());
            QCOMPARE(m_server->requestCount(), 1);
            QCOMPARE(m_server->requests().at(0).body,
                     R"({"accessKey":")" + key.toStdString() + R"(","processNames":[]})");
        }
    }

    void pressAction_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QByteArray>("control");
        QTest::newRow("key button, key on its way") << "loading" << QByteArray("keyButton");
        QTest::newRow("begin button") << "connected" << QByteArray("beginButton");
        QTest::newRow("hidden begin button") << "key entry" << QByteArray("beginButton");
        QTest::newRow("banner") << "banner" << QByteArray("bannerPlate");
    }

    // Press does what a click does, and only where a click could: the begin button opens the
    // exam site, the banner hides, and nothing else happens.
    void pressAction() {
        QFETCH(QString, state);
        QFETCH(QByteArray, control);
        enter(state);
        const int requests = m_server->requestCount();
        press(control.constData());
        QCOMPARE(m_opened, state == "connected" ? QList<QUrl>{QUrl("https://exam.example.test")}
                                                : QList<QUrl>{});
        QTRY_COMPARE(item("bannerPlate"), nullptr);
        // A second submission would be held, and keep the agent loading.
        if (state == "loading") {
            m_heldSubmission->send(accepted);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!m_agent->isLoading(), 10000);
        QCOMPARE(m_server->requestCount(), requests);
    }
};

QTEST_MAIN(ScreenInputTest)
#include "tst_screeninput.moc"
