#include "download/failure_policy.h"

#include <gtest/gtest.h>

#include "download/failed_list.h"
#include "net/net_errors.h"

namespace tessellon {
namespace {

const std::string kCrLf = "\r\n";

TEST(FailurePolicy, TheFirstMatchingRowDecides) {
    const struct {
        std::optional<std::string> message;
        FailureRow row;
    } cases[] = {
        {"Socket Error # 10054" + kCrLf + "Connection reset by peer.", FailureRow::ResetOrClosed},
        {"Connection Closed Gracefully.", FailureRow::ResetOrClosed},
        {"Socket Error # 10048" + kCrLf + "Address already in use.", FailureRow::AddressInUse},
        {"HTTP/1.1 302 Found", FailureRow::Refused},
        {"403 Forbidden", FailureRow::Refused},
        {"Socket Error # 10061" + kCrLf + "Connection refused.", FailureRow::SocketError},
        {"Socket Error # 10060" + kCrLf + "Connection timed out.", FailureRow::SocketError},
        {"404 Not Found", FailureRow::NotFound},
        {"400 Bad Request", FailureRow::NotFound},
        {"503 Service Unavailable", FailureRow::Other},
        {"", FailureRow::Other},
        {"socket error 404", FailureRow::NotFound},  // case-sensitive: not "Socket Error"
        {"Socket Error # 11001" + kCrLf + "Host not found. 403", FailureRow::Refused},
        {std::nullopt, FailureRow::NoMessage},
        {"TLS handshake failed: certificate verify failed (self-signed certificate)",
         FailureRow::TlsHandshake},
        // The proxy's status is not the tile server's.
        {"The proxy refused CONNECT: 403 Forbidden", FailureRow::ProxyRefused},
        {"The proxy refused CONNECT: 407 Proxy Authentication Required", FailureRow::ProxyRefused},
        // The stream after a handshake fails like a reset.
        {"TLS read failed: bad record mac (Socket Error # 10054)", FailureRow::ResetOrClosed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyFailure(c.message), c.row) << c.message.value_or("(none)");
    }
}

TEST(FailurePolicy, AFailedTlsHandshakeEndsTheWorkerWithoutARetry) {
    for (const char* reason : {"certificate verify failed (certificate has expired)",
                               "wrong version number", "the server closed the connection"}) {
        const FailureDecision d =
            DecideOnFailure(std::string("TLS handshake failed: ") + reason, 1);
        EXPECT_EQ(d.Outcome, FailureOutcome::EndWorkerNetwork) << reason;
    }
}

TEST(FailurePolicy, AProxyThatRefusesTheTunnelEndsTheWorkerWithoutARetry) {
    for (const char* status : {"403 Forbidden", "407 Proxy Authentication Required", "302 Found",
                               "404 Not Found", "502 Bad Gateway"}) {
        const FailureDecision d = DecideOnFailure(std::string(kProxyRefusedConnect) + status, 1);
        EXPECT_EQ(d.Row, FailureRow::ProxyRefused) << status;
        EXPECT_EQ(d.Outcome, FailureOutcome::EndWorkerNetwork) << status;
    }
}

// A failure whose row is known decides as a message of that row does, and
// its text cannot pull it into another row.
TEST(FailurePolicy, AKnownRowDecidesAsItsMessagesDo) {
    const struct {
        std::optional<std::string> message;
        FailureRow row;
    } cases[] = {
        {"TLS handshake failed: wrong version number", FailureRow::TlsHandshake},
        {"The proxy refused CONNECT: 403 Forbidden", FailureRow::ProxyRefused},
        {"Socket Error # 10054" + kCrLf + "Connection reset by peer.", FailureRow::ResetOrClosed},
        {"Socket Error # 10048" + kCrLf + "Address already in use.", FailureRow::AddressInUse},
        {"403 Forbidden", FailureRow::Refused},
        {"Socket Error # 10061" + kCrLf + "Connection refused.", FailureRow::SocketError},
        {"404 Not Found", FailureRow::NotFound},
        {"Not an image (text/html, 197 bytes).", FailureRow::Other},
        {std::nullopt, FailureRow::NoMessage},
    };
    for (const auto& c : cases) {
        for (int attempt = 1; attempt <= kMaxAttemptsPerTile; ++attempt) {
            const FailureDecision byMessage = DecideOnFailure(c.message, attempt);
            const FailureDecision byRow = DecideOnFailure(c.row, attempt);
            EXPECT_EQ(byRow.Row, c.row);
            EXPECT_EQ(byRow.Outcome, byMessage.Outcome) << c.message.value_or("") << attempt;
            EXPECT_EQ(byRow.Pause, byMessage.Pause) << c.message.value_or("") << attempt;
        }
    }
    const std::string page = "Not an image (text/html, 404 bytes).";
    EXPECT_EQ(DecideOnFailure(page, 3).Outcome, FailureOutcome::BlankNotFound);
    EXPECT_EQ(DecideOnFailure(FailureRow::Other, 3).Outcome, FailureOutcome::BlankWithErrorLine);
}

TEST(FailurePolicy, RowsThreeToSevenRetryTwiceWithTheirPauseThenGiveUp) {
    const struct {
        std::optional<std::string> message;
        RetryPause pause;
        FailureOutcome giveUp;
    } cases[] = {
        {"403 Forbidden", RetryPause::Short, FailureOutcome::EndWorkerBanned},
        {"Socket Error # 10061" + kCrLf + "Connection refused.", RetryPause::Socket,
         FailureOutcome::EndWorkerNetwork},
        {"404 Not Found", RetryPause::Short, FailureOutcome::BlankNotFound},
        {"503 Service Unavailable", RetryPause::Short, FailureOutcome::BlankWithErrorLine},
        {std::nullopt, RetryPause::Short, FailureOutcome::BlankWithTileFailedLine},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.value_or("(none)"));
        for (int attempt : {1, 2}) {
            const FailureDecision d = DecideOnFailure(c.message, attempt);
            EXPECT_EQ(d.Outcome, FailureOutcome::Retry);
            EXPECT_EQ(d.Pause, c.pause);
        }
        EXPECT_EQ(DecideOnFailure(c.message, 3).Outcome, c.giveUp);
    }
}

TEST(FailurePolicy, ResetsAndBusyAddressesRetryUntilTheBoundThenCountAsOtherFailures) {
    const std::string reset = "Socket Error # 10054" + kCrLf + "Connection reset by peer.";
    const std::string busy = "Socket Error # 10048" + kCrLf + "Address already in use.";
    for (int attempt = 1; attempt < kMaxAttemptsPerTile; ++attempt) {
        EXPECT_EQ(DecideOnFailure(reset, attempt).Outcome, FailureOutcome::Retry);
        EXPECT_EQ(DecideOnFailure(reset, attempt).Pause, RetryPause::None);
        EXPECT_EQ(DecideOnFailure(busy, attempt).Pause, RetryPause::AddressInUse);
    }
    EXPECT_EQ(DecideOnFailure(reset, kMaxAttemptsPerTile).Outcome,
              FailureOutcome::BlankWithErrorLine);
    EXPECT_EQ(DecideOnFailure(busy, kMaxAttemptsPerTile).Outcome,
              FailureOutcome::BlankWithErrorLine);
    // Attempts spent on resets count: two resets, then a 503 on the third.
    EXPECT_EQ(DecideOnFailure("503 Service Unavailable", 3).Outcome,
              FailureOutcome::BlankWithErrorLine);
}

TEST(FailurePolicy, TheRedownloadRetriesOnlyResetsAtOnceAndThenTheRowsBelowDecide) {
    const std::string reset = "Socket Error # 10054" + kCrLf + "Connection reset by peer.";
    const struct {
        std::optional<std::string> message;
        int attempt;
        RedownloadOutcome outcome;
    } cases[] = {
        {reset, 1, RedownloadOutcome::Retry},
        {reset, kMaxAttemptsPerTile - 1, RedownloadOutcome::Retry},
        {reset, kMaxAttemptsPerTile, RedownloadOutcome::ErrorLine},
        {reset + " 403", kMaxAttemptsPerTile - 1, RedownloadOutcome::Retry},
        {reset + " 403", kMaxAttemptsPerTile, RedownloadOutcome::ErrorLineAndBanEndsList},
        // No row of their own here, unlike in a worker's table.
        {"Connection Closed Gracefully.", 1, RedownloadOutcome::ErrorLine},
        {"400 Bad Request", 1, RedownloadOutcome::ErrorLine},
        {"HTTP/1.1 302 Found", 1, RedownloadOutcome::ErrorLineAndBanEndsList},
        {"403 Forbidden 404", 1, RedownloadOutcome::ErrorLineAndBanEndsList},
        // A proxy's refusal is no ban by the server, whatever its status.
        {std::string(kProxyRefusedConnect) + "403 Forbidden", 1,
         RedownloadOutcome::ErrorLineAndProxyAdviceEndsList},
        {std::string(kProxyRefusedConnect) + "407 Proxy Authentication Required", 1,
         RedownloadOutcome::ErrorLineAndProxyAdviceEndsList},
        {"404 Not Found", 1, RedownloadOutcome::ErrorAndNotFoundLines},
        {"Socket Error # 10061" + kCrLf + "Connection refused.", 1, RedownloadOutcome::ErrorLine},
        {"", 1, RedownloadOutcome::ErrorLine},
        {std::nullopt, 1, RedownloadOutcome::Unreported},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecideOnRedownloadFailure(c.message, c.attempt), c.outcome)
            << c.message.value_or("(none)") << ", attempt " << c.attempt;
    }
}

TEST(FailedList, RecordsSplitAtTheFirstBar) {
    EXPECT_EQ(FormatFailedRecord("/t/a/yn_1_2_3.png", "http://h/x?y=1"),
              "/t/a/yn_1_2_3.png|http://h/x?y=1");
    const auto record = ParseFailedRecord("/t/a.png|http://h/u|v");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->Path, "/t/a.png");
    EXPECT_EQ(record->Url, "http://h/u|v");
    EXPECT_FALSE(ParseFailedRecord("no bar here").has_value());
    const auto empty = ParseFailedRecord("|");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->Path, "");
    EXPECT_EQ(empty->Url, "");
}

}  // namespace
}  // namespace tessellon
