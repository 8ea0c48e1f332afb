#include "net/http_reply.h"

#include "net/net_errors.h"
#include "net/net_text.h"
#include "platform/numbers.h"

namespace tessellon {

namespace {

bool ContainsChunked(const std::string& value) {
    static constexpr std::string_view kChunked = "chunked";
    for (std::size_t i = 0; i + kChunked.size() <= value.size(); ++i) {
        if (SameText(std::string_view(value).substr(i, kChunked.size()), kChunked)) {
            return true;
        }
    }
    return false;
}

// A chunk-size line: hexadecimal digits, then optionally a ";" and chunk
// extensions, which are ignored.
std::size_t ChunkSize(const std::string& line) {
    const std::string size = TrimLeft(line.substr(0, line.find(';')));
    const std::string digits = size.substr(0, size.find_first_of(" \t"));
    // Sixteen digits already go beyond any body limit.
    if (digits.empty() || digits.size() > 15) {
        throw EInvalidReply(kInvalidChunkedCoding);
    }
    const std::optional<std::size_t> value = ParseInteger<std::size_t>(digits, 16);
    if (!value) {
        throw EInvalidReply(kInvalidChunkedCoding);
    }
    return *value;
}

}  // namespace

const char* MethodName(THttpMethod method) {
    switch (method) {
        case THttpMethod::Head:
            return "HEAD";
        case THttpMethod::Post:
            return "POST";
        case THttpMethod::Get:
            break;
    }
    return "GET";
}

THttpStatusLine ParseStatusLine(const std::string& line) {
    THttpStatusLine status;
    status.Version10 = line.size() >= 8 && line.compare(5, 3, "1.0") == 0;
    status.NamesHttp = line.starts_with("HTTP/");
    const std::size_t blank = line.find(' ');
    status.Text = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    status.CodeText = status.Text.substr(0, status.Text.find(' '));
    const std::optional<std::int32_t> code = ParseInt32(status.CodeText);
    status.ValidCode = code.has_value();
    status.Code = code.value_or(0);
    return status;
}

TBodyPlan PlanReplyBody(const THttpHeaderList& headers, THttpMethod method, int statusCode,
                        const THttpReplyLimits& limits) {
    TBodyPlan plan;
    if (method == THttpMethod::Head || (statusCode >= 100 && statusCode < 200) ||
        statusCode == 204 || statusCode == 304) {
        return plan;
    }
    for (const std::string& coding : headers.ValuesOf("Transfer-Encoding")) {
        if (ContainsChunked(coding)) {
            plan.Framing = TBodyFraming::Chunked;
            return plan;
        }
    }
    const std::vector<std::string> lengths = headers.ValuesOf("Content-Length");
    if (lengths.empty()) {
        plan.Framing = TBodyFraming::UntilClose;
        return plan;
    }
    const std::optional<std::uint64_t> length = ParseInteger<std::uint64_t>(Trim(lengths.front()));
    if (!length || *length > limits.MaxBodySize) {
        throw EInvalidReply(kInvalidContentLength);
    }
    for (const std::string& other : lengths) {
        if (ParseInteger<std::uint64_t>(Trim(other)) != length) {
            throw EInvalidReply(kInvalidContentLength);
        }
    }
    plan.Framing = *length == 0 ? TBodyFraming::None : TBodyFraming::Length;
    plan.Length = static_cast<std::size_t>(*length);
    return plan;
}

std::string THttpReplyReader::ReadLimitedLine(std::size_t& used) {
    std::string line = input_.ReadLine(limits_.MaxLineLength);
    used += line.size() + 1;
    if (used > limits_.MaxHeaderBlock) {
        throw EInvalidReply(kReplyHeaderTooLarge);
    }
    return line;
}

void THttpReplyReader::ReadHeaderLines(THttpHeaderList& headers, std::size_t used) {
    for (;;) {
        std::string line = ReadLimitedLine(used);
        if (line.empty()) {
            return;
        }
        headers.Add(std::move(line));
    }
}

THttpStatusLine THttpReplyReader::ReadHead(THttpHeaderList& headers) {
    for (;;) {
        headers.Clear();
        std::size_t used = 0;
        const THttpStatusLine status = ParseStatusLine(ReadLimitedLine(used));
        if (!status.ValidCode) {
            return status;
        }
        ReadHeaderLines(headers, used);
        // 101 would switch protocols, which was never asked for: it stays
        // the final reply and fails as one.
        if (status.Code < 100 || status.Code >= 200 || status.Code == 101) {
            return status;
        }
    }
}

void THttpReplyReader::ReadBody(const TBodyPlan& plan, TNetBuffer& destination) {
    destination.SetSizeLimit(destination.Position() + limits_.MaxBodySize);
    switch (plan.Framing) {
        case TBodyFraming::None:
            break;
        case TBodyFraming::Length:
            input_.ReadBlock(destination, plan.Length);
            break;
        case TBodyFraming::Chunked:
            ReadChunkedBody(destination);
            break;
        case TBodyFraming::UntilClose:
            input_.ReadUntilEnd(destination, limits_.MaxBodySize);
            break;
    }
    // What stood beyond the position (the body of a redirect that was
    // followed) is no part of this body.
    destination.SetSize(destination.Position());
}

void THttpReplyReader::ReadChunkedBody(TNetBuffer& destination) {
    std::size_t total = 0;
    for (;;) {
        const std::size_t size = ChunkSize(input_.ReadLine(limits_.MaxLineLength));
        if (size == 0) {
            break;
        }
        if (size > limits_.MaxBodySize - total) {
            throw EInvalidReply(kReplyBodyTooLarge);
        }
        input_.ReadBlock(destination, size);
        total += size;
        // A chunk must end right after its announced size.
        if (!input_.ReadLine(limits_.MaxLineLength).empty()) {
            throw EInvalidReply(kInvalidChunkedCoding);
        }
    }
    // The trailer: header lines up to an empty line.
    THttpHeaderList trailer;
    ReadHeaderLines(trailer, 0);
}

}  // namespace tessellon
