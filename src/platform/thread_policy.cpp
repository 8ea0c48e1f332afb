#include "platform/thread_policy.h"

#include <pthread.h>
#include <sched.h>

namespace tessellon {

void RunThisThreadAsBulkWork() {
    int policy = 0;
    sched_param parameters{};
    if (pthread_getschedparam(pthread_self(), &policy, &parameters) != 0 || policy != SCHED_OTHER) {
        return;
    }
    // SCHED_BATCH takes no static priority; the nice value stays as it was.
    const sched_param none{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &none);
}

}  // namespace tessellon
