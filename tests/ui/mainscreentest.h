// The window as the candidate sees it, over an agent whose key's answer the test can hold back.
#pragma once

#include "platform/systemappearance.h"
#include "testagent.h"
#include "ui/pngimages.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickView>
#include <QTranslator>
#include <QtQml/QQmlExtensionPlugin>

Q_IMPORT_QML_PLUGIN(QolviPlugin)

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

inline const std::string accepted = FaultServer::answer(200, FaultServer::acceptedBody);

class MainScreenTest : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<FaultServer> m_server;
    std::shared_ptr<AgentProbe> m_probe;
    std::unique_ptr<ContentView> m_agent;
    std::unique_ptr<QQuickView> m_view;
    bool m_holdSubmissions = false;
    QPointer<RawConnection> m_heldSubmission;
    std::unique_ptr<QTranslator> m_translation;
    QList<QUrl> m_opened;

    QQuickItem *item(const char *name) const {
        return m_view->rootObject()->findChild<QQuickItem *>(QString::fromLatin1(name));
    }
    QString text(const char *name) const { return item(name)->property("text").toString(); }
    QImage grab() { return m_view->grabWindow(); }
    static QColor pixelAt(const QImage &image, QPointF point) {
        return image.pixelColor(int(point.x() * image.devicePixelRatio()),
                                int(point.y() * image.devicePixelRatio()));
    }
    // Away from the caption, near the plate's left edge.
    static QPointF insidePlate(QQuickItem *target) {
        return target->mapToScene(QPointF(5, target->height() / 2));
    }
    static QPoint centreOf(QQuickItem *target) {
        return target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint();
    }
    // From key entry to "banner", "loading" (the key's answer held back) or "connected";
    // "key entry" stays where it is.
    void enter(const QString &state) {
        AlertManager::shared().hideAlert();
        if (state == "key entry") {
            return;
        }
        if (state == "banner") {
            m_agent->setExamKey(QString());
            m_agent->submitExamKey();
            QTRY_VERIFY(item("bannerText") != nullptr);
            return;
        }
        if (m_heldSubmission) {
            m_heldSubmission->send(accepted);
        } else {
            m_holdSubmissions = state == "loading";
            m_agent->setExamKey("K-1");
            m_agent->submitExamKey();
        }
        QTRY_VERIFY(state == "loading" ? m_heldSubmission && item("busyIndicator")
                                       : m_agent->isConnected() && !m_agent->isLoading());
    }

    QAccessibleInterface *accessible(const char *name) const {
        return QAccessible::queryAccessibleInterface(item(name));
    }
    // What assistive technology does when it presses a control.
    void press(const char *name) {
        QAccessibleActionInterface *actions = accessible(name)->actionInterface();
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        actions->doAction(QAccessibleActionInterface::pressAction());
    }

public slots:
    void open(const QUrl &url) { m_opened.append(url); }

private slots:
    void initTestCase() {
        QQuickStyle::setStyle("Basic");
        QDesktopServices::setUrlHandler("https", this, "open");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("https"); }

    void init() {
        SystemAppearance::shared().setColorScheme(ColorScheme::light);
        AlertManager::shared().hideAlert();
        AlertManager::shared().setHideDelay(AlertManager::productHideDelay);
        m_server = std::make_unique<FaultServer>();
        m_holdSubmissions = false;
        m_opened.clear();
        m_server->onRequest([this](const RawRequest &request, int, RawConnection &connection) {
            if (m_holdSubmissions && request.path() == "/tr/exam/InitDesktop") {
                m_heldSubmission = &connection;
            } else {
                connection.send(accepted);
            }
        });
        // Reports are driven by hand, so nothing changes under the checks.
        m_probe = std::make_shared<AgentProbe>();
        m_agent = std::make_unique<ContentView>(testConfig(m_server->baseUrl(), m_probe, 1h));
        m_view = std::make_unique<QQuickView>();
        m_view->engine()->addImageProvider(QString::fromLatin1(PngImageProvider::id),
                                           new PngImageProvider);
        m_view->setInitialProperties({{"agent", QVariant::fromValue(m_agent.get())}});
        m_view->setResizeMode(QQuickView::SizeRootObjectToView);
        m_view->setSource(QUrl("qrc:/Qolvi/MainScreen.qml"));
        QVERIFY2(m_view->status() == QQuickView::Ready,
                 qPrintable(QDebug::toString(m_view->errors())));
        m_view->resize(640, 520);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void cleanup() {
        if (m_translation) {
            QCoreApplication::removeTranslator(m_translation.get());
            m_translation.reset();
        }
        m_view.reset();
        m_agent.reset();
        m_server.reset();
    }
};
