#include "reply.h"

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

std::string OrdinaryReply(const Payload& payload, bool withBody, bool closing) {
    ReplyHead head = PayloadHead(payload);
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

}  // namespace tessellon::tileserver
