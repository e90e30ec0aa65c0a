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

// Replaces the generator behind Random and RandomFloat (a test scripts the numbers a game or a
// generator draws): Random(Range) returns Source(Range) clamped to 0 .. Range-1, RandomFloat
// Source(0x10000) / 65536. nullptr restores the generator. Returns the source installed before.
using TRandomSource = int32_t (*)(int32_t Range);
TRandomSource SetRandomSource(TRandomSource Source);
