#pragma once
// Every file and archive member the program reads, in one table. The code names resources
// through these constants, and the installation's content check walks the table, so a member
// the code asks for can never be missing from what the build ships.

#include <cstddef>

namespace vx::res {

// What the content check verifies about a resource.
enum class Kind {
  Text,     // any text member (message table, ini, word list, script)
  Bitmap,   // BMP with the 12- or 40-byte header
  Skin,     // BMP of a skinned control: bottom-left pixel pure green (the transparent colour)
  Wave,     // WAVE sound
  Dxg,      // picture collection
  Html,     // HTML document beside the program
  Archive,  // an archive file beside the program
};

struct Resource {
  const char* Archive;  // archive path relative to the program folder; nullptr for a plain file
  const char* Name;     // member name, or the file path relative to the program folder
  Kind What;
};

// Archives beside the program.
inline constexpr const char* kInterfaceArchive = "interface.zlb";
inline constexpr const char* kVxArchive = "vx.zlb";
inline constexpr const char* kKeyboardsArchive = "keyboards.zlb";
inline constexpr const char* kScenarioArchive = "scenario.zlb";
inline constexpr const char* kSoundsArchive = "sounds.zlb";
inline constexpr const char* kHintsArchive = "hints.zlb";

// Text members.
inline constexpr const char* kMessagesMember = "messages.txt";
inline constexpr const char* kTranslationMember = "translation.txt";
inline constexpr const char* kWordsMember = "words.txt";
inline constexpr const char* kLevelsMember = "levels.txt";
inline constexpr const char* kKeyboardsMember = "keyboards.txt";

// The whole table. Append entries as code starts reading new resources.
inline constexpr Resource kResources[] = {
    {nullptr, kInterfaceArchive, Kind::Archive},
    {kInterfaceArchive, kMessagesMember, Kind::Text},
    {kInterfaceArchive, kTranslationMember, Kind::Text},
    {kVxArchive, kLevelsMember, Kind::Text},
    {kVxArchive, kWordsMember, Kind::Text},
    {kKeyboardsArchive, kKeyboardsMember, Kind::Text},
};

inline constexpr std::size_t kResourceCount = sizeof(kResources) / sizeof(kResources[0]);

}  // namespace vx::res
