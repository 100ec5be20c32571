#pragma once

#include "platform/standardoutput.h"
#include "service/servicetrust.h"
#include "service/sessionlimits.h"

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

namespace Qolvi_Desktop_Agent {

using ApplicationIdSource = std::function<QStringList()>;
// Whether the agent can see the applications of the user's session; unset counts as seen.
using SessionVisibilitySource = std::function<bool()>;
// Whether the agent can vouch that its process runs no code of the user's and that nothing
// traces it; unset counts as vouched.
using ProcessIntegritySource = std::function<bool()>;
// Whether the scans so far found that the desktop lists its windows only from the user's next
// login on; unset counts as no.
using NewLoginSource = std::function<bool()>;

// Everything the agent state takes from outside. The defaults are the product's values; tests
// pass shorter intervals, their own certificate authority and their own sources and sinks.
struct AgentConfig {
    static constexpr std::chrono::milliseconds productReportInterval{3000};

    QString baseApiURL;
    QString examSiteURL;
    ServiceTrust trust;
    SessionLimits limits;
    std::chrono::milliseconds reportInterval = productReportInterval;
    LineWriter writeLine = writeStandardOutputLine;
    ApplicationIdSource runningApplicationIds;
    SessionVisibilitySource seesUserSession;
    ProcessIntegritySource vouchesForOwnProcess;
    NewLoginSource windowsNeedNewLogin;

    // The deployment values compiled into this build, the product's limits and intervals, the
    // platform's list of running applications, its view of the session, of its windows and of
    // its own process, and standard output.
    [[nodiscard]] static AgentConfig product();
};

// The certificates of the build's extra certificate authority file; empty when it has none.
[[nodiscard]] QList<QSslCertificate> buildExtraCaCertificates();

} // namespace Qolvi_Desktop_Agent
