#include "net/net_errors.h"

#include <string_view>

#include "platform/shown_text.h"

namespace tessellon {

namespace {

// Texts by Windows-sockets error number, from 10004 on; gaps have no text.
std::string_view SocketErrorText(int errorNumber) {
    switch (errorNumber) {
        case 10004:
            return "Interrupted system call.";
        case 10009:
            return "Bad file number.";
        case 10013:
            return "Access denied.";
        case 10014:
            return "Bad address.";
        case 10022:
            return "Invalid argument.";
        case 10024:
            return "Too many open files.";
        case 10035:
            return "Operation would block. ";
        case 10036:
            return "Operation now in progress.";
        case 10037:
            return "Operation already in progress.";
        case 10038:
            return "Socket operation on non-socket.";
        case 10039:
            return "Destination address required.";
        case 10040:
            return "Message too long.";
        case 10041:
            return "Protocol wrong type for socket.";
        case 10042:
            return "Bad protocol option.";
        case 10043:
            return "Protocol not supported.";
        case 10044:
            return "Socket type not supported.";
        case 10045:
            return "Operation not supported on socket.";
        case 10046:
            return "Protocol family not supported.";
        case 10047:
            return "Address family not supported by protocol family.";
        case 10048:
            return "Address already in use.";
        case 10049:
            return "Cannot assign requested address.";
        case 10050:
            return "Network is down.";
        case 10051:
            return "Network is unreachable.";
        case 10052:
            return "Net dropped connection or reset.";
        case 10053:
            return "Software caused connection abort.";
        case 10054:
            return "Connection reset by peer.";
        case 10055:
            return "No buffer space available.";
        case 10056:
            return "Socket is already connected.";
        case 10057:
            return "Socket is not connected.";
        case 10058:
            return "Cannot send or receive after socket is closed.";
        case 10059:
            return "Too many references, cannot splice.";
        case 10060:
            return "Connection timed out.";
        case 10061:
            return "Connection refused.";
        case 10062:
            return "Too many levels of symbolic links.";
        case 10063:
            return "File name too long.";
        case 10064:
            return "Host is down.";
        case 10065:
            return "No route to host.";
        case 10066:
            return "Directory not empty";
        default:
            return {};
    }
}

}  // namespace

std::string SocketErrorMessage(int errorNumber) {
    std::string message = "Socket Error # " + std::to_string(errorNumber) + "\r\n";
    message += SocketErrorText(errorNumber);
    return message;
}

EConnClosedGracefully::EConnClosedGracefully()
    : ESilentException("Connection Closed Gracefully.") {}

ESocketError::ESocketError(int errorNumber)
    : ENetException(SocketErrorMessage(errorNumber)), errorNumber_(errorNumber) {}

ESocketError::ESocketError(int errorNumber, const std::string& message)
    : ENetException(message), errorNumber_(errorNumber) {}

ETlsError ETlsError::Handshake(const std::string& reason) {
    return ETlsError(0, kTlsHandshakeFailed + reason);
}

ETlsError ETlsError::Stream(const std::string& what) {
    return ETlsError(kWsaConnectionReset,
                     what + " (Socket Error # " + std::to_string(kWsaConnectionReset) + ")");
}

EProxyRefusedConnect::EProxyRefusedConnect(int replyCode, const std::string& statusText)
    : ENetException(kProxyRefusedConnect + ShowControlCharacters(statusText)),
      replyCode_(replyCode) {}

EAlreadyConnected::EAlreadyConnected() : ENetException("Already connected.") {}

EInvalidSocket::EInvalidSocket() : ENetException("Cannot allocate socket.") {}

ECouldNotBindSocket::ECouldNotBindSocket()
    : ESocketHandleError("Could not bind socket. Address and port are already in use.") {}

EProtocolReplyError::EProtocolReplyError(int replyCode, const std::string& statusText)
    : ENetException(ShowControlCharacters(statusText)), replyCode_(replyCode) {}

namespace {

// Built by appending: GCC 12 takes "'" + text for an overlapping copy in
// Release builds (-Wrestrict).
std::string NotAnIntegerText(const std::string& text) {
    std::string message = "'";
    message += ShowControlCharacters(text);
    message += "' is not a valid integer value";
    return message;
}

}  // namespace

EConvertError::EConvertError(const std::string& text) : ENetException(NotAnIntegerText(text)) {}

EFailedToRetrieveTimeZoneInfo::EFailedToRetrieveTimeZoneInfo()
    : ENetException("Failed attempting to retrieve time zone information.") {}

}  // namespace tessellon
