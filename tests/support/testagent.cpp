#include "testagent.h"

#include "faultserver.h"

namespace Qolvi_Desktop_Agent::testing {

AgentConfig testConfig(const QString &baseUrl, const std::shared_ptr<AgentProbe> &probe,
                       std::chrono::milliseconds reportInterval, SessionLimits limits) {
    AgentConfig config;
    config.baseApiURL = baseUrl;
    config.examSiteURL = QStringLiteral("https://exam.example.test");
    config.extraCaCertificates = trustedTestCa;
    config.limits = limits;
    config.reportInterval = reportInterval;
    config.writeLine = [probe](const QString &line) { probe->lines.push_back(line); };
    config.runningApplicationIds = [probe] { return probe->runningApplications; };
    return config;
}

} // namespace Qolvi_Desktop_Agent::testing
