// Stand-ins for what the command processor calls outward, checking each
// call against the command language, for the fuzz targets.
#pragma once

#include <cstdint>

void FuzzWorldReset(void);
void FuzzAdvanceClock(unsigned seconds);
std::int64_t FuzzNow(void);

// Aborts with the message when the condition does not hold, so that the
// fuzzer keeps the input.
void FuzzCheck(bool condition, const char *message);
