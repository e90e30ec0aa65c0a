// Exercise text made without a lesson file: lines of words from the word list words.txt that use
// only the allowed letters and many of the emphasised ones, and lines of random letter groups.
// Both generators append to the caller's list, keep no state and draw from the program's
// pseudo-random generator (so a fixed RandSeed repeats an exercise).
#pragma once

#include <string>

#include "platform/core/classes.h"

// Words from words.txt in vx.zlb beside the program (read again on every call; a missing archive
// or member counts as an empty word list).
//
// A word qualifies when every letter is in Allowed (empty: any letter); its score is the share of
// its letters that are in Emphasis (empty: every letter counts) plus a random term below 0.001
// that breaks ties. The candidates are taken best first.
//   Width 0: a plain list, one word a line: Count + 1 words (all candidates when Count <= 0).
//   Width > 0: lines shorter than Width (a word longer than Width gets a line of its own); Count
//   counts the blanks between words, and a line ending after a single word counts once too, so
//   the text always ends. When the candidates run out they are used again from the best.
//   Width < 0 counts as 1.
// No candidate adds nothing. Never adds an empty line. Returns List's count afterwards.
int GenerateWords(TStrings* List, const std::string& Allowed, const std::string& Emphasis, int Count, int Width);
// The same over a word list the caller holds (the gallery, tests and benchmarks).
int GenerateWordsFrom(const TStrings& Words, TStrings* List, const std::string& Allowed, const std::string& Emphasis,
                      int Count, int Width);
// The words of words.txt in the given archive file; false when it cannot be read.
bool LoadWordList(const std::string& ArchiveFile, TStrings* Words);

// Lines of groups of one to three letters, a blank between groups, Count + 1 letters in all.
// A letter comes from Allowed with probability 1/4 (when Allowed is not empty), else from
// Emphasis. An empty Emphasis falls back to Allowed, and both empty to the home row "asdfjkl;".
// A line ends once it is Width long or longer (so it may be Width + 1 long); Width below 1
// counts as 1. Returns 0.
int GenerateLetters(TStrings* List, const std::string& Allowed, const std::string& Emphasis, int Count, int Width);
