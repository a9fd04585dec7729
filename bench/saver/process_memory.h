#pragma once
// This process's memory as the kernel counts it, for the benchmark's figures.

namespace quorvel::bench {

// Resident set size in kilobytes (VmRSS), and its peak since start or the last resetPeakResident (VmHWM).
long residentKilobytes();
long peakResidentKilobytes();
// Starts the peak over from the current resident size (false when the kernel refuses).
bool resetPeakResident();

} // namespace quorvel::bench
