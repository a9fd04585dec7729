#pragma once
// Background work that shares the processor with playback. Qt's thread priorities change nothing
// for ordinary threads here, so a thread that must give way says so itself.

namespace quorvel::platform {

// Lowers the calling thread, and only it, to the scheduler's background share (nice 10 above the
// process's own), so decoding and painting come first when the processor is busy and the work
// still runs at full speed when it is not. Calling it again changes nothing.
void lowerCurrentThreadPriority();

} // namespace quorvel::platform
