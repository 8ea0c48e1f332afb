#include "net/http_client.h"

#include <chrono>

#include "net/net_errors.h"
#include "net/net_text.h"

namespace tessellon {

namespace {

// Holds the whole-request deadline for the outermost call.
class TRequestClock {
public:
    explicit TRequestClock(TTcpConnection& connection) : connection_(connection) {
        if (!connection_.HasRequestDeadline()) {
            connection_.SetRequestDeadline(std::chrono::steady_clock::now() +
                                           connection_.TimeLimits.Request);
            owner_ = true;
        }
    }
    ~TRequestClock() {
        if (owner_) {
            connection_.ClearRequestDeadline();
        }
    }
    TRequestClock(const TRequestClock&) = delete;
    TRequestClock& operator=(const TRequestClock&) = delete;

private:
    TTcpConnection& connection_;
    bool owner_ = false;
};

// Any "close" among the tokens of any Connection line.
bool AsksToClose(const THttpHeaderList& headers) {
    for (const std::string& value : headers.ValuesOf("Connection")) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = value.find(',', start);
            if (SameText(Trim(std::string_view(value).substr(start, comma - start)), "close")) {
                return true;
            }
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
    }
    return false;
}

// A location without a scheme and host is taken relative to the URL that
// answered with it, so the redirect keeps that URL's host and port.
std::string ResolveLocation(const std::string& location, const TUri& current) {
    if (location.find("://") != std::string::npos || current.Host().empty()) {
        return location;
    }
    if (location.rfind("//", 0) == 0) {
        return current.Protocol() + ":" + location;
    }
    std::string base = current.Protocol() + "://" + current.Host();
    if (!current.Port().empty()) {
        base += ":" + current.Port();
    }
    if (!location.empty() && (location.front() == '/' || location.front() == '\\')) {
        return base + location;
    }
    return base + current.Path() + location;
}

}  // namespace

THttpClient::THttpClient() {
    Port = 80;
}

void THttpClient::GetUrl(const std::string& url, TNetBuffer& destination) {
    PerformRequest(THttpMethod::Get, url, &destination);
}

void THttpClient::PerformRequest(THttpMethod method, const std::string& url,
                                 TNetBuffer* destination, std::string_view postBody) {
    const TRequestClock clock(*this);
    TNetBuffer dropped;
    TNetBuffer& stream = destination != nullptr ? *destination : dropped;
    // Only a redirect's location needs a copy of its own.
    std::string_view location = url;
    std::string redirected;
    TStepResult step;
    for (;;) {
        ++redirectDepth_;
        const TUri uri(location);
        step = RunStep(method, uri, stream, postBody);
        if (!step.Redirect) {
            // A 304 answers a conditional request only: to any other it
            // would leave the caller without the body it asked for.
            if (statusCode_ / 100 == 2 || (statusCode_ == 304 && Request.IsConditional())) {
                break;
            }
            if (step.CloseAfter) {
                CloseConnection();
            }
            throw EProtocolReplyError(statusCode_, statusText_);
        }
        std::string next = ResolveLocation(reply_.Location, uri);
        if (HandleRedirects && redirectDepth_ < RedirectMaximum) {
            stream.SetPosition(0);
            if (!AskRedirect(next, redirectDepth_)) {
                break;
            }
            if (step.CloseAfter) {
                CloseConnection();
            }
            redirected = std::move(next);
            location = redirected;
            continue;
        }
        if (!AskRedirect(next, redirectDepth_)) {
            if (step.CloseAfter) {
                CloseConnection();
            }
            throw EProtocolReplyError(statusCode_, statusText_);
        }
        reply_.Location = std::move(next);
        break;
    }
    if (step.CloseAfter) {
        CloseConnection();
    } else if (ahead_.empty()) {
        ReleaseIfPeerGone();
    }
    redirectDepth_ = 0;
}

THttpClient::TStepResult THttpClient::RunStep(THttpMethod method, const TUri& uri,
                                              TNetBuffer& destination, std::string_view postBody) {
    SelectTarget(uri);
    ComposeRequest(method, uri, postBody);
    // The reply at the head of the queue answers the request queued first,
    // and no other.
    ForgetQueueIfClosed();
    if (!ahead_.empty() && ahead_.front() != request_) {
        CloseConnection();
    }
    if (ahead_.empty()) {
        DropStaleConnection();
    }
    THttpReplyReader reader(Reader(), ReplyLimits);
    TStepResult result;
    try {
        THttpStatusLine status = SendRequest(method, request_, reader);
        statusCode_ = status.Code;
        statusText_ = std::move(status.Text);
        if (!status.ValidCode) {
            throw EConvertError(status.CodeText);
        }
        const TBodyPlan plan = PlanReplyBody(wireHeaders_, method, status.Code, ReplyLimits);
        untilClose_ = plan.Framing == TBodyFraming::UntilClose;
        // After a 101 the peer would speak another protocol on this connection.
        result.CloseAfter = ProtocolVersion == TProtocolVersion::pv1_0 || status.Version10 ||
                            status.Code == 101 || AsksToClose(wireHeaders_);
        reply_.ProcessReplyHeaders(wireHeaders_);
        if (plan.Framing == TBodyFraming::Chunked) {
            DoStatus(TNetStatus::Text, "Chunk Started");
        }
        reader.ReadBody(plan, destination);
        // A body that runs until the close is whole only if the close is
        // TLS's own: anyone in the path can end the connection.
        if (plan.Framing == TBodyFraming::UntilClose && secure_ && TlsEndedWithoutGoodbye()) {
            throw EInvalidReply(kReplyCutWithoutGoodbye);
        }
    } catch (...) {
        // Whatever is left of this reply would be read as the next one.
        CloseConnection();
        throw;
    }
    result.Redirect = (statusCode_ / 100 == 3 && statusCode_ != 304) || !reply_.Location.empty();
    return result;
}

void THttpClient::SelectTarget(const TUri& uri) {
    const bool secure = uri.Host().empty() ? secure_ : SameText(uri.Protocol(), "HTTPS");
    if (!Request.ProxyServer.empty()) {
        if (!uri.Host().empty()) {
            targetHost_ = uri.Host();
        }
        if (!uri.Protocol().empty()) {
            targetScheme_ = uri.Protocol();
        }
        std::string tunnel;
        if (secure) {
            tunnel = targetHost_ + ":" + (uri.NamesPort() ? uri.Port() : "443");
        }
        // A connection to another peer is no connection to this proxy, and
        // a tunnel leads to one origin only.
        if (!SameText(Host, Request.ProxyServer) || Port != Request.ProxyPort ||
            !SameText(tunnel, tunnel_)) {
            CloseConnection();
        }
        Host = Request.ProxyServer;
        Port = Request.ProxyPort;
        secure_ = secure;
        tunnel_ = std::move(tunnel);
        return;
    }
    const int port = uri.NamesPort() ? uri.PortNumber() : secure ? 443 : 80;
    if (!uri.Host().empty()) {
        if (!KeepsConnectionTo(uri)) {
            CloseConnection();
        }
        Host = uri.Host();
        targetHost_ = uri.Host();
        if (!uri.Protocol().empty()) {
            targetScheme_ = uri.Protocol();
        }
    } else {
        targetHost_ = Host;
    }
    Port = port;
    secure_ = secure;
    tunnel_.clear();
}

bool THttpClient::KeepsConnectionTo(const TUri& uri) const {
    const bool secure = SameText(uri.Protocol(), "HTTPS");
    const int port = uri.NamesPort() ? uri.PortNumber() : secure ? 443 : 80;
    // Only an encrypted connection is worth keeping for a URL without a port.
    return !uri.Host().empty() && SameText(uri.Host(), Host) && port == Port && secure == secure_ &&
           tunnel_.empty() && (uri.NamesPort() || secure);
}

bool THttpClient::QueueAhead(const std::string& url) {
    ForgetQueueIfClosed();
    if (noQueue_ || !Request.ProxyServer.empty() || ProtocolVersion != TProtocolVersion::pv1_1 ||
        !IsConnected()) {
        return false;
    }
    const TUri uri(url);
    if (!KeepsConnectionTo(uri)) {
        return false;
    }
    SelectTarget(uri);
    ComposeRequest(THttpMethod::Get, uri, {});
    ahead_.push_back(request_);
    unsent_ += request_;
    return true;
}

std::size_t THttpClient::RequestsAhead() {
    ForgetQueueIfClosed();
    return ahead_.size();
}

void THttpClient::ForgetQueueIfClosed() {
    if (!IsConnected()) {
        ahead_.clear();
        unsent_.clear();
    }
}

void THttpClient::OpenConnection() {
    ahead_.clear();
    unsent_.clear();
    TTcpClient::OpenConnection();
    if (!secure_) {
        return;
    }
    if (!tunnel_.empty()) {
        try {
            OpenTunnel();
        } catch (...) {
            CloseConnection();
            throw;
        }
    }
    StartTls(tunnel_.empty() ? Host : targetHost_, InsecureTls);
}

void THttpClient::OpenTunnel() {
    std::string connect = "CONNECT " + tunnel_ + " HTTP/1.1\r\nHost: " + tunnel_ + "\r\n";
    Request.AppendProxyCredentials(connect);
    connect += "\r\n";
    SendBytes(connect.data(), connect.size());
    THttpReplyReader reader(Reader(), ReplyLimits);
    THttpStatusLine status = reader.ReadHead(wireHeaders_);
    if (!status.ValidCode) {
        throw EConvertError(status.CodeText);
    }
    if (status.Code / 100 != 2) {
        statusCode_ = status.Code;
        statusText_ = status.Text;
        throw EProxyRefusedConnect(status.Code, status.Text);
    }
}

void THttpClient::ComposeRequest(THttpMethod method, const TUri& uri, std::string_view postBody) {
    const bool post = method == THttpMethod::Post;
    Request.ContentLength = post ? static_cast<std::int32_t>(postBody.size()) : 0;
    const std::string_view port = uri.NamesPort() ? std::string_view(uri.Port()) : "";
    const std::string_view portSeparator = port.empty() ? "" : ":";
    request_.clear();
    request_.append(MethodName(method)).append(" ");
    if (!Request.ProxyServer.empty() && tunnel_.empty()) {
        request_.append(targetScheme_).append("://").append(targetHost_);
        request_.append(portSeparator).append(port);
    }
    request_.append(uri.Path()).append(uri.Document()).append(" HTTP/");
    request_.append(ProtocolVersion == TProtocolVersion::pv1_0 ? "1.0" : "1.1").append("\r\n");
    request_.append("Host: ").append(targetHost_).append(portSeparator).append(port);
    request_.append("\r\n");
    Request.AppendRequestHeaders(request_, !tunnel_.empty());
    request_.append("\r\n");
    if (post) {
        request_.append(postBody);
    }
}

void THttpClient::ReleaseIfPeerGone() {
    try {
        PeekPeerClosed(false);
    } catch (const ESocketError&) {
        // A reset after a complete reply only ends the connection, which the
        // failed receive has released already.
    }
}

void THttpClient::DropStaleConnection() {
    if (!IsConnected()) {
        return;
    }
    ReleaseIfPeerGone();
    if (!InputBuffer().Empty()) {
        CloseConnection();
    }
}

THttpStatusLine THttpClient::SendRequest(THttpMethod method, const std::string& request,
                                         THttpReplyReader& reader) {
    const bool repeatable = method != THttpMethod::Post;
    for (int attempt = 1;; ++attempt) {
        const bool reused = IsConnected();
        if (!reused) {
            OpenConnection();
        }
        // Queued ahead: the request may be out and its reply on its way.
        const bool queued = !ahead_.empty();
        if (queued) {
            ahead_.pop_front();
        }
        const std::uint64_t receivedBefore = BytesReceived();
        // Called in a handler: a kept connection that failed before the
        // reply began gets one more try on a new one, for a reset or a close.
        // A queued reply follows bytes of earlier replies, so for it anything
        // before a whole head counts, a head that makes no sense too; and a
        // peer that broke a queued exchange is asked one request at a time.
        const auto retryOrRethrow = [&](bool dropped) {
            noQueue_ = noQueue_ || queued;
            if (!dropped || !reused || !repeatable || attempt > 1 ||
                !(queued || BytesReceived() == receivedBefore)) {
                throw;
            }
        };
        try {
            if (!queued) {
                SendBytes(request.data(), request.size());
            } else if (!unsent_.empty()) {
                // Cleared first: a failed send ends the connection anyway.
                const std::string text = std::move(unsent_);
                unsent_.clear();
                SendBytes(text.data(), text.size());
            }
            THttpStatusLine status = reader.ReadHead(wireHeaders_);
            // Bytes an earlier reply left behind would stand before a queued
            // reply's head.
            if (!queued || (status.ValidCode && status.NamesHttp)) {
                return status;
            }
            throw EInvalidReply(status.CodeText);
        } catch (const EConnClosedGracefully&) {
            retryOrRethrow(true);
        } catch (const ESocketError& error) {
            retryOrRethrow(error.ErrorNumber() == kWsaConnectionReset ||
                           error.ErrorNumber() == kWsaConnectionAborted);
        } catch (const EInvalidReply&) {
            retryOrRethrow(queued);
        }
        CloseConnection();
    }
}

bool THttpClient::AskRedirect(std::string& location, int depth) {
    bool handled = HandleRedirects;
    if (OnRedirect) {
        int numRedirect = depth;
        OnRedirect(*this, location, numRedirect, handled);
    }
    return handled;
}

}  // namespace tessellon
