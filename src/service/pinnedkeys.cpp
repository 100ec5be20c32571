#include "pinnedkeys.h"

#include <QCryptographicHash>
#include <QSslConfiguration>
#include <memory>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace Qolvi_Desktop_Agent {

namespace {

const QString pinPrefix = QStringLiteral("sha256/");
constexpr qsizetype sha256Bytes = 32;

struct X509Free {
    void operator()(X509 *certificate) const { X509_free(certificate); }
};
using X509Pointer = std::unique_ptr<X509, X509Free>;

struct X509StackFree {
    void operator()(STACK_OF(X509) * certificates) const {
        sk_X509_pop_free(certificates, X509_free);
    }
};

struct StoreFree {
    void operator()(X509_STORE *store) const { X509_STORE_free(store); }
};

struct StoreContextFree {
    void operator()(X509_STORE_CTX *context) const { X509_STORE_CTX_free(context); }
};

X509Pointer parsed(const QSslCertificate &certificate) {
    const QByteArray der = certificate.toDer();
    const auto *bytes = reinterpret_cast<const unsigned char *>(der.constData());
    return X509Pointer(d2i_X509(nullptr, &bytes, long(der.size())));
}

void addTo(X509_STORE *store, const QSslCertificate &authority) {
    // Qt's OpenSSL backend hands out its own certificate, which the store shares rather than
    // holding a second copy of every root.
    if (auto *shared = static_cast<X509 *>(authority.handle())) {
        X509_STORE_add_cert(store, shared);
    } else if (const X509Pointer certificate = parsed(authority)) {
        X509_STORE_add_cert(store, certificate.get());
    }
}

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
        addTo(m_authorities, authority);
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
        addTo(everyRoot.get(), root);
    }
    return everyRoot && verifiedChainHoldsPin(everyRoot.get(), peerChain);
}

bool PinnedKeys::verifiedChainHoldsPin(X509_STORE *authorities,
                                       const QList<QSslCertificate> &peerChain) const {
    if (peerChain.isEmpty()) {
        return false;
    }
    const X509Pointer peer = parsed(peerChain.front());
    const std::unique_ptr<STACK_OF(X509), X509StackFree> sent(sk_X509_new_null());
    for (const QSslCertificate &certificate : peerChain.mid(1)) {
        if (X509Pointer other = parsed(certificate);
            other && sk_X509_push(sent.get(), other.get())) {
            static_cast<void>(other.release());
        }
    }
    const std::unique_ptr<X509_STORE_CTX, StoreContextFree> context(X509_STORE_CTX_new());
    if (!peer || !sent || !context ||
        X509_STORE_CTX_init(context.get(), authorities, peer.get(), sent.get()) != 1 ||
        X509_verify_cert(context.get()) != 1) {
        return false;
    }
    const STACK_OF(X509) *verified = X509_STORE_CTX_get0_chain(context.get());
    for (int index = 0; index < sk_X509_num(verified); ++index) {
        if (m_digests.contains(keyDigest(sk_X509_value(verified, index)))) {
            return true;
        }
    }
    return false;
}

} // namespace Qolvi_Desktop_Agent
