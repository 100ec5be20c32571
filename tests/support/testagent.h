#pragma once

#include "agent/agentconfig.h"
#include "faultserver.h"

#include <QStringList>
#include <chrono>
#include <memory>

namespace Qolvi_Desktop_Agent::testing {

// What an agent under test wrote to its console, the applications it will find running, and
// whether it can see them at all.
struct AgentProbe {
    QStringList lines;
    QStringList runningApplications;
    bool seesUserSession = true;
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
    config.examSiteURL = QStringLiteral("https://exam.example.test");
    config.trust = {
        .systemCaCertificates = false, .extraCaCertificates = trustedTestCa, .pins = testPins()};
    config.limits = limits;
    config.reportInterval = reportInterval;
    config.writeLine = [probe](const QString &line) { probe->lines.push_back(line); };
    config.runningApplicationIds = [probe] { return probe->runningApplications; };
    config.seesUserSession = [probe] { return probe->seesUserSession; };
    return config;
}

} // namespace Qolvi_Desktop_Agent::testing
