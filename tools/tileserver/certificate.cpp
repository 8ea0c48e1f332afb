#include "certificate.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <stdexcept>

namespace tessellon::tileserver {

namespace {

constexpr long kDay = 24 * 60 * 60;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        const unsigned long code = ERR_get_error();
        ERR_clear_error();
        const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
        throw std::runtime_error(what + (reason != nullptr ? std::string(": ") + reason : ""));
    }
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    Check(extension != nullptr && X509_add_ext(certificate, extension, -1) == 1,
          "certificate extension " + value);
    X509_EXTENSION_free(extension);
}

// A server context of TLS 1.2 or newer, still without its certificate.
ContextPtr NewServerContext() {
    ContextPtr context(SSL_CTX_new(TLS_server_method()));
    Check(context != nullptr, "TLS context");
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    static const unsigned char kSessionContext[] = "tessellon-tileserver";
    SSL_CTX_set_session_id_context(context.get(), kSessionContext, sizeof kSessionContext - 1);
    return context;
}

}  // namespace

KeyPtr NewKey() {
    KeyPtr key(EVP_EC_gen("P-256"));
    Check(key != nullptr, "key generation");
    return key;
}

CertificatePtr MakeCertificate(const CertificateRequest& request, EVP_PKEY* key, X509* issuer,
                               EVP_PKEY* issuerKey) {
    static std::atomic<long> serial{1};
    CertificatePtr certificate(X509_new());
    X509* made = certificate.get();
    Check(made != nullptr && X509_set_version(made, 2) == 1, "certificate");
    ASN1_INTEGER_set(X509_get_serialNumber(made), serial++);
    X509_gmtime_adj(X509_getm_notBefore(made), request.notBeforeDays * kDay);
    X509_gmtime_adj(X509_getm_notAfter(made), request.notAfterDays * kDay);
    Check(X509_set_pubkey(made, key) == 1, "certificate key");
    X509_NAME* subject = X509_get_subject_name(made);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(request.commonName.c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(made, issuer != nullptr ? X509_get_subject_name(issuer) : subject);
    X509* signer = issuer != nullptr ? issuer : made;
    AddExtension(made, signer, NID_basic_constraints,
                 request.authority ? "critical,CA:TRUE" : "critical,CA:FALSE");
    if (request.authority) {
        AddExtension(made, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    if (!request.altNames.empty()) {
        AddExtension(made, signer, NID_subject_alt_name, request.altNames);
    }
    Check(X509_sign(made, issuer != nullptr ? issuerKey : key, EVP_sha256()) > 0,
          "certificate signature");
    return certificate;
}

ContextPtr ServerContext(X509* certificate, EVP_PKEY* key) {
    ContextPtr context = NewServerContext();
    Check(SSL_CTX_use_certificate(context.get(), certificate) == 1 &&
              SSL_CTX_use_PrivateKey(context.get(), key) == 1,
          "TLS certificate");
    return context;
}

ContextPtr ServerContext(const std::string& certificateFile, const std::string& keyFile) {
    ContextPtr context = NewServerContext();
    Check(SSL_CTX_use_certificate_chain_file(context.get(), certificateFile.c_str()) == 1,
          "cannot use certificate file \"" + certificateFile + "\"");
    Check(SSL_CTX_use_PrivateKey_file(context.get(), keyFile.c_str(), SSL_FILETYPE_PEM) == 1 &&
              SSL_CTX_check_private_key(context.get()) == 1,
          "cannot use key file \"" + keyFile + "\"");
    return context;
}

}  // namespace tessellon::tileserver
