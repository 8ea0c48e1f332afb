#include "net/socket_stack.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>

#include "net/net_errors.h"
#include "net/net_text.h"
#include "platform/numbers.h"

namespace tessellon {

int TSocketStack::ErrorNumberFromErrno(int error) {
    switch (error) {
        case EINTR:
            return 10004;
        case EBADF:
            return 10009;
        case EACCES:
        case EPERM:
            return 10013;
        case EFAULT:
            return 10014;
        case EINVAL:
            return 10022;
        case EMFILE:
        case ENFILE:
            return 10024;
        case EWOULDBLOCK:
            return 10035;
        case EINPROGRESS:
            return 10036;
        case EALREADY:
            return 10037;
        case ENOTSOCK:
            return 10038;
        case EDESTADDRREQ:
            return 10039;
        case EMSGSIZE:
            return 10040;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        case EPROTONOSUPPORT:
            return 10043;
        case ESOCKTNOSUPPORT:
            return 10044;
        case EOPNOTSUPP:
            return 10045;
        case EPFNOSUPPORT:
            return 10046;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return 10051;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
            return 10053;
        // Windows reports a send to a peer that reset as a reset; POSIX
        // says EPIPE.
        case ECONNRESET:
        case EPIPE:
            return 10054;
        case ENOBUFS:
        case ENOMEM:
            return 10055;
        case EISCONN:
            return 10056;
        case ENOTCONN:
            return 10057;
        case ESHUTDOWN:
            return 10058;
        case ETOOMANYREFS:
            return 10059;
        case ETIMEDOUT:
            return 10060;
        case ECONNREFUSED:
            return 10061;
        case ELOOP:
            return 10062;
        case ENAMETOOLONG:
            return 10063;
        case EHOSTDOWN:
            return 10064;
        case EHOSTUNREACH:
            return 10065;
        case ENOTEMPTY:
            return 10066;
        default:
            return error;
    }
}

int TSocketStack::ErrorNumberFromLookup(int result, int error) {
    switch (result) {
        case EAI_NONAME:
            return kWsaHostNotFound;
        case EAI_AGAIN:
            return 11002;
        case EAI_NODATA:
        case EAI_ADDRFAMILY:
            return kWsaNoData;
        case EAI_MEMORY:
            return 10055;
        case EAI_SYSTEM:
            return ErrorNumberFromErrno(error);
        default:
            return 11003;
    }
}

bool TSocketStack::ParseDottedQuad(const std::string& text, std::uint32_t& address) {
    std::uint32_t result = 0;
    std::size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        // The last part runs to the end of the text, dots included.
        const std::size_t end = part < 3 ? text.find('.', start) : text.size();
        if (end == std::string::npos || end == start) {
            return false;
        }
        const std::optional<std::uint8_t> value =
            ParseInteger<std::uint8_t>(std::string_view(text).substr(start, end - start));
        if (!value) {
            return false;
        }
        result = (result << 8) | *value;
        start = end + 1;
    }
    address = result;
    return true;
}

bool TSocketStack::IsDottedQuad(const std::string& text) {
    std::uint32_t address;
    return ParseDottedQuad(text, address);
}

bool TSocketStack::IsIpAddress(const std::string& name) {
    unsigned char address[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, name.c_str(), address) == 1 ||
           ::inet_pton(AF_INET6, name.c_str(), address) == 1;
}

std::string TSocketStack::ResolveHostAddress(const std::string& name) const {
    if (SameText(name, "LOCALHOST")) {
        return "127.0.0.1";
    }
    if (IsDottedQuad(name)) {
        return name;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    const int result = ::getaddrinfo(name.c_str(), nullptr, &hints, &answer);
    if (result != 0) {
        throw ESocketError(ErrorNumberFromLookup(result, errno));
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr);
    ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    ::freeaddrinfo(answer);
    return text;
}

bool TSocketStack::RaiseOnSocketError(int result, std::initializer_list<int> tolerated) const {
    if (result != -1) {
        return false;
    }
    const int errorNumber = ErrorNumberFromErrno(errno);
    if (std::find(tolerated.begin(), tolerated.end(), errorNumber) != tolerated.end()) {
        return true;
    }
    throw ESocketError(errorNumber);
}

void RaiseLastSocketError() {
    throw ESocketError(TSocketStack::ErrorNumberFromErrno(errno));
}

}  // namespace tessellon
