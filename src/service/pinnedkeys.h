#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QStringList>

using X509_STORE = struct x509_store_st;

namespace Qolvi_Desktop_Agent {

// The public keys a build pins for its service. A peer passes when the chain that OpenSSL
// verifies from its certificate to one of the trusted authorities holds a certificate whose key
// is pinned: its own, an intermediate's or the root's. The chain is verified here again because
// the TLS handshake tells only what the peer sent, and a peer may send any certificate at all
// beside the ones its chain is made of.
class PinnedKeys {
public:
    // Whether the system's roots are trusted beside `authorities`, found in its store as a chain
    // needs them, as Qt finds them when it is given no list.
    enum class SystemStore { notTrusted, onDemand };

    // `pins` are `sha256/<base64>` digests of SubjectPublicKeyInfo; one that is not never matches.
    PinnedKeys(const QStringList &pins, const QList<QSslCertificate> &authorities,
               SystemStore systemStore = SystemStore::notTrusted);
    ~PinnedKeys();
    PinnedKeys(const PinnedKeys &) = delete;
    PinnedKeys &operator=(const PinnedKeys &) = delete;

    // `peerChain` is the peer's certificate first, then the others it sent.
    [[nodiscard]] bool holdPinnedKey(const QList<QSslCertificate> &peerChain) const;

private:
    [[nodiscard]] bool verifiedChainHoldsPin(X509_STORE *authorities,
                                             const QList<QSslCertificate> &peerChain) const;

    QList<QByteArray> m_digests;
    X509_STORE *m_authorities;
    SystemStore m_systemStore;
};

} // namespace Qolvi_Desktop_Agent
