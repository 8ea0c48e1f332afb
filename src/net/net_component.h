#pragma once
// The root of the network classes: status and progress events, and the
// process-wide socket layer, which exists while at least one network object
// does. Workers create and free their clients on their own threads while the
// main thread may do the same, so the layer's creation, release and live
// count are guarded by one process-wide lock.

#include <cstdint>
#include <functional>
#include <string>

#include "net/socket_stack.h"

namespace tessellon {

class TNetBaseComponent {
public:
    virtual ~TNetBaseComponent() = default;
};

enum class TNetStatus { Resolving, Connecting, Connected, Disconnecting, Disconnected, Text };
enum class TWorkMode { Read, Write };

class TNetComponent : public TNetBaseComponent {
public:
    TNetComponent();
    ~TNetComponent() override;
    TNetComponent(const TNetComponent&) = delete;
    TNetComponent& operator=(const TNetComponent&) = delete;

    // Called only when set. The status texts are "Resolving hostname %s.",
    // "Connecting to %s.", "Connected.", "Disconnecting from %s.",
    // "Not connected." and "%s", formatted with `argument`.
    std::function<void(TNetComponent& sender, TNetStatus status, const std::string& text)> OnStatus;
    // Progress of reading and writing: begin with the expected size (0 when
    // unknown), then the running total of the mode, then the end.
    std::function<void(TNetComponent& sender, TWorkMode mode, std::int64_t size)> OnWorkBegin;
    std::function<void(TNetComponent& sender, TWorkMode mode, std::int64_t total)> OnWork;
    std::function<void(TNetComponent& sender, TWorkMode mode)> OnWorkEnd;

    // The shared socket layer; alive as long as this object is.
    TSocketStack& Stack() const;
    // Number of live network objects in the process.
    static int LiveCount();

protected:
    void DoStatus(TNetStatus status, const std::string& argument = {});
    void BeginWork(TWorkMode mode, std::int64_t size);
    void DoWork(TWorkMode mode, std::int64_t count);
    void EndWork(TWorkMode mode);

private:
    struct TWorkState {
        int nesting = 0;
        std::int64_t total = 0;
    };
    TWorkState& Work(TWorkMode mode) { return work_[mode == TWorkMode::Read ? 0 : 1]; }

    TWorkState work_[2];
};

}  // namespace tessellon
