#pragma once
// The HTTP/1.1 client of the download workers. One object serves a worker's
// whole run: it keeps its connection between calls where the target allows,
// and every failure arrives as an ENetException whose message the caller
// classifies.
//
//   THttpClient http;
//   http.Request.ProxyServer = ...;            // when a proxy is used
//   TNetBuffer body;
//   http.GetUrl("http://host/path?query", body);
//
// The request goes out in one send. A plain URL without a port always starts
// on a new connection; with the same explicit port a kept connection is
// reused. An https URL (port 443 unless named) reuses a kept connection to
// the same host and port, and a new one resumes the last TLS session. Through
// a proxy the connection to the proxy is kept and the request line carries
// the absolute URL; an https URL goes through a CONNECT tunnel instead, kept
// while the origin stays the same, and a refused CONNECT raises
// EProtocolReplyError with the proxy's status.
//
// Requests may also be queued ahead of their turn on a kept connection
// (HTTP/1.1 pipelining), so the server answers them back to back:
//
//   http.QueueAhead(nextUrl);                  // goes out with the next call
//   http.GetUrl(url, body);                    // sends url and nextUrl
//   http.GetUrl(nextUrl, body);                // only reads its reply

#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "net/http_header_info.h"
#include "net/http_header_list.h"
#include "net/http_reply.h"
#include "net/net_limits.h"
#include "net/tcp_client.h"
#include "net/uri.h"

namespace tessellon {

enum class TProtocolVersion { pv1_0, pv1_1 };

class THttpClient : public TTcpClient {
public:
    THttpClient();

    bool HandleRedirects = false;
    int RedirectMaximum = 15;
    // pv1_0 also closes the connection after every reply.
    TProtocolVersion ProtocolVersion = TProtocolVersion::pv1_1;
    THttpHeaderInfo Request;
    // Accepts any certificate of an https peer: for a service the user
    // chose to trust as it is.
    bool InsecureTls = false;
    THttpReplyLimits ReplyLimits;
    // Consulted on every redirect reply: may change the destination and
    // whether the redirect is handled; a change of `numRedirect` is ignored.
    std::function<void(THttpClient& sender, std::string& dest, int& numRedirect, bool& handled)>
        OnRedirect;

    // GETs `url` into `destination` at its position. Returns for a 2xx reply,
    // a 304 to a request made conditional by Request.ETag or
    // Request.LastModifiedUnix (nothing is written then; a body the peer
    // sent with it is dropped with the connection), or a redirect that was
    // followed or accepted; raises otherwise.
    void GetUrl(const std::string& url, TNetBuffer& destination);
    // The request behind GetUrl. Without a destination the body is read and
    // dropped. `postBody` is sent with POST only.
    void PerformRequest(THttpMethod method, const std::string& url, TNetBuffer* destination,
                        std::string_view postBody = {});

    const THttpHeaderInfo& Reply() const { return reply_; }
    int StatusCode() const { return statusCode_; }
    const std::string& StatusText() const { return statusText_; }
    int RedirectDepth() const { return redirectDepth_; }
    // The last reply's body had no length of its own and ran until the
    // connection closed: on plain HTTP nothing tells it from a cut one.
    bool BodyRanUntilClose() const { return untilClose_; }
    // Queues, ahead of its turn, the GET that GetUrl(url) would send now
    // (with Request as it stands) on the connection kept to the URL's peer.
    // Queued requests go out together before the next reply is read, and a
    // later GetUrl that composes the request at the head of the queue only
    // reads its reply; any other request drops the connection with the
    // queue first. Queues nothing, and returns false, without a kept
    // connection to that peer, through a proxy, or once a peer broke a
    // queued exchange (a reply that failed or made no sense): from then on
    // every request waits for the reply before it.
    bool QueueAhead(const std::string& url);
    // Requests queued ahead whose replies are still to be read.
    std::size_t RequestsAhead();

    const std::string& TargetHost() const { return targetHost_; }
    const std::string& TargetScheme() const { return targetScheme_; }

    // Connects to Host and Port and, for an https target, opens the tunnel
    // through the proxy and the TLS connection.
    void OpenConnection() override;

private:
    struct TStepResult {
        bool Redirect = false;
        bool CloseAfter = false;
    };

    void SelectTarget(const TUri& uri);
    // Whether the connection kept now, if any, is the one a request to
    // `uri` would use without a proxy.
    bool KeepsConnectionTo(const TUri& uri) const;
    // Sends CONNECT for tunnel_ and reads the proxy's answer.
    void OpenTunnel();
    // The request's bytes into request_.
    void ComposeRequest(THttpMethod method, const TUri& uri, std::string_view postBody);
    // Looks whether the peer closed or reset the connection, releasing it
    // then; raises nothing.
    void ReleaseIfPeerGone();
    // Drops a kept connection that the peer closed or that holds bytes no
    // request asked for.
    void DropStaleConnection();
    // Sends the request and reads the reply head. A kept connection that
    // fails before the first reply byte gets one more try on a new one.
    THttpStatusLine SendRequest(THttpMethod method, const std::string& request,
                                THttpReplyReader& reader);
    // Forgets the queue of a connection that is no longer open.
    void ForgetQueueIfClosed();
    TStepResult RunStep(THttpMethod method, const TUri& uri, TNetBuffer& destination,
                        std::string_view postBody);
    bool AskRedirect(std::string& location, int depth);

    THttpHeaderInfo reply_;
    // Kept between requests so that composing one allocates nothing.
    std::string request_;
    THttpHeaderList wireHeaders_;
    int statusCode_ = 0;
    std::string statusText_;
    int redirectDepth_ = 0;
    bool untilClose_ = false;
    std::string targetHost_;
    std::string targetScheme_;
    // The target speaks TLS.
    bool secure_ = false;
    // "host:port" of the origin that the connection to the proxy tunnels
    // to; empty without a tunnel.
    std::string tunnel_;
    // The requests queued ahead on this connection, oldest first, and the
    // text of those not sent yet.
    std::deque<std::string> ahead_;
    std::string unsent_;
    // A peer broke a queued exchange: nothing is queued any more.
    bool noQueue_ = false;
};

}  // namespace tessellon
