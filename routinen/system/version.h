// The client's version string, kept once: the options' sound page shows its
// name part, the update store compares the three digits behind its "V" with
// an update's.
#pragma once

inline constexpr const char kClientVersionString[] = "$VER: QoE-Client 'Enhanced' V0.57 R11 (18.06.2009)";
