// The interface between the tutor program and the comment builder library libremarkor.so.
//
// Both sides compile this header. The program fills a TCommBiuldRec with the figures of one finished
// exercise, creates a string list and calls the library's one export, Build, found by name. Build
// clears the list, adds the comment sentences (one line each, CP1250 text) and sets *Passed.
// The program creates and frees the list; both sides run on one C++ runtime and one heap, so the
// strings added inside the library are released by the program.
//
// Record layout (little-endian, no implicit padding, 80 bytes; the offsets are part of the
// interface and are checked below):
//
//   offset  size  field        meaning
//        0     8  Cpm          speed, characters per minute (double)
//        8     8  Accuracy     accuracy in percent, 0..100 (double)
//       16     8  AvErrRatio   mean absolute speed deviation divided by Cpm (double)
//       24    16  Reserved     two doubles, not written by the program, not read by Build
//       40     4  Count        characters counted (int32)
//       44     4  Errors       errors (int32)
//       48     4  Duration     duration in whole seconds (int32)
//       52     4  Padding
//       56     8  AvErr        mean absolute deviation of the keystroke speed (double)
//       64     8  AvIdx        mean relative change between consecutive keystroke speeds (double)
//       72     4  Name         student's name, string handle (uint32)
//       76     4  Sex          student's sex, string handle (uint32)
//
// Strings: the two string slots are four bytes wide, too narrow for a 64-bit pointer, so a string
// travels as a 32-bit handle into a TCommStrTable that the program owns for the duration of the
// call. Handle 0 is the empty string. Build reads only Cpm, Accuracy, AvErrRatio, Count and AvIdx,
// so it never resolves the handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TStrings;

using TCommStrHandle = std::uint32_t;

struct TCommBiuldRec {
  double Cpm = 0;
  double Accuracy = 0;
  double AvErrRatio = 0;
  double Reserved[2] = {0, 0};
  std::int32_t Count = 0;
  std::int32_t Errors = 0;
  std::int32_t Duration = 0;
  std::int32_t Padding = 0;
  double AvErr = 0;
  double AvIdx = 0;
  TCommStrHandle Name = 0;
  TCommStrHandle Sex = 0;
};

static_assert(sizeof(double) == 8 && sizeof(bool) == 1,
              "the record and the flag need 8-byte doubles and 1-byte bools");
static_assert(offsetof(TCommBiuldRec, Cpm) == 0);
static_assert(offsetof(TCommBiuldRec, Accuracy) == 8);
static_assert(offsetof(TCommBiuldRec, AvErrRatio) == 16);
static_assert(offsetof(TCommBiuldRec, Reserved) == 24);
static_assert(offsetof(TCommBiuldRec, Count) == 40);
static_assert(offsetof(TCommBiuldRec, Errors) == 44);
static_assert(offsetof(TCommBiuldRec, Duration) == 48);
static_assert(offsetof(TCommBiuldRec, AvErr) == 56);
static_assert(offsetof(TCommBiuldRec, AvIdx) == 64);
static_assert(offsetof(TCommBiuldRec, Name) == 72);
static_assert(offsetof(TCommBiuldRec, Sex) == 76);
static_assert(sizeof(TCommBiuldRec) == 80);

// The strings a record's handles refer to. The program keeps the table alive while the record is in
// use; handles are 1-based indexes, 0 is the empty string, an unknown handle reads as empty.
class TCommStrTable {
 public:
  TCommStrHandle Add(const std::string& S) {
    if (S.empty()) return 0;
    Items.push_back(S);
    return static_cast<TCommStrHandle>(Items.size());
  }
  const std::string& Get(TCommStrHandle H) const {
    static const std::string Empty;
    return (H == 0 || H > Items.size()) ? Empty : Items[H - 1];
  }

 private:
  std::vector<std::string> Items;
};

// The library's one export, with C linkage so that it is found by the plain name "Build": a program
// that links libremarkor.so calls it directly; a loader that opens the library with dlopen looks it
// up with dlsym and calls it through TBuildProc.
extern "C" __attribute__((visibility("default"))) void Build(TStrings* List, const TCommBiuldRec* Rec,
                                                             bool* Passed);
using TBuildProc = void (*)(TStrings* List, const TCommBiuldRec* Rec, bool* Passed);

// File name of the library for dlopen, and the name of its export.
inline constexpr const char* RemarkorLibraryName = "libremarkor.so";
inline constexpr const char* RemarkorBuildSymbol = "Build";
