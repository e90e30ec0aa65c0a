// The gallery game's settings: gallery/gallery.xml (the theme archives, the default theme and
// level, the levels) and the list of picture themes found beside the program. Both are
// program-wide and live until FreeGalleryConfig.
#pragma once

#include <string>
#include <vector>

class TStrings;
class TXMLNode;

struct TThemeItem {
  std::string Name;      // the theme's "#ThemeName"
  std::string FileName;  // the theme archive, absolute
  bool IsDefault = false;  // the archive's file name is DefTheme (case counts)
};

// One level as the game uses it.
struct TGalleryLevel {
  std::string Name;
  int MaxTimePerChar = 0, ColCnt = 0, RowCnt = 0, GameTime = 0, WordsCnt = 0;
};

// A picture line of a theme's titles member.
struct TGalleryPicture {
  std::string Member, Title;
};

// The parsed gallery.xml, or nullptr before LoadGalleryConfig.
extern TXMLNode* GalleryConfig;
extern std::vector<TThemeItem> GalleryThemes;

// Reads gallery/gallery.xml whole and parses it; the previous document is freed only when the new
// one parsed. A missing file or an XML error raises an Exception naming the file.
void LoadGalleryConfig();
// Clears and refills GalleryThemes from the archives matching ThemeMask, in file-name order.
// An archive without its titles member raises. Loads the configuration first when there is none.
void LoadGalleryThemes();
void FreeGalleryConfig();

// Gallery/Params/<Name> as text or integer (raises when missing or not a number).
std::string GalleryParam(const std::string& Name);
int GalleryIntParam(const std::string& Name);
// The levels' container: Gallery/Levels, or Gallery/Params/Levels when the file has only that
// one. The games page and the course runner both read the levels through it.
const TXMLNode* GalleryLevelsNode();
// The level elements in order (attributes of the container are not levels).
std::vector<const TXMLNode*> GalleryLevelNodes();
// Level Index read whole (raises when it is out of range or a value is missing or no number).
TGalleryLevel ReadGalleryLevel(int Index);
// DefLevel moved into the range of the levels (0 when there are none).
int GalleryDefaultLevel();
// The index of the last default theme of GalleryThemes, 0 when none is marked.
int GalleryDefaultTheme();

// The picture lines of a titles member: non-empty lines not starting with '#' that hold '='.
std::vector<TGalleryPicture> GalleryPictures(const TStrings& Titles);

// What is wrong with the installed gallery content: the configuration, every level, the default
// level, the themes, and every titled picture (present, .bmp or .jpg, 728 x 486). Empty: all is
// well.
std::vector<std::string> CheckGalleryContent();
