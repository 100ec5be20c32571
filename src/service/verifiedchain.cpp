#include "verifiedchain.h"

#include <memory>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace Qolvi_Desktop_Agent {

namespace {

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

} // namespace

void addAuthority(X509_STORE *store, const QSslCertificate &authority) {
    // Qt's OpenSSL backend hands out its own certificate, which the store shares rather than
    // holding a second copy of every root.
    if (auto *shared = static_cast<X509 *>(authority.handle())) {
        X509_STORE_add_cert(store, shared);
    } else if (const X509Pointer certificate = parsed(authority)) {
        X509_STORE_add_cert(store, certificate.get());
    }
}

bool verifiedChain(X509_STORE *authorities, const QList<QSslCertificate> &peerChain,
                   const std::function<bool(X509 *)> &holds) {
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
    if (!holds) {
        return true;
    }
    const STACK_OF(X509) *verified = X509_STORE_CTX_get0_chain(context.get());
    for (int index = 0; index < sk_X509_num(verified); ++index) {
        if (holds(sk_X509_value(verified, index))) {
            return true;
        }
    }
    return false;
}

} // namespace Qolvi_Desktop_Agent
