#pragma once

#include <functional>

namespace fernhold {

// A long user-driven job cut into small units, so no single call keeps the
// GUI thread away from its events: a window's timer calls step() and redraws
// after each, the command line runs them in a loop (RunSteps).
class StepJob
{
public:
    virtual ~StepJob() = default;

    // One unit of work. False when the job has nothing more to do.
    [[nodiscard]] virtual bool step() = 0;
};

// Steps `job` until it is over or `stop` (when given) says so between two
// steps. Gives the number of steps that did work.
int RunSteps(StepJob& job, const std::function<bool()>& stop = {});

} // namespace fernhold
