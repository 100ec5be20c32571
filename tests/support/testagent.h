#pragma once

#include "agent/agentconfig.h"

#include <QElapsedTimer>
#include <QStringList>
#include <chrono>
#include <memory>

namespace Qolvi_Desktop_Agent::testing {

// What an agent under test wrote to its console, and the applications it will find running.
struct AgentProbe {
    QStringList lines;
    QList<qint64> lineTimes; // when each line was written, on `clock`
    QStringList runningApplications;
    QElapsedTimer clock;

    AgentProbe() { clock.start(); }
};

// A configuration for an agent under test: the given service, the test authority, short
// time limits (the body limit is the product's), and a console and an application list that the
// test reads and sets.
[[nodiscard]] AgentConfig testConfig(
    const QString &baseUrl, const std::shared_ptr<AgentProbe> &probe,
    std::chrono::milliseconds reportInterval = std::chrono::milliseconds(40),
    SessionLimits limits = {std::chrono::milliseconds(5000), std::chrono::milliseconds(5000)});

} // namespace Qolvi_Desktop_Agent::testing
