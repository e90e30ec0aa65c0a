#include <gtest/gtest.h>

#include <memory>

#include "controls/xmlreader.h"
#include "games/GalleryConfig.h"
#include "games/GalleryPage.h"
#include "games/GalleryScene.h"
#include "games/XmlValue.h"
#include "games/tests/gallery_fixture.h"
#include "platform/core/classes.h"
#include "platform/core/fileutils.h"
#include "platform/gui/stdctrls.h"
#include "tutor/tests/test_archive.h"

namespace {

std::unique_ptr<TXMLNode> Parse(const std::string& Xml) {
  TXMLStringReader R(Xml);
  return std::unique_ptr<TXMLNode>(R.ReadDocument());
}

class GalleryConfigTest : public GallerySceneTest {
 protected:
  void Xml(const std::string& Text) {
    WriteFileBytes(Inst->Path() + "gallery/gallery.xml", Text);
    LoadGalleryConfig();
  }
  std::string Error(void (*F)()) {
    try {
      F();
    } catch (const Exception& E) {
      return E.Message();
    }
    return "";
  }
};

const char* const kParams =
    "<Params><ThemeMask Value=\"gallery\\themes\\*.zlb\"/><TitlesFile>titles.txt</TitlesFile>"
    "<DefTheme Value=\"b.zlb\"/><DefLevel Value=\"%d\"/></Params>";
std::string Params(int DefLevel) {
  std::string S = kParams;
  S.replace(S.find("%d"), 2, std::to_string(DefLevel));
  return S;
}
const char* const kLevel =
    "<Level><Name>easy</Name><MaxTimePerChar Value=\"900\"/><ColCnt><Value>4</Value></ColCnt>"
    "<RowCnt Value=\"3\">7</RowCnt><GameTime>300</GameTime><WordsCnt>60</WordsCnt></Level>";

}  // namespace

TEST(XmlLeafValue, ReadsTheValueChildOrElseTheElementText) {
  struct Case {
    const char* Xml;
    const char* Text;
  } Cases[] = {
      {"<X Value=\"4\"/>\n", "4"},
      {"<X>  7 </X>\n", "7"},
      {"<X><Value>5</Value></X>\n", "5"},
      {"<X Value=\"4\">9</X>\n", "4"},  // the "Value" child wins over the text
      {"<X></X>\n", ""},
  };
  for (const Case& C : Cases) {
    auto Doc = Parse(C.Xml);
    EXPECT_EQ(XmlLeaf(Doc.get(), "X"), C.Text) << C.Xml;
  }
  auto Doc = Parse("<L><A Value=\"x1\"/><B>12</B><C/></L>\n");
  const TXMLNode* L = XmlChild(Doc.get(), "L");
  EXPECT_EQ(XmlLeafInt(L, "B"), 12);
  for (const char* Bad : {"A", "C"}) {
    try {
      XmlLeafInt(L, Bad);
      ADD_FAILURE() << Bad;
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), std::string("Node \"") + Bad + "\" does not contain a valid integer");
    }
  }
  try {
    XmlLeaf(L, "D");
    ADD_FAILURE();
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Node \"L\" has no child \"D\"");
  }
}

// The games page and the course runner read the levels through one routine: Gallery/Levels, or
// the older place Gallery/Params/Levels when that is the only one. Attributes of the container
// are no levels, and the default level always names one.
TEST_F(GalleryConfigTest, LevelsComeFromOnePlaceWithTheFallbackAndTheDefaultInRange) {
  Xml(std::string("<Gallery>") + Params(1) + "<Levels n=\"2\">" + kLevel + kLevel + "</Levels></Gallery>\n");
  EXPECT_EQ(GalleryLevelNodes().size(), 2u);
  const TGalleryLevel L = ReadGalleryLevel(1);
  EXPECT_EQ(L.Name, "easy");
  EXPECT_EQ(L.MaxTimePerChar, 900);
  EXPECT_EQ(L.ColCnt, 4);
  EXPECT_EQ(L.RowCnt, 3);
  EXPECT_EQ(L.GameTime, 300);
  EXPECT_EQ(L.WordsCnt, 60);
  EXPECT_EQ(GalleryDefaultLevel(), 1);
  EXPECT_EQ(Error([] { ReadGalleryLevel(2); }), "The gallery has no level 2");

  // Only under Params: read there. Both: the top-level one wins.
  std::string P = Params(0);
  P.insert(P.size() - 9, std::string("<Levels>") + kLevel + "</Levels>");
  Xml("<Gallery>" + P + "</Gallery>\n");
  EXPECT_EQ(GalleryLevelNodes().size(), 1u);
  Xml("<Gallery>" + P + "<Levels>" + kLevel + kLevel + kLevel + "</Levels></Gallery>\n");
  EXPECT_EQ(GalleryLevelNodes().size(), 3u);

  for (auto [Def, Want] : {std::pair{7, 2}, {-3, 0}, {2, 2}}) {
    Xml("<Gallery>" + Params(Def) + "<Levels>" + kLevel + kLevel + kLevel + "</Levels></Gallery>\n");
    EXPECT_EQ(GalleryDefaultLevel(), Want) << Def;
  }
  Xml("<Gallery>" + Params(0) + "</Gallery>\n");
  EXPECT_EQ(Error([] { GalleryLevelNodes(); }), "Node \"Gallery\" has no child \"Levels\"");
}

TEST_F(GalleryConfigTest, ABrokenOrMissingFileRaisesNamingItAndKeepsThePreviousDocument) {
  EXPECT_NE(Error(LoadGalleryConfig).find("gallery/gallery.xml"), std::string::npos);
  Xml(std::string("<Gallery>") + Params(0) + "<Levels>" + kLevel + "</Levels></Gallery>\n");
  WriteFileBytes(Inst->Path() + "gallery/gallery.xml", "<Gallery><Params></Gallery>\n");
  const std::string E = Error(LoadGalleryConfig);
  EXPECT_NE(E.find("gallery.xml: "), std::string::npos) << E;
  EXPECT_EQ(GalleryLevelNodes().size(), 1u) << "the document read before is kept";
}

// Theme archives come in file-name byte order; the default is the one named exactly.
TEST_F(GalleryConfigTest, ThemesAreListedInNameOrderWithTheirNamesAndTheExactDefault) {
  Xml(std::string("<Gallery>") + Params(0) + "<Levels>" + kLevel + "</Levels></Gallery>\n");
  auto Theme = [](const std::string& Name) {
    return MakeArchive({TTestMember("titles.txt", "#ThemeName=" + Name + "\r\n# a comment=no\r\n\r\np.bmp=T\r\n")},
                       false);
  };
  WriteFileBytes(Inst->Path() + "gallery/themes/b.zlb", Theme("Zwierz\xEAta"));
  WriteFileBytes(Inst->Path() + "gallery/themes/A.zlb", Theme("Kosmos"));
  WriteFileBytes(Inst->Path() + "gallery/themes/C.zlb", Theme("Pejza\xBF" "e"));
  LoadGalleryThemes();
  ASSERT_EQ(GalleryThemes.size(), 3u);
  EXPECT_EQ(GalleryThemes[0].Name, "Kosmos");
  EXPECT_EQ(GalleryThemes[1].Name, "Pejza\xBF" "e");
  EXPECT_EQ(GalleryThemes[2].Name, "Zwierz\xEAta");
  EXPECT_EQ(ExtractFileName(GalleryThemes[2].FileName), "b.zlb");
  EXPECT_TRUE(GalleryThemes[2].IsDefault);
  EXPECT_EQ(GalleryDefaultTheme(), 2);
  std::string Upper = std::string("<Gallery>") + Params(0) + "<Levels>" + kLevel + "</Levels></Gallery>\n";
  Upper.replace(Upper.find("b.zlb"), 5, "B.zlb");
  Xml(Upper);
  LoadGalleryThemes();
  EXPECT_FALSE(GalleryThemes[2].IsDefault) << "B.zlb is not b.zlb";
  EXPECT_EQ(GalleryDefaultTheme(), 0);
  // Refilling replaces the list.
  DeleteFile(Inst->Path() + "gallery/themes/A.zlb");
  LoadGalleryThemes();
  EXPECT_EQ(GalleryThemes.size(), 2u);
}

TEST(GalleryTitles, PictureLinesAreTheNonCommentLinesWithAnEqualsSign) {
  TStringList T;
  for (const char* L : {"#ThemeName=Kosmos", "", "p1.jpg=Mg\xB3" "awica", "just text", "#p2.bmp=x", "p3.bmp=Title=more"})
    T.Add(L);
  const std::vector<TGalleryPicture> P = GalleryPictures(T);
  ASSERT_EQ(P.size(), 2u);
  EXPECT_EQ(P[0].Member, "p1.jpg");
  EXPECT_EQ(P[0].Title, "Mg\xB3" "awica");
  EXPECT_EQ(P[1].Member, "p3.bmp");
  EXPECT_EQ(P[1].Title, "Title");
}

// The installation check of the gallery finds what the game would trip over.
TEST_F(GalleryConfigTest, TheContentCheckReportsLevelsThemesAndPictures) {
  WriteGalleryContent(Inst->Path(), GalleryXml({{"dobry", 1000, 4, 3, 300, 60}}, 0, "test.zlb"));
  EXPECT_EQ(CheckGalleryContent(), std::vector<std::string>{});
  WriteGalleryContent(Inst->Path(),
                      GalleryXml({{"zero", 1000, 0, 3, 300, 60}, {"malo", 1000, 4, 3, 300, 10}}, 5, "none.zlb"));
  WriteFileBytes(Inst->Path() + "gallery/themes/zly.zlb",
                 MakeArchive({TTestMember("titles.txt", "#ThemeName=Z\r\nq.bmp=Q\r\nr.png=R\r\n"),
                              TTestMember("q.bmp", GalleryBmp(700, 486))},
                             false));
  const std::vector<std::string> P = CheckGalleryContent();
  auto Has = [&](const std::string& Part) {
    for (const std::string& L : P)
      if (L.find(Part) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(Has("level zero has a grid outside 1..29"));
  EXPECT_TRUE(Has("level malo asks for fewer than 30 words"));
  EXPECT_TRUE(Has("DefLevel 5 is no level"));
  EXPECT_TRUE(Has("zly.zlb: q.bmp is 700x486, not 728x486"));
  EXPECT_TRUE(Has("zly.zlb: r.png"));
  EXPECT_TRUE(Has("DefTheme none.zlb is no theme archive"));
  EXPECT_EQ(P.size(), 6u) << ::testing::PrintToString(P);
}

// The games page's gallery lists and a course step read the same levels and themes.
TEST_F(GalleryConfigTest, PageListsAndCourseStepsUseTheLevelsAndThemes) {
  WriteGalleryContent(Inst->Path(),
                      GalleryXml({{"pierwszy", 1000, 2, 2, 300, 60}, {"drugi", 900, 3, 2, 300, 60}}, 1, "test.zlb"));
  TComboBox Levels(nullptr), Themes(nullptr);
  FillGalleryPageLists(&Levels, &Themes);
  ASSERT_EQ(Levels.Items()->Count(), 2);
  EXPECT_EQ(Levels.Items()->Strings(1), "drugi");
  EXPECT_EQ(Levels.ItemIndex(), 1);
  ASSERT_EQ(Themes.Items()->Count(), 1);
  EXPECT_EQ(Themes.Items()->Strings(0), "Pr\xF3" "ba");
  EXPECT_EQ(Themes.ItemIndex(), 0);

  EXPECT_FALSE(StartGalleryFromGamePage(0, -1, "", ""));
  EXPECT_EQ(GalleryScene, nullptr);
  struct Case {
    const char* Level;
    bool Starts;
    int Cols;
  } Cases[] = {{"2", true, 3}, {"1", true, 2}, {"3", false, 0}, {"0", false, 0}, {"x", false, 0}};
  for (const Case& C : Cases) {
    Errors.clear();
    EXPECT_EQ(StartGalleryCourseStep("asdf", "as", C.Level, &TimerHost, false), C.Starts) << C.Level;
    if (C.Starts) {
      ASSERT_NE(GalleryScene, nullptr);
      EXPECT_EQ(GalleryScene->Cols, C.Cols) << C.Level;
      EXPECT_EQ(GalleryScene->AllowedLetters, "asdf");
      delete GalleryScene;
    } else {
      EXPECT_EQ(GalleryScene, nullptr) << C.Level;
      EXPECT_EQ(Errors.size(), 1u) << C.Level;
    }
  }
  // A missing configuration leaves the lists empty with a message; the page stays usable.
  DeleteFile(Inst->Path() + "gallery/gallery.xml");
  FreeGalleryConfig();
  Errors.clear();
  FillGalleryPageLists(&Levels, &Themes);
  EXPECT_EQ(Levels.Items()->Count(), 0);
  EXPECT_EQ(Errors.size(), 1u);
}
