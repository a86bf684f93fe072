// The client's version string, kept once: the options' sound page shows its
// name part, the update store compares it with the server's.
#pragma once

constexpr const char kClientVersionString[] = "$VER: QoE-Client 'Enhanced' V0.57 R11 (18.06.2009)";
