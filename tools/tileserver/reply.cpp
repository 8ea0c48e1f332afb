#include "reply.h"

#include "download/refresh_job.h"

namespace tessellon::tileserver {

std::string StatusLine(const Payload& payload) {
    return "HTTP/1.1 " + std::to_string(payload.status) + " " + std::string(payload.reason);
}

ReplyHead::ReplyHead(std::string firstLine, std::string_view eol)
    : text_(std::move(firstLine)), eol_(eol) {
    text_ += eol_;
}

ReplyHead& ReplyHead::Line(std::string_view line) {
    text_ += line;
    text_ += eol_;
    return *this;
}

ReplyHead& ReplyHead::ContentLength(std::size_t length) {
    return Line("Content-Length: " + std::to_string(length));
}

std::string ReplyHead::Finish() const {
    return text_ + eol_;
}

ReplyHead PayloadHead(const Payload& payload, std::string_view eol) {
    ReplyHead head(StatusLine(payload), eol);
    head.Line("Content-Type: " + std::string(payload.contentType));
    return head;
}

namespace {

std::string ReplyWith(ReplyHead head, const Payload& payload, bool withBody, bool closing) {
    head.ContentLength(payload.body->size());
    if (closing) {
        head.Line("Connection: close");
    }
    std::string reply = head.Finish();
    if (withBody) {
        reply += *payload.body;
    }
    return reply;
}

}  // namespace

std::string OrdinaryReply(const Payload& payload, bool withBody, bool closing) {
    return ReplyWith(PayloadHead(payload), payload, withBody, closing);
}

std::string EntityTag(std::string_view body) {
    // The same bytes give the same tag, in this run and the next.
    std::string tag(1, '"');
    tag.append(Sha1Hex(body), 0, 16).push_back('"');
    return tag;
}

std::string ValidatedReply(const Payload& payload, std::string_view ifNoneMatch, bool withBody,
                           bool closing) {
    if (payload.status != 200) {
        return OrdinaryReply(payload, withBody, closing);
    }
    const std::string tag = EntityTag(*payload.body);
    if (ifNoneMatch == tag) {
        ReplyHead head("HTTP/1.1 304 Not Modified");
        head.Line("ETag: " + tag);
        if (closing) {
            head.Line("Connection: close");
        }
        return head.Finish();
    }
    ReplyHead head = PayloadHead(payload);
    head.Line("ETag: " + tag);
    return ReplyWith(std::move(head), payload, withBody, closing);
}

}  // namespace tessellon::tileserver
