#include "test_certificates.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "temp_dir.h"

namespace tessellon::test {

namespace {

struct TFreeKey {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct TFreeCertificate {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using TKey = std::unique_ptr<EVP_PKEY, TFreeKey>;
using TCertificate = std::unique_ptr<X509, TFreeCertificate>;

constexpr long kDay = 24 * 60 * 60;

void Check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("making test certificates: ") + what);
    }
}

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    Check(extension != nullptr && X509_add_ext(certificate, extension, -1) == 1, "extension");
    X509_EXTENSION_free(extension);
}

struct TCertificateRequest {
    const char* CommonName;
    // Subject alternative names, as in OpenSSL's configuration; none when null.
    const char* AltNames;
    bool Authority;
    long NotBeforeDays;
    long NotAfterDays;
};

// Signed by `issuerKey` as `issuer`, or by its own key when `issuer` is null.
TCertificate MakeCertificate(const TCertificateRequest& request, EVP_PKEY* key, X509* issuer,
                             EVP_PKEY* issuerKey) {
    static long serial = 1;
    TCertificate certificate(X509_new());
    X509* made = certificate.get();
    Check(X509_set_version(made, 2) == 1, "version");
    ASN1_INTEGER_set(X509_get_serialNumber(made), serial++);
    X509_gmtime_adj(X509_getm_notBefore(made), request.NotBeforeDays * kDay);
    X509_gmtime_adj(X509_getm_notAfter(made), request.NotAfterDays * kDay);
    Check(X509_set_pubkey(made, key) == 1, "public key");
    X509_NAME* subject = X509_get_subject_name(made);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(request.CommonName), -1, -1,
                               0);
    X509_set_issuer_name(made, issuer != nullptr ? X509_get_subject_name(issuer) : subject);
    X509* signer = issuer != nullptr ? issuer : made;
    AddExtension(made, signer, NID_basic_constraints,
                 request.Authority ? "critical,CA:TRUE" : "critical,CA:FALSE");
    if (request.Authority) {
        AddExtension(made, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    if (request.AltNames != nullptr) {
        AddExtension(made, signer, NID_subject_alt_name, request.AltNames);
    }
    Check(X509_sign(made, issuer != nullptr ? issuerKey : key, EVP_sha256()) > 0, "signature");
    return certificate;
}

class TTestPki {
public:
    TTestPki() : caKey_(EVP_EC_gen("P-256")), serverKey_(EVP_EC_gen("P-256")) {
        Check(caKey_ && serverKey_, "keys");
        constexpr const char* kNames = "DNS:localhost,IP:127.0.0.1";
        ca_ = MakeCertificate({"Tessellon test CA", nullptr, true, -1, 30}, caKey_.get(), nullptr,
                              nullptr);
        const auto issue = [&](const TCertificateRequest& request) {
            return MakeCertificate(request, serverKey_.get(), ca_.get(), caKey_.get());
        };
        valid_ = issue({"localhost", kNames, false, -1, 30});
        otherHost_ = issue({"other.example", "DNS:other.example", false, -1, 30});
        expired_ = issue({"localhost", kNames, false, -30, -1});
        selfSigned_ = MakeCertificate({"localhost", kNames, false, -1, 30}, serverKey_.get(),
                                      nullptr, nullptr);

        const std::string caFile = folder_.File("ca.pem");
        FILE* file = std::fopen(caFile.c_str(), "w");
        Check(file != nullptr && PEM_write_X509(file, ca_.get()) == 1, "CA file");
        std::fclose(file);
        ::setenv("SSL_CERT_FILE", caFile.c_str(), 1);
        ::setenv("SSL_CERT_DIR", folder_.Path().c_str(), 1);
    }

    TServerIdentity Identity(TCertificateKind kind) const {
        switch (kind) {
            case TCertificateKind::Valid:
                return {valid_.get(), serverKey_.get()};
            case TCertificateKind::SelfSigned:
                return {selfSigned_.get(), serverKey_.get()};
            case TCertificateKind::OtherHost:
                return {otherHost_.get(), serverKey_.get()};
            case TCertificateKind::Expired:
                return {expired_.get(), serverKey_.get()};
        }
        return {};
    }

private:
    TempDir folder_;
    TKey caKey_;
    TKey serverKey_;
    TCertificate ca_;
    TCertificate valid_;
    TCertificate selfSigned_;
    TCertificate otherHost_;
    TCertificate expired_;
};

}  // namespace

TServerIdentity ServerIdentity(TCertificateKind kind) {
    static const TTestPki pki;
    return pki.Identity(kind);
}

}  // namespace tessellon::test
