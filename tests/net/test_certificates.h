#pragma once
// Certificates made at test time with OpenSSL: a CA of the tests' own and
// server certificates, good and bad ones. Once the CA exists, SSL_CERT_FILE
// names it and SSL_CERT_DIR a folder without any other, so the clients of
// the process trust it and nothing else, whatever the machine's store holds.

#include <openssl/evp.h>
#include <openssl/x509.h>

namespace tessellon::test {

enum class TCertificateKind {
    // Issued by the test CA for "localhost" and 127.0.0.1.
    Valid,
    // The same names, signed by its own key.
    SelfSigned,
    // Issued by the test CA for another name only.
    OtherHost,
    // Issued by the test CA for the right names, expired yesterday.
    Expired,
};

struct TServerIdentity {
    X509* Certificate;
    EVP_PKEY* Key;
};

// Made on the first call, for the rest of the process.
TServerIdentity ServerIdentity(TCertificateKind kind);

}  // namespace tessellon::test
