#pragma once
// A self-signed server certificate for 127.0.0.1 and its key as PEM files,
// for the benchmarks that talk HTTPS to tessellon-tileserver: the server
// presents it (--cert, --key) and both clients trust it as their only
// authority (ours through SSL_CERT_FILE, curl through --cacert), so each
// side verifies the server in full, as against a real service.

#include <openssl/pem.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "certificate.h"

namespace tessellon::bench {

inline void WriteCertificate(const std::string& certificateFile, const std::string& keyFile) {
    struct CloseFile {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    const tileserver::KeyPtr key = tileserver::NewKey();
    const tileserver::CertificatePtr certificate =
        tileserver::MakeCertificate({"127.0.0.1", "IP:127.0.0.1"}, key.get());
    const std::unique_ptr<std::FILE, CloseFile> certOut(std::fopen(certificateFile.c_str(), "w"));
    const std::unique_ptr<std::FILE, CloseFile> keyOut(std::fopen(keyFile.c_str(), "w"));
    if (!certOut || !keyOut || PEM_write_X509(certOut.get(), certificate.get()) != 1 ||
        PEM_write_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        throw std::runtime_error("cannot write the certificate");
    }
}

}  // namespace tessellon::bench
