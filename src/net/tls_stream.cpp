#include "net/tls_stream.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "net/net_errors.h"
#include "net/socket_stack.h"

namespace tessellon {

namespace {

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE on a
// closed peer; this one sends as the connection does, never raising a signal
// nor waiting, and leaves errno as the call set it.
int DescriptorOf(BIO* bio) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

int SocketWrite(BIO* bio, const char* bytes, int count) {
    BIO_clear_retry_flags(bio);
    const ssize_t sent =
        TSocketHandle::SendOn(DescriptorOf(bio), bytes, static_cast<std::size_t>(count));
    if (sent < 0 && errno == EAGAIN) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(sent);
}

int SocketRead(BIO* bio, char* into, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t count =
        TSocketHandle::ReceiveOn(DescriptorOf(bio), into, static_cast<std::size_t>(size));
    if (count < 0 && errno == EAGAIN) {
        BIO_set_retry_read(bio);
    } else if (count == 0) {
        BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    }
    return static_cast<int>(count);
}

long SocketControl(BIO* bio, int command, long, void*) {
    switch (command) {
        case BIO_CTRL_FLUSH:
            return 1;
        case BIO_CTRL_EOF:
            // Tells a peer's close from a failure.
            return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0 ? 1 : 0;
        default:
            return 0;
    }
}

BIO_METHOD* SocketBioMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "socket");
        BIO_meth_set_write(made, SocketWrite);
        BIO_meth_set_read(made, SocketRead);
        BIO_meth_set_ctrl(made, SocketControl);
        return made;
    }();
    return method;
}

// The reason of the oldest queued OpenSSL error, the queue then cleared.
std::string QueuedReason() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    return reason != nullptr ? reason : "unknown TLS error";
}

// One client context for every stream of the process, with a reference for
// the caller; null when OpenSSL has no memory. Reading a system's store of
// authorities takes a fifth of a second of CPU, which every worker of a task
// would otherwise pay at its first connection. The context is made anew
// when SSL_CERT_FILE or SSL_CERT_DIR names another store than it read; the
// streams keep the one they took. `onNewSession` receives each new session.
SSL_CTX* SharedClientContext(int (*onNewSession)(SSL*, SSL_SESSION*)) {
    static std::mutex mutex;
    static SSL_CTX* shared = nullptr;
    static std::string sharedStore;
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        // A variable set empty differs from one not set.
        std::string text;
        if (value != nullptr) {
            text.append("=").append(value);
        }
        return text;
    };
    const std::string store = variable("SSL_CERT_FILE") + '\n' + variable("SSL_CERT_DIR");
    const std::lock_guard lock(mutex);
    if (shared == nullptr || store != sharedStore) {
        SSL_CTX* made = SSL_CTX_new(TLS_client_method());
        if (made == nullptr) {
            return nullptr;
        }
        SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
        SSL_CTX_set_verify(made, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_default_verify_paths(made);
        // A store that cannot be read trusts nothing; its error is no stream's.
        ERR_clear_error();
        // A peer that closes without saying goodbye has ended its stream;
        // HTTP's own framing tells a cut reply.
        SSL_CTX_set_options(made, SSL_OP_IGNORE_UNEXPECTED_EOF);
        // Each stream keeps the session of its own last handshake.
        SSL_CTX_set_session_cache_mode(made,
                                       SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        SSL_CTX_sess_set_new_cb(made, onNewSession);
        SSL_CTX_free(shared);
        shared = made;
        sharedStore = store;
    }
    SSL_CTX_up_ref(shared);
    return shared;
}

}  // namespace

bio_st* NewSocketBio(int fd) {
    BIO* bio = BIO_new(SocketBioMethod());
    if (bio != nullptr) {
        BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
        BIO_set_init(bio, 1);
    }
    return bio;
}

TTlsStream::~TTlsStream() {
    Stop();
    SSL_SESSION_free(session_);
    SSL_CTX_free(context_);
}

bool TTlsStream::SessionReused() const {
    return ssl_ != nullptr && SSL_session_reused(ssl_) == 1;
}

void TTlsStream::Start(const std::string& serverName, bool insecure) {
    Stop();
    ERR_clear_error();
    if (context_ == nullptr) {
        context_ = SharedClientContext(OnNewSession);
        if (context_ == nullptr) {
            throw ETlsError::Handshake(QueuedReason());
        }
    }
    ssl_ = SSL_new(context_);
    BIO* bio = NewSocketBio(socket_.Handle());
    if (ssl_ == nullptr || bio == nullptr) {
        BIO_free(bio);
        failed_ = true;
        throw ETlsError::Handshake(QueuedReason());
    }
    SSL_set_bio(ssl_, bio, bio);
    SSL_set_app_data(ssl_, this);
    ended_ = false;
    endedWithoutGoodbye_ = false;
    failed_ = false;
    const bool ipAddress = TSocketStack::IsIpAddress(serverName);
    if (!ipAddress) {
        SSL_set_tlsext_host_name(ssl_, serverName.c_str());
    }
    if (insecure) {
        SSL_set_verify(ssl_, SSL_VERIFY_NONE, nullptr);
    } else if (ipAddress) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), serverName.c_str());
    } else {
        X509_VERIFY_PARAM_set1_host(SSL_get0_param(ssl_), serverName.c_str(), 0);
    }
    // A session that was not verified must never stand in for one that is.
    peer_ = serverName + (insecure ? " insecure" : "");
    if (session_ != nullptr && sessionPeer_ == peer_) {
        SSL_set_session(ssl_, session_);
    }
    for (;;) {
        const int result = SSL_connect(ssl_);
        if (result == 1) {
            return;
        }
        AwaitWish(result, nullptr);
    }
}

std::size_t TTlsStream::Read(char* into, std::size_t size) {
    for (;;) {
        std::size_t count = 0;
        const int result = SSL_read_ex(ssl_, into, size, &count);
        if (result == 1) {
            return count;
        }
        if (SSL_get_error(ssl_, result) == SSL_ERROR_ZERO_RETURN) {
            ended_ = true;
            // A close_notify is read as a record, before any end of the
            // connection; an end the socket reported came without one.
            endedWithoutGoodbye_ = BIO_test_flags(SSL_get_rbio(ssl_), BIO_FLAGS_IN_EOF) != 0;
            return 0;
        }
        if (!AwaitWish(result, "TLS read failed: ")) {
            return 0;
        }
    }
}

void TTlsStream::Write(const char* bytes, std::size_t count) {
    for (;;) {
        std::size_t written = 0;
        const int result = SSL_write_ex(ssl_, bytes, count, &written);
        if (result == 1) {
            return;
        }
        AwaitWish(result, "TLS write failed: ");
    }
}

void TTlsStream::Stop() {
    if (ssl_ == nullptr) {
        return;
    }
    if (!failed_ && SSL_is_init_finished(ssl_)) {
        if (ended_) {
            // The peer has gone: nothing to say, but OpenSSL must count the
            // stream as closed in order, or it drops the session.
            SSL_set_shutdown(ssl_, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
        } else {
            // One try: a peer that cannot take the goodbye at once misses nothing.
            SSL_shutdown(ssl_);
        }
    }
    ERR_clear_error();
    SSL_free(ssl_);
    ssl_ = nullptr;
}

bool TTlsStream::AwaitWish(int result, const char* operation) {
    switch (SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ:
            return waiter_.AwaitSocket(false);
        case SSL_ERROR_WANT_WRITE:
            return waiter_.AwaitSocket(true);
        default:
            Fail(result, operation);
    }
}

void TTlsStream::Fail(int result, const char* operation) {
    const int error = SSL_get_error(ssl_, result);
    const int systemError = errno;
    failed_ = true;
    std::string reason;
    if (error == SSL_ERROR_SSL) {
        reason = QueuedReason();
        const long verification = SSL_get_verify_result(ssl_);
        if (verification != X509_V_OK) {
            reason += " (";
            reason += X509_verify_cert_error_string(verification);
            reason += ")";
        }
    } else if (error == SSL_ERROR_SYSCALL && systemError != 0) {
        ERR_clear_error();
        reason = std::strerror(systemError);
    } else {
        ERR_clear_error();
        reason = "the server closed the connection";
    }
    if (operation == nullptr) {
        throw ETlsError::Handshake(reason);
    }
    throw ETlsError::Stream(operation + reason);
}

void TTlsStream::StoreSession(ssl_session_st* session) {
    SSL_SESSION_free(session_);
    session_ = session;
    sessionPeer_ = peer_;
}

int TTlsStream::OnNewSession(ssl_st* ssl, ssl_session_st* session) {
    static_cast<TTlsStream*>(SSL_get_app_data(ssl))->StoreSession(session);
    // The stream keeps the reference OpenSSL handed over.
    return 1;
}

}  // namespace tessellon
