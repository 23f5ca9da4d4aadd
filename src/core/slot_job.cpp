#include "core/slot_job.h"

#include "core/user_interface.h"
#include "core/worker_slot.h"

#include <utility>

namespace fernhold {

SlotJob::SlotJob(WorkerSlot& slot, UserInterface& ui, Call call, int pollMilliseconds)
    : m_slot(slot), m_ui(ui), m_call(std::move(call)), m_pollMilliseconds(pollMilliseconds)
{}

SlotJob::~SlotJob()
{
    if (m_started && !m_finished) {
        m_cancelled = true;
        while (m_slot.waitForEnd(100) != 1) {
        }
        end();
    }
}

bool SlotJob::step()
{
    if (m_finished) {
        return false;
    }
    if (!m_started) {
        if (m_cancelled.load()) {
            m_finished = true;
            return false;
        }
        const auto stop = [this] { return m_cancelled.load(); };
        // The slot may hold a backup pass: the job waits for its turn.
        if (m_slot.start([this, stop] { m_call(stop); }, [this] { m_callEnded = true; }) == 1) {
            m_started = true;
            m_ui.setBusy(true);
        } else {
            (void)m_slot.waitForEnd(m_pollMilliseconds);
        }
        return true;
    }
    (void)m_slot.waitForEnd(m_pollMilliseconds);
    if (m_callEnded.load()) {
        end();
        return false;
    }
    return true;
}

void SlotJob::end()
{
    m_finished = true;
    m_ui.setBusy(false);
}

} // namespace fernhold
