#pragma once

#include "agent/agentconfig.h"
#include "agent/contentview.h"
#include "faultserver.h"

#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <chrono>
#include <memory>

namespace Qolvi_Desktop_Agent::testing {

// What an agent under test wrote to its console, the applications it will find running,
// whether it can see them at all, whether it vouches for its own process, and whether its scans
// find that only a new login shows it the windows.
struct AgentProbe {
    QStringList lines;
    QStringList runningApplications;
    bool seesUserSession = true;
    bool vouchesForOwnProcess = true;
    bool windowsNeedNewLogin = false;
};

// A configuration for an agent under test: the given service, trusting the tests' authority
// alone (not the system's) and pinning its key with a backup, the given
// report interval and time limits (the body limit is the product's), and a console and an
// application list that the test reads and sets.
inline AgentConfig testConfig(const QString &baseUrl, const std::shared_ptr<AgentProbe> &probe,
                              std::chrono::milliseconds reportInterval,
                              SessionLimits limits = {std::chrono::seconds(5),
                                                      std::chrono::seconds(5)}) {
    AgentConfig config;
    config.baseApiURL = baseUrl;
    config.examSiteURL = "https://exam.example.test";
    config.trust = {
        .systemCaCertificates = false,
        .extraCaCertificates = trustedTestCa,
        .pins = {QStringLiteral(QOLVI_TEST_PIN_ROOT), QStringLiteral(QOLVI_TEST_PIN_BACKUP)}};
    config.limits = limits;
    config.reportInterval = reportInterval;
    config.writeLine = [probe](const QString &line) { probe->lines.push_back(line); };
    config.runningApplicationIds = [probe] { return probe->runningApplications; };
    config.seesUserSession = [probe] { return probe->seesUserSession; };
    config.vouchesForOwnProcess = [probe] { return probe->vouchesForOwnProcess; };
    config.windowsNeedNewLogin = [probe] { return probe->windowsNeedNewLogin; };
    return config;
}

// Waits, without polling, for the exchange under way to end.
inline void waitUntilIdle(ContentView &view) {
    QSignalSpy loading(&view, &ContentView::isLoadingChanged);
    while (view.isLoading() && loading.wait(10000)) {
    }
    QVERIFY(!view.isLoading());
}

// The key's exchange, or the first report once the key is in; the console lines it gave that
// end an exchange.
inline QString exchange(ContentView &view, AgentProbe &probe, bool report) {
    view.setExamKey("K-1");
    view.submitExamKey();
    waitUntilIdle(view);
    if (report) {
        if (!view.isConnected()) {
            return "not connected by the key";
        }
        probe.lines.clear();
        view.reportTick();
        waitUntilIdle(view);
    }
    return probe.lines.filter(" for ").join('\n');
}

} // namespace Qolvi_Desktop_Agent::testing
