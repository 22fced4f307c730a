#pragma once
// Process descriptors shared by the program and the encoder adapter.

namespace qv {

// A descriptor that becomes readable when the process ends (close-on-exec), or -1
// where the system has none: the caller then falls back to polling.
int openPidfd(int pid);

}  // namespace qv
