// The pages against the installation's layout file: a page picture has panels and places drawn
// for its controls, so a control elsewhere straddles a panel's edge or covers another.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "controls/vxbutton.h"
#include "controls/vxcheckbox.h"
#include "controls/vximage.h"
#include "tutor/app/Hint.h"
#include "tutor/app/help.h"

namespace {

struct TEntry {
  std::string Kind;     // "at" or "area"
  std::string Picture;  // at: the control's picture without its state
  std::string Label;    // area: the control's name, when it names one
  TRect Box;
};

// The entries of one page of content/layout/pages.txt.
std::vector<TEntry> PageEntries(const std::string& Page) {
  const auto File = std::filesystem::path(__FILE__).parent_path() / "../../../content/layout/pages.txt";
  std::ifstream In(File);
  EXPECT_TRUE(In.good()) << File;
  std::vector<TEntry> Out;
  bool InPage = false;
  for (std::string Line; std::getline(In, Line);) {
    std::istringstream S(Line);
    std::string Kind;
    if (!(S >> Kind) || Kind[0] == '#') continue;
    if (Kind == "page") {
      std::string Name;
      S >> Name;
      InPage = Name == Page;
      continue;
    }
    if (!InPage) continue;
    TEntry E;
    E.Kind = Kind;
    int X = 0, Y = 0, W = 0, H = 0;
    if (Kind == "at") {
      S >> E.Picture >> X >> Y;
      E.Picture = E.Picture.substr(0, E.Picture.find(':'));
    } else if (Kind == "area") {
      S >> X >> Y >> W >> H;
      std::getline(S >> std::ws, E.Label);
    } else {
      continue;
    }
    E.Box = TRect(X, Y, X + W, Y + H);
    Out.push_back(E);
  }
  return Out;
}

// The first picture name of a skinned control, without its state suffix ("BtnOK" of "BtnOK_up.bmp").
std::string SkinOf(TComponent* C) {
  std::string Name;
  if (auto* B = dynamic_cast<TVxButton*>(C)) Name = B->FNameUp();
  else if (auto* K = dynamic_cast<TVxCheckbox*>(C)) Name = K->FNameUnchecked();
  const auto Cut = Name.rfind('_');
  return Cut == std::string::npos ? std::string() : Name.substr(0, Cut);
}

std::string BackgroundOf(TForm* F) {
  for (int I = 0; I < F->ComponentCount(); ++I)
    if (auto* Img = dynamic_cast<TVxImage*>(F->Components(I)); Img && Img->Name() == "VxImage1") {
      std::string B = Img->BitmapName();
      return B.substr(0, B.rfind('.'));
    }
  return "";
}

// Every skinned control the page places stands at one of the places drawn for its picture, each
// place holds one control, and every control named by an area lies inside that area.
void ExpectFormFollowsLayout(TForm* F) {
  const std::string Page = BackgroundOf(F);
  ASSERT_FALSE(Page.empty()) << F->Name();
  const std::vector<TEntry> Entries = PageEntries(Page);
  ASSERT_FALSE(Entries.empty()) << Page;
  std::vector<bool> Taken(Entries.size(), false);
  for (int I = 0; I < F->ComponentCount(); ++I) {
    auto* C = dynamic_cast<TControl*>(F->Components(I));
    if (!C) continue;
    const std::string Skin = SkinOf(C);
    if (Skin.empty()) continue;
    bool Placed = false;
    for (std::size_t E = 0; E < Entries.size() && !Placed; ++E) {
      const TEntry& En = Entries[E];
      if (Taken[E] || En.Kind != "at" || En.Picture != Skin) continue;
      if (C->Left() == En.Box.Left && C->Top() == En.Box.Top) Placed = Taken[E] = true;
    }
    EXPECT_TRUE(Placed) << Page << ": " << C->Name() << " (" << Skin << ") at " << C->Left() << "," << C->Top();
  }
  for (const TEntry& En : Entries) {
    if (En.Kind != "area") continue;
    auto* C = dynamic_cast<TControl*>(F->FindComponent(En.Label));
    if (!C) continue;
    const TRect R = C->BoundsRect();
    EXPECT_TRUE(R.Left >= En.Box.Left && R.Top >= En.Box.Top && R.Right <= En.Box.Right && R.Bottom <= En.Box.Bottom)
        << Page << ": " << En.Label << " is " << R.Left << "," << R.Top << "-" << R.Right << "," << R.Bottom
        << ", its panel " << En.Box.Left << "," << En.Box.Top << "-" << En.Box.Right << "," << En.Box.Bottom;
  }
}

TEST(PageLayout, DialogsAndPagesPutTheirControlsOnThePlacesOfTheirPictures) {
  const std::vector<std::pair<const char*, std::function<TForm*()>>> Forms = {
      {"tip of the day", [] { return static_cast<TForm*>(new THintForm(nullptr)); }},
      {"help page", [] { return static_cast<TForm*>(new THelpForm(nullptr)); }},
  };
  for (const auto& [What, Make] : Forms) {
    SCOPED_TRACE(What);
    std::unique_ptr<TForm> F(Make());
    ExpectFormFollowsLayout(F.get());
  }
}

}  // namespace
