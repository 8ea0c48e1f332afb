#include "download/refresh_job.h"

#include <openssl/evp.h>

#include <algorithm>
#include <charconv>

#include "net/internet_date.h"

namespace tessellon {

RefreshAsk RefreshJob::Decide(const TileValidators* known, bool missingOrBlank,
                              std::optional<std::int64_t> fileTime) const {
    if (missingOrBlank) {
        return RefreshAsk::Plain;
    }
    if (askFetchedBefore_) {
        const std::optional<std::int64_t> fetched = known ? known->FetchedAt : fileTime;
        if (fetched && *fetched >= *askFetchedBefore_) {
            return RefreshAsk::Skip;
        }
    }
    // A date the request cannot carry is no validator.
    if (known != nullptr &&
        (!known->ETag.empty() ||
         (known->LastModified && CarriesAsInternetDate(*known->LastModified)))) {
        return RefreshAsk::Conditional;
    }
    return RefreshAsk::Plain;
}

void RefreshJob::WalkFrom(const TileCover& cover, std::int64_t finishedUpTo) {
    const std::scoped_lock lock(walkMutex_, heldMutex_);
    next_ = cover.From(finishedUpTo + 1);
    nextSeq_ = next_->Seq();
}

std::optional<RefreshJob::Position> RefreshJob::Take(std::int32_t slot) {
    const std::lock_guard lock(walkMutex_);
    if (!next_ || !next_->Valid()) {
        return std::nullopt;
    }
    const TileId tile = next_->Tile();
    Position position{tile, next_->Seq(), store_.Find(tile)};
    next_->Advance(1);
    const std::lock_guard heldLock(heldMutex_);
    held_[static_cast<std::size_t>(slot)].push_back(position.Seq);
    nextSeq_ = next_->Seq();
    return position;
}

void RefreshJob::Finish(std::int32_t slot, std::int64_t seq) {
    const std::lock_guard lock(heldMutex_);
    std::deque<std::int64_t>& held = held_[static_cast<std::size_t>(slot)];
    if (const auto found = std::ranges::find(held, seq); found != held.end()) {
        held.erase(found);
    }
}

std::int64_t RefreshJob::FinishedUpTo() const {
    const std::lock_guard lock(heldMutex_);
    std::int64_t firstOpen = nextSeq_;
    for (const std::deque<std::int64_t>& held : held_) {
        if (!held.empty()) {
            firstOpen = std::min(firstOpen, held.front());
        }
    }
    return firstOpen - 1;
}

RefreshCounts RefreshJob::Counts() const {
    const auto count = [this](RefreshOutcome outcome) {
        return counts_[static_cast<std::size_t>(outcome)].load();
    };
    return {count(RefreshOutcome::Changed), count(RefreshOutcome::Unchanged),
            count(RefreshOutcome::Kept), count(RefreshOutcome::Skipped),
            count(RefreshOutcome::Failed)};
}

std::string Sha1Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr) != 1) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

std::optional<std::int64_t> ParseAge(std::string_view text) {
    if (text.size() < 2) {
        return std::nullopt;
    }
    std::int64_t unit = 0;
    switch (text.back()) {
        case 'd':
            unit = 86400;
            break;
        case 'h':
            unit = 3600;
            break;
        case 'm':
            unit = 60;
            break;
        case 's':
            unit = 1;
            break;
        default:
            return std::nullopt;
    }
    std::int64_t count = 0;
    const std::string_view digits = text.substr(0, text.size() - 1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (error != std::errc() || end != digits.data() + digits.size() || count < 0 ||
        count > 100L * 365 * 86400 / unit) {
        return std::nullopt;
    }
    return count * unit;
}

}  // namespace tessellon
