#pragma once
// The exceptions of the network client. Every failure of a fetch arrives as
// an ENetException whose what() is the exact message text; the download
// workers classify failures by substrings of these texts ("Socket Error",
// "10054", "Connection Closed Gracefully", the status code), so the texts are
// part of the contract and must not change.

#include <stdexcept>
#include <string>

namespace tessellon {

class ENetException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Failures that are part of normal operation (the peer closed).
class ESilentException : public ENetException {
public:
    using ENetException::ENetException;
};

class EConnClosedGracefully : public ESilentException {
public:
    EConnClosedGracefully();
};

// A failed socket call: "Socket Error # " + number + CR LF + the number's text.
class ESocketError : public ENetException {
public:
    explicit ESocketError(int errorNumber);
    int ErrorNumber() const { return errorNumber_; }

protected:
    ESocketError(int errorNumber, const std::string& message);

private:
    int errorNumber_;
};

// Every failure of the encrypted stream. A failed handshake (the peer cannot
// be verified, or speaks no TLS) has number 0 and reads "TLS handshake
// failed: " + the reason, which no retry would change. A failure of the
// stream after it reads as a reset ("... (Socket Error # 10054)") and has
// that number, since another connection may well succeed.
inline constexpr const char* kTlsHandshakeFailed = "TLS handshake failed: ";

class ETlsError : public ESocketError {
public:
    static ETlsError Handshake(const std::string& reason);
    static ETlsError Stream(const std::string& what);

private:
    using ESocketError::ESocketError;
};

// A proxy that answers CONNECT with anything but 2xx: no tunnel to any
// server of the task can open through it, so the message is kept apart from
// a server's own refusal. It reads "The proxy refused CONNECT: " + the
// proxy's status line without its first word ("407 Proxy Authentication
// Required"), shown as ShowControlCharacters shows it.
inline constexpr const char* kProxyRefusedConnect = "The proxy refused CONNECT: ";
// What a user is told to check after such a refusal.
inline constexpr const char* kProxyRefusedAdvice =
    "The proxy would not open a tunnel to the server, so no tile can come through it. Check the "
    "proxy's address, user name and password in Options, or that the proxy allows CONNECT to the "
    "server's port (443 for most services).";

class EProxyRefusedConnect : public ENetException {
public:
    EProxyRefusedConnect(int replyCode, const std::string& statusText);
    int ReplyCode() const { return replyCode_; }

private:
    int replyCode_;
};

class EAlreadyConnected : public ENetException {
public:
    EAlreadyConnected();
};

class EInvalidSocket : public ENetException {
public:
    EInvalidSocket();
};

class ESocketHandleError : public ENetException {
public:
    using ENetException::ENetException;
};

class ECouldNotBindSocket : public ESocketHandleError {
public:
    ECouldNotBindSocket();
};

// A reply whose status code is neither 2xx nor an accepted redirect. The
// message is the status line without its first word ("404 Not Found"), its
// control characters shown as ShowControlCharacters shows them.
class EProtocolReplyError : public ENetException {
public:
    EProtocolReplyError(int replyCode, const std::string& statusText);
    int ReplyCode() const { return replyCode_; }

private:
    int replyCode_;
};

// A text that should be a decimal integer and is not:
// "'" + text + "' is not a valid integer value", the text shown as
// ShowControlCharacters shows it.
class EConvertError : public ENetException {
public:
    explicit EConvertError(const std::string& text);
};

class EFailedToRetrieveTimeZoneInfo : public ENetException {
public:
    EFailedToRetrieveTimeZoneInfo();
};

// A reply that breaks the framing rules or the size limits (see net_limits.h).
// The connection is released, since its byte stream can no longer be trusted.
class EInvalidReply : public ENetException {
public:
    using ENetException::ENetException;
};

// The fixed texts of EInvalidReply.
inline constexpr const char* kReplyLineTooLong = "Reply header line too long.";
inline constexpr const char* kReplyHeaderTooLarge = "Reply header too large.";
inline constexpr const char* kInvalidContentLength = "Invalid Content-Length in reply.";
inline constexpr const char* kInvalidChunkedCoding = "Invalid chunked coding in reply.";
inline constexpr const char* kReplyBodyTooLarge = "Reply body too large.";
inline constexpr const char* kReplyCutWithoutGoodbye =
    "The reply ended without TLS's closing alert: its body may be cut short.";

// Windows-sockets error numbers this client raises by name.
inline constexpr int kWsaShutdown = 10058;
inline constexpr int kWsaTimedOut = 10060;
inline constexpr int kWsaAddressNotAvailable = 10049;
inline constexpr int kWsaAddressInUse = 10048;
inline constexpr int kWsaConnectionReset = 10054;
inline constexpr int kWsaConnectionAborted = 10053;
inline constexpr int kWsaHostNotFound = 11001;
inline constexpr int kWsaNoData = 11004;

// "Socket Error # %d" + CR LF + the text of the number (empty for numbers
// without a text, such as the host lookup errors 11001 to 11004).
std::string SocketErrorMessage(int errorNumber);

}  // namespace tessellon
