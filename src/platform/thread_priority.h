#pragma once

namespace fernhold {

// Lowers the calling thread to nice 19 and the idle I/O class. Only the
// worker thread calls it: an unprivileged process could never raise the
// main thread back. Gives 1 when both took effect.
int LowerCurrentThreadPriority();

} // namespace fernhold
