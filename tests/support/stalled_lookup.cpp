// Preloaded into a program under test: a look-up of any host name ending in
// ".stall" takes 30 s and then finds nothing, as a lookup does when the name
// server does not answer. Nothing can cut it short, as nothing can cut the
// system's own short. Every other name is looked up as usual.

#include <dlfcn.h>
#include <netdb.h>

#include <chrono>
#include <cstring>
#include <thread>

extern "C" int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                           struct addrinfo** result) {
    static const char kStalled[] = ".stall";
    const std::size_t length = node == nullptr ? 0 : std::strlen(node);
    if (length >= sizeof kStalled - 1 &&
        std::strcmp(node + length - (sizeof kStalled - 1), kStalled) == 0) {
        // sleep_for resumes after a signal, so the whole time passes.
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return EAI_NONAME;
    }
    using Lookup = int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
    static const auto next = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    return next(node, service, hints, result);
}
