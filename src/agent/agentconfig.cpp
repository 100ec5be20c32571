#include "agentconfig.h"

#include "deploymentvalues.h"
#include "platform/processintegrity.h"
#include "platform/runningapplications.h"
#include "platform/sessionvisibility.h"

#include <QFile>

namespace Qolvi_Desktop_Agent {

AgentConfig AgentConfig::product() {
    AgentConfig config;
    config.baseApiURL = QString::fromUtf8(deployment::serviceBaseUrl);
    config.examSiteURL = QString::fromUtf8(deployment::examSiteUrl);
    config.trust.systemCaCertificates = deployment::trustSystemCaCertificates;
    config.trust.extraCaCertificates = buildExtraCaCertificates;
    config.trust.pins =
        QString::fromLatin1(deployment::servicePins).split(u';', Qt::SkipEmptyParts);
    config.runningApplicationIds = [] { return Qolvi_Desktop_Agent::runningApplicationIds(); };
    config.seesUserSession = [] { return Qolvi_Desktop_Agent::seesUserSession(); };
    config.vouchesForOwnProcess = [] { return Qolvi_Desktop_Agent::vouchesForOwnProcess(); };
    config.windowsNeedNewLogin = [] { return Qolvi_Desktop_Agent::windowsNeedNewLogin(); };
    return config;
}

QList<QSslCertificate> buildExtraCaCertificates() {
    QFile file(QString::fromLatin1(deployment::extraCaResource));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QSslCertificate::fromData(file.readAll(), QSsl::Pem);
}

} // namespace Qolvi_Desktop_Agent
