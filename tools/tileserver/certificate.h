#pragma once
// Certificates and TLS server contexts for the test server (and the tests):
// keys and X.509 certificates made with OpenSSL, self-signed or issued by
// another, for the names given.

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace tessellon::tileserver {

struct FreeKey {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct FreeCertificate {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct FreeContext {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, FreeKey>;
using CertificatePtr = std::unique_ptr<X509, FreeCertificate>;
using ContextPtr = std::unique_ptr<SSL_CTX, FreeContext>;

struct CertificateRequest {
    std::string commonName;
    // Subject alternative names as OpenSSL's configuration writes them
    // ("DNS:localhost,IP:127.0.0.1"); none when empty.
    std::string altNames;
    // May issue certificates.
    bool authority = false;
    // Validity, in days from now (negative: in the past).
    long notBeforeDays = -1;
    long notAfterDays = 365;
};

// A new P-256 key. Throws std::runtime_error, as every function here.
KeyPtr NewKey();
// Signed by `issuerKey` in the name of `issuer`, or by `key` itself when
// `issuer` is null.
CertificatePtr MakeCertificate(const CertificateRequest& request, EVP_PKEY* key,
                               X509* issuer = nullptr, EVP_PKEY* issuerKey = nullptr);
// A server context of TLS 1.2 or newer that presents `certificate`.
ContextPtr ServerContext(X509* certificate, EVP_PKEY* key);
// The same with a certificate and key read from PEM files.
ContextPtr ServerContext(const std::string& certificateFile, const std::string& keyFile);

}  // namespace tessellon::tileserver
