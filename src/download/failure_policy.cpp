#include "download/failure_policy.h"

#include <array>

#include "net/net_errors.h"

namespace tessellon {

namespace {

struct FailureRule {
    FailureRow row;
    std::array<const char*, 2> needles;  // either substring selects the row
    RetryPause pause;                    // before each further attempt
    bool retriesWithoutGivingUp;         // until kMaxAttemptsPerTile, then as Other
    FailureOutcome giveUp;               // from the third attempt on
};

// Row | message contains | pause before a retry | retries past 3 attempts |
// gives up with. Kept as a table by hand: one row a line.
// clang-format off
constexpr FailureRule kRules[] = {
    {FailureRow::ResetOrClosed, {"10054", "Connection Closed Gracefully"}, RetryPause::None,         true,  FailureOutcome::BlankWithErrorLine},
    {FailureRow::AddressInUse,  {"10048", nullptr},                        RetryPause::AddressInUse, true,  FailureOutcome::BlankWithErrorLine},
    {FailureRow::Refused,       {"302", "403"},                            RetryPause::Short,        false, FailureOutcome::EndWorkerBanned},
    {FailureRow::SocketError,   {"Socket Error", nullptr},                 RetryPause::Socket,       false, FailureOutcome::EndWorkerNetwork},
    {FailureRow::NotFound,      {"404", "400"},                            RetryPause::Short,        false, FailureOutcome::BlankNotFound},
};
constexpr FailureRule kTlsHandshakeRule =
    {FailureRow::TlsHandshake,  {kTlsHandshakeFailed, nullptr},            RetryPause::None,         false, FailureOutcome::EndWorkerNetwork};
constexpr FailureRule kProxyRefusedRule =
    {FailureRow::ProxyRefused,  {kProxyRefusedConnect, nullptr},           RetryPause::None,         false, FailureOutcome::EndWorkerNetwork};
constexpr FailureRule kOtherRule =
    {FailureRow::Other,         {nullptr, nullptr},                        RetryPause::Short,        false, FailureOutcome::BlankWithErrorLine};
constexpr FailureRule kNoMessageRule =
    {FailureRow::NoMessage,     {nullptr, nullptr},                        RetryPause::Short,        false, FailureOutcome::BlankWithTileFailedLine};
// clang-format on

// The re-download's own rows: only a reset is tried again, at once, and a
// refusal, the server's or the proxy's, ends the whole list. The proxy's
// comes first: its status is not the server's.
struct RedownloadRule {
    std::array<const char*, 2> needles;  // either substring selects the row
    // Retry: at once, until kMaxAttemptsPerTile attempts; then the rows
    // below it decide as if it were not there.
    RedownloadOutcome outcome;
};

// Message contains | outcome
constexpr RedownloadRule kRedownloadRules[] = {
    {{kProxyRefusedConnect, nullptr}, RedownloadOutcome::ErrorLineAndProxyAdviceEndsList},
    {{"10054", nullptr}, RedownloadOutcome::Retry},
    {{"302", "403"}, RedownloadOutcome::ErrorLineAndBanEndsList},
    {{"404", nullptr}, RedownloadOutcome::ErrorAndNotFoundLines},
};
constexpr RedownloadOutcome kRedownloadOther = RedownloadOutcome::ErrorLine;
constexpr RedownloadOutcome kRedownloadNoMessage = RedownloadOutcome::Unreported;

bool Contains(const std::string& message, const std::array<const char*, 2>& needles) {
    for (const char* needle : needles) {
        if (needle != nullptr && message.find(needle) != std::string::npos) {
            return true;
        }
    }
    return false;
}

const FailureRule& RuleFor(const std::optional<std::string>& message) {
    if (!message) {
        return kNoMessageRule;
    }
    // Their texts may hold any status code: they come before the rows
    // that look for one.
    for (const FailureRule* rule : {&kTlsHandshakeRule, &kProxyRefusedRule}) {
        if (Contains(*message, rule->needles)) {
            return *rule;
        }
    }
    for (const FailureRule& rule : kRules) {
        if (Contains(*message, rule.needles)) {
            return rule;
        }
    }
    return kOtherRule;
}

const FailureRule& RuleOfRow(FailureRow row) {
    for (const FailureRule* rule :
         {&kTlsHandshakeRule, &kProxyRefusedRule, &kOtherRule, &kNoMessageRule}) {
        if (rule->row == row) {
            return *rule;
        }
    }
    for (const FailureRule& rule : kRules) {
        if (rule.row == row) {
            return rule;
        }
    }
    return kOtherRule;
}

FailureDecision Decide(const FailureRule& rule, int attempt) {
    if (rule.row == FailureRow::TlsHandshake || rule.row == FailureRow::ProxyRefused) {
        return {rule.row, rule.giveUp, RetryPause::None};
    }
    if (rule.retriesWithoutGivingUp) {
        if (attempt < kMaxAttemptsPerTile) {
            return {rule.row, FailureOutcome::Retry, rule.pause};
        }
        return {rule.row, kOtherRule.giveUp, RetryPause::None};
    }
    if (attempt < kAttemptsBeforeGivingUp) {
        return {rule.row, FailureOutcome::Retry, rule.pause};
    }
    return {rule.row, rule.giveUp, RetryPause::None};
}

}  // namespace

FailureRow ClassifyFailure(const std::optional<std::string>& message) {
    return RuleFor(message).row;
}

FailureDecision DecideOnFailure(const std::optional<std::string>& message, int attempt) {
    return Decide(RuleFor(message), attempt);
}

FailureDecision DecideOnFailure(FailureRow row, int attempt) {
    return Decide(RuleOfRow(row), attempt);
}

RedownloadOutcome DecideOnRedownloadFailure(const std::optional<std::string>& message,
                                            int attempt) {
    if (!message) {
        return kRedownloadNoMessage;
    }
    for (const RedownloadRule& rule : kRedownloadRules) {
        const bool spent =
            rule.outcome == RedownloadOutcome::Retry && attempt >= kMaxAttemptsPerTile;
        if (!spent && Contains(*message, rule.needles)) {
            return rule.outcome;
        }
    }
    return kRedownloadOther;
}

}  // namespace tessellon
