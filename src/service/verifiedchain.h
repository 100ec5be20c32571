#pragma once

#include <QList>
#include <QSslCertificate>
#include <functional>

using X509 = struct x509_st;
using X509_STORE = struct x509_store_st;

namespace Qolvi_Desktop_Agent {

// Adds an authority to an OpenSSL store.
void addAuthority(X509_STORE *store, const QSslCertificate &authority);

// Whether OpenSSL's verifier builds a chain from a peer's certificate (the first of
// `peerChain`, then the others it sent) to one of `authorities`, and, given `holds`, one
// certificate of that verified chain passes it. The TLS handshake tells only what the peer
// sent, and a peer may send any certificate at all beside the ones its chain is made of.
[[nodiscard]] bool verifiedChain(X509_STORE *authorities, const QList<QSslCertificate> &peerChain,
                                 const std::function<bool(X509 *)> &holds = {});

} // namespace Qolvi_Desktop_Agent
