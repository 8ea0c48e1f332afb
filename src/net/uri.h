#pragma once
// Splitting a URL into the parts a request needs. The request target is
// Path + Document, so a query stays where it is; the bookmark after "#" is
// never sent.

#include <string>
#include <string_view>

namespace tessellon {

class TUri {
public:
    explicit TUri(std::string_view url);

    const std::string& Protocol() const { return protocol_; }
    const std::string& Host() const { return host_; }
    // The port text as written ("" when none).
    const std::string& Port() const { return port_; }
    const std::string& Path() const { return path_; }
    const std::string& Document() const { return document_; }
    const std::string& Bookmark() const { return bookmark_; }

    // Whether the URL names a port: a non-empty decimal number.
    bool NamesPort() const { return portNumber_ >= 0; }
    int PortNumber() const { return portNumber_; }

private:
    std::string protocol_;
    std::string host_;
    std::string port_;
    std::string path_;
    std::string document_;
    std::string bookmark_;
    int portNumber_ = -1;
};

}  // namespace tessellon
