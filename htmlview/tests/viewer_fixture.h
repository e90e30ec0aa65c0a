// A form with a viewer on it, a temporary folder for documents and helpers that find places in
// the painted document.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "htmlview/htmlview.h"
#include "platform/gui/controls.h"
#include "platform/gui/testing.h"

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Saved = Application;
    Application = new TApplication(nullptr);
    Application->Initialize();
    Dir = std::filesystem::temp_directory_path() /
          ("vx-viewer-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);
    Form = new TForm(Application);
    Form->SetBounds(10, 10, 420, 320);
    Form->Show();
    vxtest::Pump();
  }
  void TearDown() override {
    vxtest::Pump();
    delete Application;
    Application = Saved;
    vxtest::Pump();
    std::filesystem::remove_all(Dir);
  }
  THTMLViewer* NewViewer(int W = 300, int H = 200) {
    auto* V = new THTMLViewer(Form);
    V->SetParent(Form);
    V->DefFontName = "Courier New";
    V->SetDefFontSize(10);
    V->SetDefBackground(clWhite);
    V->DefFontColor = clBlack;
    V->SetBounds(0, 0, W, H);
    return V;
  }
  std::string Write(const std::string& Name, const std::string& Text) {
    const std::filesystem::path P = Dir / Name;
    std::filesystem::create_directories(P.parent_path());
    std::ofstream(P, std::ios::binary) << Text;
    return P.string();
  }
  // A one-coloured BMP picture in the test folder; returns its path.
  std::string WriteBitmap(const std::string& Name, int W, int H, TColor Colour) {
    TBitmap B;
    B.SetSize(W, H);
    B.Canvas()->Brush()->SetColor(Colour);
    B.Canvas()->FillRect(TRect(0, 0, W, H));
    const std::filesystem::path P = Dir / Name;
    std::filesystem::create_directories(P.parent_path());
    B.SaveToFile(P.string());
    return P.string();
  }
  // A panel point over the link whose URL is Url (false when none is shown).
  static bool FindLink(THTMLViewer* V, const std::string& Url, int& X, int& Y) {
    for (Y = 0; Y < V->PaintPanel()->Height(); Y += 2)
      for (X = 0; X < V->PaintPanel()->Width(); X += 2) {
        TUrlTarget* UT = nullptr;
        int FC = -1;
        const bool Found = V->SectionList()->LinkAt(X, Y, UT, FC) && UT && UT->URL == Url;
        delete UT;
        if (Found) return true;
      }
    return false;
  }
  // The panel point of the first character at document position Pos.
  static bool FindPosition(THTMLViewer* V, int Pos, int& X, int& Y) {
    for (Y = 0; Y < V->PaintPanel()->Height(); ++Y)
      for (X = 0; X < V->PaintPanel()->Width(); ++X)
        if (V->SectionList()->PositionAt(X, Y) == Pos) return true;
    return false;
  }
  std::filesystem::path Dir;
  TForm* Form = nullptr;

 private:
  TApplication* Saved = nullptr;
};
