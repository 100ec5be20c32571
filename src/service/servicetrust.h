#pragma once

#include <QList>
#include <QSslCertificate>
#include <QStringList>
#include <functional>

namespace Qolvi_Desktop_Agent {

using CertificateSource = std::function<QList<QSslCertificate>()>;

// Whom the agent trusts to be its service.
struct ServiceTrust {
    // Whether the system's certificate authorities are trusted; a provider with its own PKI
    // trusts its extra ones alone.
    bool systemCaCertificates = true;
    // Read at the first exchange: reading certificates loads the TLS libraries.
    CertificateSource extraCaCertificates;
    // `sha256/<base64>` digests of public keys, one of which the verified chain must hold; none
    // pins nothing.
    QStringList pins;
};

} // namespace Qolvi_Desktop_Agent
