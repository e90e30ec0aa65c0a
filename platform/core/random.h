// The process-wide pseudo-random generator: a 32-bit linear congruential generator
// (seed := seed * 134775813 + 1), so a given RandSeed always yields the same sequence.
// Not thread-safe: the program draws random numbers on its one GUI thread (the engine's lock
// retries draw too; a lost update there only changes which number is drawn).
#pragma once

#include <cstdint>

// The generator's state; set it to repeat a sequence (tests do).
extern uint32_t RandSeed;
// Seeds the generator from the clock.
void Randomize();
// A uniform integer in 0 .. Range-1; 0 when Range <= 0.
int32_t Random(int32_t Range);
// A uniform value in [0, 1).
double RandomFloat();
