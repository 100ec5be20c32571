// An agent under test and a real HTTPS service on loopback that answers as the test sets it.
#pragma once

#include "staterecorder.h"
#include "testagent.h"

#include <QPointer>

using namespace Qolvi_Desktop_Agent;
using namespace Qolvi_Desktop_Agent::testing;
using namespace std::chrono_literals;

inline const std::string accepted(FaultServer::acceptedBody);
inline std::string refused(const std::string &message) {
    return R"({"validationErrors":[{"key":"accessKey","value":"Unknown"}],"hasError":true,)"
           R"("message":")" +
           message + "\"}";
}

class ScriptedServiceTest : public QObject {
    Q_OBJECT

protected:
    std::shared_ptr<AgentProbe> m_probe;
    std::unique_ptr<FaultServer> m_server;
    std::unique_ptr<ContentView> m_view;
    std::string m_initAnswer;
    std::string m_checkAnswer;
    // While set, requests to that path are held back, to be answered on the connection kept.
    bool m_holdInits = false;
    bool m_holdChecks = false;
    QPointer<RawConnection> m_heldInit;
    QPointer<RawConnection> m_heldCheck;

    void submit(const QString &key) {
        m_view->setExamKey(key);
        m_view->submitExamKey();
        waitUntilIdle(*m_view);
    }

private slots:
    void init() {
        m_probe = std::make_shared<AgentProbe>();
        m_probe->runningApplications = {"org.example.A", "org.example.A", "snap.spotify"};
        m_server = std::make_unique<FaultServer>();
        m_initAnswer = m_checkAnswer = FaultServer::answer(200, accepted);
        m_holdInits = m_holdChecks = false;
        m_server->onRequest([this](const RawRequest &request, int, RawConnection &connection) {
            const bool init = request.path() == "/tr/exam/InitDesktop";
            if (init ? m_holdInits : m_holdChecks) {
                (init ? m_heldInit : m_heldCheck) = &connection;
            } else {
                connection.send(init ? m_initAnswer : m_checkAnswer);
            }
        });
        // The timer only runs where a test starts it.
        m_view = std::make_unique<ContentView>(testConfig(m_server->baseUrl(), m_probe, 30ms));
        AlertManager::shared().hideAlert();
    }

    void cleanup() {
        m_view.reset();
        m_server.reset();
    }
};
