#include "test_certificates.h"

#include <openssl/pem.h>
#include <stdlib.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "certificate.h"
#include "temp_dir.h"

namespace tessellon::test {

namespace {

using tileserver::CertificatePtr;
using tileserver::KeyPtr;
using tileserver::MakeCertificate;

class TTestPki {
public:
    TTestPki() : caKey_(tileserver::NewKey()), serverKey_(tileserver::NewKey()) {
        constexpr const char* kNames = "DNS:localhost,IP:127.0.0.1";
        ca_ = MakeCertificate({"Tessellon test CA", "", true, -1, 30}, caKey_.get());
        const auto issue = [&](const tileserver::CertificateRequest& request) {
            return MakeCertificate(request, serverKey_.get(), ca_.get(), caKey_.get());
        };
        valid_ = issue({"localhost", kNames, false, -1, 30});
        otherHost_ = issue({"other.example", "DNS:other.example", false, -1, 30});
        expired_ = issue({"localhost", kNames, false, -30, -1});
        selfSigned_ = MakeCertificate({"localhost", kNames, false, -1, 30}, serverKey_.get(),
                                      nullptr, nullptr);

        const std::string caFile = folder_.File("ca.pem");
        FILE* file = std::fopen(caFile.c_str(), "w");
        if (file == nullptr || PEM_write_X509(file, ca_.get()) != 1) {
            throw std::runtime_error("cannot write the test CA");
        }
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
    KeyPtr caKey_;
    KeyPtr serverKey_;
    CertificatePtr ca_;
    CertificatePtr valid_;
    CertificatePtr selfSigned_;
    CertificatePtr otherHost_;
    CertificatePtr expired_;
};

}  // namespace

TServerIdentity ServerIdentity(TCertificateKind kind) {
    static const TTestPki pki;
    return pki.Identity(kind);
}

}  // namespace tessellon::test
