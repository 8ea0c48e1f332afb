#include "net/net_component.h"

#include <memory>
#include <mutex>

namespace tessellon {

namespace {

std::mutex stackLock;
std::unique_ptr<TSocketStack> stack;
int liveCount = 0;

std::string StatusText(TNetStatus status, const std::string& argument) {
    switch (status) {
        case TNetStatus::Resolving:
            return "Resolving hostname " + argument + ".";
        case TNetStatus::Connecting:
            return "Connecting to " + argument + ".";
        case TNetStatus::Connected:
            return "Connected.";
        case TNetStatus::Disconnecting:
            return "Disconnecting from " + argument + ".";
        case TNetStatus::Disconnected:
            return "Not connected.";
        case TNetStatus::Text:
            break;
    }
    return argument;
}

}  // namespace

TNetComponent::TNetComponent() {
    const std::lock_guard<std::mutex> guard(stackLock);
    if (!stack) {
        stack = std::make_unique<TSocketStack>();
    }
    ++liveCount;
}

TNetComponent::~TNetComponent() {
    const std::lock_guard<std::mutex> guard(stackLock);
    if (--liveCount == 0) {
        stack.reset();
    }
}

TSocketStack& TNetComponent::Stack() const {
    return *stack;
}

int TNetComponent::LiveCount() {
    const std::lock_guard<std::mutex> guard(stackLock);
    return liveCount;
}

void TNetComponent::DoStatus(TNetStatus status, const std::string& argument) {
    if (OnStatus) {
        OnStatus(*this, status, StatusText(status, argument));
    }
}

void TNetComponent::BeginWork(TWorkMode mode, std::int64_t size) {
    TWorkState& state = Work(mode);
    if (state.nesting++ == 0) {
        state.total = 0;
        if (OnWorkBegin) {
            OnWorkBegin(*this, mode, size);
        }
    }
}

void TNetComponent::DoWork(TWorkMode mode, std::int64_t count) {
    TWorkState& state = Work(mode);
    state.total += count;
    if (OnWork) {
        OnWork(*this, mode, state.total);
    }
}

void TNetComponent::EndWork(TWorkMode mode) {
    TWorkState& state = Work(mode);
    if (state.nesting > 0 && --state.nesting == 0 && OnWorkEnd) {
        OnWorkEnd(*this, mode);
    }
}

}  // namespace tessellon
