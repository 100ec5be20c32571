#include "pinnedkeys.h"

#include "verifiedchain.h"

#include <QCryptographicHash>
#include <QSslConfiguration>
#include <memory>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace Qolvi_Desktop_Agent {

namespace {

const QString pinPrefix = QStringLiteral("sha256/");
constexpr qsizetype sha256Bytes = 32;

struct StoreFree {
    void operator()(X509_STORE *store) const { X509_STORE_free(store); }
};

QByteArray keyDigest(X509 *certificate) {
    unsigned char *der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (length <= 0) {
        return {};
    }
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char *>(der), length), QCryptographicHash::Sha256);
    OPENSSL_free(der);
    return digest;
}

} // namespace

PinnedKeys::PinnedKeys(const QStringList &pins, const QList<QSslCertificate> &authorities,
                       SystemStore systemStore)
    : m_authorities(X509_STORE_new())
    , m_systemStore(systemStore) {
    for (const QString &pin : pins) {
        const QByteArray digest = QByteArray::fromBase64(pin.mid(pinPrefix.size()).toLatin1());
        if (pin.startsWith(pinPrefix) && digest.size() == sha256Bytes) {
            m_digests.push_back(digest);
        }
    }
    for (const QSslCertificate &authority : authorities) {
        addAuthority(m_authorities, authority);
    }
    // The store's folder of hashed names, read a root at a time (SSL_CERT_DIR where set).
    if (systemStore == SystemStore::onDemand) {
        if (X509_LOOKUP *folder = X509_STORE_add_lookup(m_authorities, X509_LOOKUP_hash_dir())) {
            X509_LOOKUP_add_dir(folder, nullptr, X509_FILETYPE_DEFAULT);
        }
    }
}

PinnedKeys::~PinnedKeys() {
    X509_STORE_free(m_authorities);
}

bool PinnedKeys::holdPinnedKey(const QList<QSslCertificate> &peerChain) const {
    if (verifiedChainHoldsPin(m_authorities, peerChain)) {
        return true;
    }
    if (m_systemStore != SystemStore::onDemand) {
        return false;
    }
    // A system whose roots come only in one bundle has no folder to look them up in; Qt then
    // reads the bundle whole, and so does this check, for this once.
    const std::unique_ptr<X509_STORE, StoreFree> everyRoot(X509_STORE_new());
    for (const QSslCertificate &root : QSslConfiguration::systemCaCertificates()) {
        addAuthority(everyRoot.get(), root);
    }
    return everyRoot && verifiedChainHoldsPin(everyRoot.get(), peerChain);
}

bool PinnedKeys::verifiedChainHoldsPin(X509_STORE *authorities,
                                       const QList<QSslCertificate> &peerChain) const {
    return verifiedChain(authorities, peerChain, [this](X509 *certificate) {
        return m_digests.contains(keyDigest(certificate));
    });
}

} // namespace Qolvi_Desktop_Agent
