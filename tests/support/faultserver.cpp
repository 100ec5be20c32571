#include "faultserver.h"

#include <QtGlobal>
#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Qolvi_Desktop_Agent::testing {

namespace {

constexpr long day = 24 * 60 * 60;

std::string certsFile(const char *name) {
    return std::string(QOLVI_TEST_CERTS_DIR) + "/trusted/" + name;
}

template <typename Object>
Object *readPem(const std::string &path,
                Object *(*read)(FILE *, Object **, pem_password_cb *, void *)) {
    FILE *file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        qFatal("Cannot open %s", path.c_str());
    }
    Object *object = read(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    if (object == nullptr) {
        qFatal("Cannot read %s", path.c_str());
    }
    return object;
}

// A certificate for `key`, signed by the issuer (or by itself), for the given name and days
// from now.
X509 *makeCertificate(EVP_PKEY *key, X509 *issuer, EVP_PKEY *issuerKey, const char *altName,
                      long fromDays, long toDays) {
    static long serial = 1000;
    X509 *certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate), fromDays * day);
    X509_gmtime_adj(X509_getm_notAfter(certificate), toDays * day);
    X509_set_pubkey(certificate, key);
    X509_NAME *name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>("qolvi-fault-server"), -1,
                               -1, 0);
    X509_set_issuer_name(certificate, issuer != nullptr ? X509_get_subject_name(issuer) : name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer != nullptr ? issuer : certificate, certificate, nullptr,
                   nullptr, 0);
    X509_EXTENSION *extension =
        X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, altName);
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
    X509_sign(certificate, issuerKey, EVP_sha256());
    return certificate;
}

SSL_CTX *makeContext(Presented presented) {
    SSL_CTX *context = SSL_CTX_new(TLS_server_method());
    EVP_PKEY *key = readPem<EVP_PKEY>(certsFile("server.key"), PEM_read_PrivateKey);
    X509 *certificate = nullptr;
    if (presented == Presented::trusted) {
        certificate = readPem<X509>(certsFile("server.pem"), PEM_read_X509);
    } else if (presented == Presented::selfSigned) {
        certificate = makeCertificate(key, nullptr, key, "IP:127.0.0.1", -1, 30);
    } else {
        X509 *ca = readPem<X509>(certsFile("ca.pem"), PEM_read_X509);
        EVP_PKEY *caKey = readPem<EVP_PKEY>(certsFile("ca.key"), PEM_read_PrivateKey);
        certificate = presented == Presented::otherHost
                          ? makeCertificate(key, ca, caKey, "DNS:other.invalid", -1, 30)
                          : makeCertificate(key, ca, caKey, "IP:127.0.0.1", -30, -1);
        X509_free(ca);
        EVP_PKEY_free(caKey);
    }
    SSL_CTX_use_certificate(context, certificate);
    SSL_CTX_use_PrivateKey(context, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return context;
}

// Reads one request: its head up to the blank line and a body of its Content-Length.
bool readRequest(SSL *ssl, std::string &buffer, RawRequest &request) {
    std::array<char, 4096> chunk{};
    const auto readMore = [&] {
        const int read = SSL_read(ssl, chunk.data(), int(chunk.size()));
        if (read <= 0) {
            return false;
        }
        buffer.append(chunk.data(), std::size_t(read));
        return true;
    };
    std::size_t headEnd = 0;
    while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!readMore()) {
            return false;
        }
    }
    request.head = buffer.substr(0, headEnd);
    request.requestLine = request.head.substr(0, request.head.find("\r\n"));
    std::string lowerHead = request.head;
    std::transform(lowerHead.begin(), lowerHead.end(), lowerHead.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    std::size_t length = 0;
    if (const auto at = lowerHead.find("\r\ncontent-length:"); at != std::string::npos) {
        length = std::stoul(lowerHead.substr(at + 17));
    }
    while (buffer.size() < headEnd + 4 + length) {
        if (!readMore()) {
            return false;
        }
    }
    request.body = buffer.substr(headEnd + 4, length);
    buffer.erase(0, headEnd + 4 + length);
    return true;
}

} // namespace

QList<QSslCertificate> trustedTestCa() {
    return QSslCertificate::fromPath(QString::fromStdString(certsFile("ca.pem")));
}

std::string RawRequest::path() const {
    const std::size_t start = requestLine.find(' ') + 1;
    return requestLine.substr(start, requestLine.find(' ', start) - start);
}

std::vector<std::string> RawRequest::header(std::string_view name) const {
    std::vector<std::string> values;
    for (std::size_t line = head.find("\r\n"); line != std::string::npos;
         line = head.find("\r\n", line + 2)) {
        const std::size_t colon = head.find(':', line);
        if (colon == std::string::npos) {
            break;
        }
        const std::string_view field(head.data() + line + 2, colon - line - 2);
        if (std::equal(field.begin(), field.end(), name.begin(), name.end(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            const std::size_t end = std::min(head.find("\r\n", colon), head.size());
            values.push_back(head.substr(colon + 2, end - colon - 2));
        }
    }
    return values;
}

RawConnection::RawConnection(SSL *ssl, int socket)
    : m_ssl(ssl)
    , m_socket(socket) {}

void RawConnection::send(std::string_view bytes) {
    if (m_open && !bytes.empty() && SSL_write(m_ssl, bytes.data(), int(bytes.size())) <= 0) {
        m_open = false; // the client is gone
    }
}

void RawConnection::drip(std::string_view bytes, std::size_t chunk,
                         std::chrono::milliseconds pause) {
    for (std::size_t at = 0; at < bytes.size() && m_open; at += chunk) {
        send(bytes.substr(at, chunk));
        std::this_thread::sleep_for(pause);
    }
}

void RawConnection::close() {
    if (m_open) {
        SSL_shutdown(m_ssl);
        ::shutdown(m_socket, SHUT_WR);
        m_open = false;
    }
}

void RawConnection::reset() {
    if (m_open) {
        const linger abortive{1, 0};
        ::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        m_open = false;
    }
}

FaultServer::FaultServer(Presented certificate)
    : m_context(makeContext(certificate), SSL_CTX_free) {
    // Writing to a client that has gone must fail the write, not end the test.
    std::signal(SIGPIPE, SIG_IGN);
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        qFatal("The fault server cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

FaultServer::~FaultServer() {
    m_stopping = true;
    m_acceptor.join();
    {
        const std::lock_guard lock(m_mutex);
        for (const int socket : m_sockets) {
            ::shutdown(socket, SHUT_RDWR);
        }
    }
    for (std::thread &thread : m_threads) {
        thread.join();
    }
    ::close(m_listener);
}

void FaultServer::onRequest(Script script) {
    const std::lock_guard lock(m_mutex);
    m_script = std::move(script);
}

void FaultServer::answerEvery(int status, std::string body) {
    onRequest([bytes = answer(status, body)](const RawRequest &, int, RawConnection &connection) {
        connection.send(bytes);
    });
}

QString FaultServer::baseUrl() const {
    return QStringLiteral("https://127.0.0.1:%1/tr/").arg(m_port);
}

std::vector<RawRequest> FaultServer::requests() const {
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

int FaultServer::requestCount() const {
    const std::lock_guard lock(m_mutex);
    return int(m_requests.size());
}

std::string FaultServer::answer(int status, std::string_view body, std::string_view extraHeaders) {
    return "HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Type: application/json\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\n" + std::string(extraHeaders) +
           "\r\n" + std::string(body);
}

void FaultServer::acceptLoop() {
    while (!m_stopping) {
        pollfd listening{m_listener, POLLIN, 0};
        if (::poll(&listening, 1, 20) <= 0) {
            continue;
        }
        const int socket = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            continue;
        }
        // Headers and body leave in one segment each write; no wait on the client's ACK.
        const int noDelay = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        ++m_connections;
        const std::lock_guard lock(m_mutex);
        m_sockets.push_back(socket);
        m_threads.emplace_back([this, socket] { serve(socket); });
    }
}

void FaultServer::serve(int socket) {
    SSL *ssl = SSL_new(m_context.get());
    SSL_set_fd(ssl, socket);
    if (SSL_accept(ssl) == 1) {
        RawConnection connection(ssl, socket);
        std::string buffer;
        RawRequest request;
        while (connection.isOpen() && readRequest(ssl, buffer, request)) {
            Script script;
            int index = 0;
            {
                const std::lock_guard lock(m_mutex);
                index = int(m_requests.size());
                m_requests.push_back(request);
                script = m_script;
            }
            if (script) {
                script(request, index, connection);
            } else {
                connection.send(answer(500, {}));
            }
        }
    }
    {
        const std::lock_guard lock(m_mutex);
        m_sockets.erase(std::find(m_sockets.begin(), m_sockets.end(), socket));
    }
    SSL_free(ssl);
    ::close(socket);
}

} // namespace Qolvi_Desktop_Agent::testing
