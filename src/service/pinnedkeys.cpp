#include "pinnedkeys.h"

#include <QCryptographicHash>
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

struct StoreContextFree {
    void operator()(X509_STORE_CTX *context) const { X509_STORE_CTX_free(context); }
};

X509Pointer parsed(const QSslCertificate &certificate) {
    const QByteArray der = certificate.toDer();
    const auto *bytes = reinterpret_cast<const unsigned char *>(der.constData());
    return X509Pointer(d2i_X509(nullptr, &bytes, long(der.size())));
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

PinnedKeys::PinnedKeys(const QStringList &pins, const QList<QSslCertificate> &authorities)
    : m_authorities(X509_STORE_new()) {
    for (const QString &pin : pins) {
        const QByteArray digest = QByteArray::fromBase64(pin.mid(pinPrefix.size()).toLatin1());
        if (pin.startsWith(pinPrefix) && digest.size() == sha256Bytes) {
            m_digests.push_back(digest);
        }
    }
    for (const QSslCertificate &authority : authorities) {
        if (const X509Pointer certificate = parsed(authority)) {
            X509_STORE_add_cert(m_authorities, certificate.get());
        }
    }
}

PinnedKeys::~PinnedKeys() {
    X509_STORE_free(m_authorities);
}

bool PinnedKeys::holdPinnedKey(const QList<QSslCertificate> &peerChain) const {
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
        X509_STORE_CTX_init(context.get(), m_authorities, peer.get(), sent.get()) != 1 ||
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
