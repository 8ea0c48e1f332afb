#include "script_server.h"

#include <sys/socket.h>

namespace tessellon::test {

TServerScript& TServerScript::ReadRequest() {
    steps_.push_back({TStep::Kind::ReadRequest, {}});
    return *this;
}

TServerScript& TServerScript::Send(std::string bytes) {
    steps_.push_back({TStep::Kind::Send, std::move(bytes)});
    return *this;
}

TServerScript& TServerScript::Drip(std::string bytes, std::size_t piece, int pauseMs) {
    steps_.push_back({TStep::Kind::Send, std::move(bytes), pauseMs, piece});
    return *this;
}

TServerScript& TServerScript::Sleep(int ms) {
    steps_.push_back({TStep::Kind::Sleep, {}, ms});
    return *this;
}

TServerScript& TServerScript::Close() {
    steps_.push_back({TStep::Kind::Close, {}});
    return *this;
}

TServerScript& TServerScript::Reset() {
    steps_.push_back({TStep::Kind::Reset, {}});
    return *this;
}

TScriptServer::TScriptServer(std::vector<TServerScript> scripts, std::size_t pieceSize)
    : scripts_(std::move(scripts)),
      pieceSize_(pieceSize),
      server_(std::make_unique<TLoopbackServer>([this](int fd, int index) { Run(fd, index); })) {}

std::string TScriptServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(Port()) + path;
}

std::vector<std::string> TScriptServer::Requests() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

void TScriptServer::Run(int fd, int index) {
    if (static_cast<std::size_t>(index) >= scripts_.size()) {
        ::shutdown(fd, SHUT_RDWR);
        return;
    }
    for (const TServerScript::TStep& step : scripts_[static_cast<std::size_t>(index)].Steps()) {
        if (server_->Stopping()) {
            return;
        }
        switch (step.kind) {
            case TServerScript::TStep::Kind::ReadRequest: {
                std::string request = ReadHttpRequest(fd);
                const std::lock_guard<std::mutex> guard(lock_);
                requests_.push_back(std::move(request));
                break;
            }
            case TServerScript::TStep::Kind::Send: {
                const std::size_t piece = step.piece > 0 ? step.piece : pieceSize_;
                if (piece == 0) {
                    SendAll(fd, step.bytes);
                    break;
                }
                for (std::size_t at = 0; at < step.bytes.size() && !server_->Stopping();
                     at += piece) {
                    SendAll(fd, step.bytes.substr(at, piece));
                    server_->Pause(step.ms);
                }
                break;
            }
            case TServerScript::TStep::Kind::Sleep:
                server_->Pause(step.ms);
                break;
            case TServerScript::TStep::Kind::Reset: {
                const linger abort{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
                server_->CloseNow(fd);
                return;
            }
            case TServerScript::TStep::Kind::Close:
                // The socket itself stays until the server goes, so no other
                // connection can take its number; the peer sees the close.
                ::shutdown(fd, SHUT_RDWR);
                return;
        }
    }
}

}  // namespace tessellon::test
