#include "core/step_job.h"

namespace fernhold {

int RunSteps(StepJob& job, const std::function<bool()>& stop)
{
    int steps = 0;
    while (!(stop && stop()) && job.step()) {
        ++steps;
    }
    return steps;
}

} // namespace fernhold
