// The fonts behind the substituted families: an older package of the same Liberation families
// installed beside the program's own must not decide the glyphs.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/gui/qtbridge.h"

namespace {

namespace fs = std::filesystem;

const char kProgramLiberation[] = "/usr/share/fonts/truetype/liberation2";

std::vector<std::string> FilesOfFamily(const char* family) {
  std::vector<std::string> files;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, nullptr);
  FcFontSet* set = FcFontList(nullptr, pattern, objects);
  for (int i = 0; set && i < set->nfont; ++i) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) == FcResultMatch)
      files.push_back(reinterpret_cast<const char*>(file));
  }
  if (set) FcFontSetDestroy(set);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return files;
}

TEST(ProgramFonts, LiberationFamiliesComeOnlyFromTheProgramsFolder) {
  if (!fs::exists(fs::path(kProgramLiberation) / "LiberationSans-Regular.ttf"))
    GTEST_SKIP() << "the program's Liberation fonts are not installed";
  // A second "Liberation Sans" in another folder stands for an older package of the family.
  char tmpl[] = "/tmp/vxfonts.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  fs::copy_file(fs::path(kProgramLiberation) / "LiberationSans-Regular.ttf", dir / "LiberationSans-Regular.ttf");
  const char* old = getenv("FONTCONFIG_FILE");
  const std::string saved = old ? old : "";
  const fs::path conf = dir / "fonts.conf";
  std::ofstream(conf) << "<?xml version=\"1.0\"?>\n<fontconfig>\n"
                      << (old ? "<include ignore_missing=\"yes\">" + saved + "</include>\n"
                              : std::string("<include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n"))
                      << "<dir>" << dir.string() << "</dir>\n<cachedir>" << (dir / "cache").string()
                      << "</cachedir>\n</fontconfig>\n";
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  FcConfig* plain = FcInitLoadConfigAndFonts();
  ASSERT_NE(plain, nullptr);
  FcConfigSetCurrent(plain);
  FcConfigDestroy(plain);
  bool seen = false;
  for (const std::string& f : FilesOfFamily("Liberation Sans")) seen = seen || f.rfind(dir.string(), 0) == 0;
  EXPECT_TRUE(seen) << "the second copy is not visible: the check below would prove nothing";

  PreferProgramFonts();
  for (const char* family : {"Liberation Sans", "Liberation Serif", "Liberation Mono"}) {
    SCOPED_TRACE(family);
    const std::vector<std::string> files = FilesOfFamily(family);
    EXPECT_FALSE(files.empty());
    for (const std::string& f : files) EXPECT_EQ(f.rfind(kProgramLiberation, 0), 0u) << f;
  }
  EXPECT_FALSE(FilesOfFamily("DejaVu Sans").empty());  // the other families stay

  if (old) setenv("FONTCONFIG_FILE", saved.c_str(), 1);
  else unsetenv("FONTCONFIG_FILE");
  PreferProgramFonts();
  fs::remove_all(dir);
}

}  // namespace
