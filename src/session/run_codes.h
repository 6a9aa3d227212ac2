#pragma once

namespace ov {

// The codes a run ends with; in command-line mode they become the exit status.
inline constexpr int kCodePortMissing = 100;
inline constexpr int kCodeBadArguments = 102;
inline constexpr int kCodeHandshakeTimeout = 108;
inline constexpr int kCodeDone = 200;
inline constexpr int kCodeFault = 300;

}  // namespace ov
