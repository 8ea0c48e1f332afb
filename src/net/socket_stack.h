#pragma once
// The socket layer shared by every connection of the process: host name
// resolution and the translation of failed socket calls into ESocketError.
// Errors are reported under their Windows-sockets numbers (ECONNRESET is
// 10054, ECONNREFUSED 10061, ...) because the download workers search the
// message texts for those numbers. It keeps no state between calls, so all
// threads may use it at once.

#include <cstdint>
#include <initializer_list>
#include <string>

#include "net/socket_handle.h"

namespace tessellon {

class TSocketStack {
public:
    // An infinite wait.
    static constexpr int kInfiniteWait = -2;

    // The Windows-sockets number for a POSIX errno value. Values without a
    // counterpart are passed on unchanged.
    static int ErrorNumberFromErrno(int error);
    // The Windows-sockets number for a getaddrinfo() result (EAI_*).
    static int ErrorNumberFromLookup(int result, int error);

    // "LOCALHOST" in any case gives "127.0.0.1", a dotted quad stays as it
    // is, any other name is looked up and its first IPv4 address returned.
    // A failed lookup raises ESocketError 11001 (unknown host) or 11004
    // (a name without an address).
    std::string ResolveHostAddress(const std::string& name) const;
    // Four "."-separated decimal numbers from 0 to 255.
    static bool IsDottedQuad(const std::string& text);
    // An IPv4 or IPv6 address in the system's text forms (not a host name).
    static bool IsIpAddress(const std::string& name);
    // The same test, giving the address in host byte order.
    static bool ParseDottedQuad(const std::string& text, std::uint32_t& address);

    // False when `result` is not -1. Otherwise the failed call's errno (read
    // at once, on this thread) is translated: true when it is one of
    // `tolerated`, else ESocketError is raised.
    bool RaiseOnSocketError(int result, std::initializer_list<int> tolerated = {}) const;
};

// ESocketError for the calling thread's errno.
[[noreturn]] void RaiseLastSocketError();

}  // namespace tessellon
