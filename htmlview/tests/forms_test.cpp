// Form controls as real controls of the GUI layer: placed by the layout on the paint panel,
// holding their values, submitting, resetting, taking data back and printing as look-alikes.
#include <gtest/gtest.h>

#include "htmlview/htmlbuilder.h"
#include "htmlview/htmlforms.h"
#include "platform/gui/graphics.h"
#include "platform/gui/stdctrls.h"

namespace {

class Forms : public ::testing::Test {
 protected:
  void SetUp() override {
    Font.SetName("Courier New");
    Font.SetSize(10);
    Panel.SetBounds(0, 0, 500, 400);
    Bmp.SetSize(500, 400);
    Doc.OnFormSubmit = [this](TObject*, const std::string& Action, const std::string&, const std::string&,
                              const std::string& Method, const std::vector<std::string>& Results) {
      Submitted = Results;
      SubmitAction = Action;
      SubmitMethod = Method;
      ++Submits;
    };
  }
  void Build(const std::string& Html) {
    ParseHtmlDocument(Html, &Doc, Font);
    int Curs = 0, Max = 0;
    Doc.Arrange(Bmp.Canvas(), 0, Curs, Max, 0, 500);
    Doc.PaintDocument(Bmp.Canvas(), TRect(0, 0, 500, 400));
  }
  template <class T>
  T* Control(int I) {
    return dynamic_cast<T*>(Doc.FormControlList.at(static_cast<size_t>(I)));
  }
  TMyFont Font;
  TPanel Panel{nullptr};
  TBitmap Bmp;
  TSectionList Doc{nullptr, &Panel};
  std::vector<std::string> Submitted;
  std::string SubmitAction, SubmitMethod;
  int Submits = 0;
};

const char* const Page =
    "<form action=\"send.cgi\" method=POST>"
    "<p>Name <input name=t value=hi size=20> pass <input type=password name=pw value=s>"
    "<p><input type=checkbox name=c checked> <input type=radio name=r value=1> <input type=radio name=R value=2 checked>"
    "<p><select name=s><option>x<option selected>y</select>"
    "<select name=m multiple><option selected>x<option value=yy selected>y<option>z</select>"
    "<p><textarea name=ta wrap=hard rows=3>l1\nl2</textarea>"
    "<input type=hidden name=h value=v><input type=submit name=go><input type=reset>"
    "</form>";

TEST_F(Forms, EveryKindIsAControlWithItsValue) {
  Build(Page);
  ASSERT_EQ(Doc.FormControlList.size(), 11u);
  ASSERT_EQ(Doc.Forms.Count(), 1);
  EXPECT_EQ(Doc.Forms[0]->Method, "POST");
  auto* Edit = Control<TEditFormControlObj>(0);
  ASSERT_NE(Edit, nullptr);
  EXPECT_EQ(Edit->Edit()->Text(), "hi");
  // SIZE=20: twenty widths of "0" and 5 pixels.
  Bmp.Canvas()->SetFont(*Edit->Control->Font());
  EXPECT_EQ(Edit->Width(), Bmp.Canvas()->TextWidth("0") * 20 + 5);
  EXPECT_EQ(Control<TEditFormControlObj>(1)->Edit()->PasswordChar(), '*');
  EXPECT_TRUE(Control<TCheckBoxFormControlObj>(2)->Box()->Checked());
  EXPECT_FALSE(Control<TRadioButtonFormControlObj>(3)->Checked());
  EXPECT_TRUE(Control<TRadioButtonFormControlObj>(4)->Checked());
  auto* Combo = Control<TComboFormControlObj>(5);
  ASSERT_NE(Combo, nullptr);
  EXPECT_EQ(Combo->Combo()->ItemIndex(), 1);
  auto* List = Control<TListBoxFormControlObj>(6);
  ASSERT_NE(List, nullptr);
  EXPECT_TRUE(List->List()->MultiSelect());
  EXPECT_EQ(Control<TTextAreaFormControlObj>(7)->Memo()->Lines()->Count(), 2);
  EXPECT_NE(dynamic_cast<THiddenFormControlObj*>(Doc.FormControlList[8]), nullptr);
  EXPECT_EQ(Control<TButtonFormControlObj>(9)->Control->Caption(), "Submit");
  EXPECT_EQ(Control<TButtonFormControlObj>(10)->Control->Caption(), "Reset");
}

TEST_F(Forms, ControlsArePlacedInTheirLines) {
  Build(Page);
  auto* Edit = Control<TEditFormControlObj>(0);
  auto* Pass = Control<TEditFormControlObj>(1);
  EXPECT_TRUE(Edit->Control->Visible());
  EXPECT_EQ(Edit->Control->Parent(), &Panel);
  Bmp.Canvas()->SetFont(Font);
  // After the text "Name " on the first line; the password box further right on the same line.
  EXPECT_EQ(Edit->Control->Left(), Bmp.Canvas()->TextWidth("Name "));
  EXPECT_GT(Pass->Control->Left(), Edit->Control->Left() + Edit->Width());
  EXPECT_EQ(Pass->Control->Top() + Pass->Height(), Edit->Control->Top() + Edit->Height());
  // Later paragraphs stand lower.
  auto* Area = Control<TTextAreaFormControlObj>(7);
  EXPECT_GT(Area->Control->Top(), Edit->Control->Top() + Edit->Height());
  // Scrolled out of view, the controls are hidden.
  Doc.SetScroll(5000);
  Doc.PaintDocument(Bmp.Canvas(), TRect(0, 0, 500, 400));
  EXPECT_FALSE(Edit->Control->Visible());
  Doc.SetScroll(0);
  Doc.PaintDocument(Bmp.Canvas(), TRect(0, 0, 500, 400));
  EXPECT_TRUE(Edit->Control->Visible());
}

TEST_F(Forms, SubmissionResetAndRestore) {
  Build(Page);
  auto* Submit = Control<TButtonFormControlObj>(9);
  Submit->ButtonClicked();
  EXPECT_EQ(Submits, 1);
  EXPECT_EQ(SubmitAction, "send.cgi");
  EXPECT_EQ(Submitted, (std::vector<std::string>{"t=hi", "pw=s", "c=on", "R=2", "s=y", "m=x", "m=yy",
                                                 "ta=l1\r\nl2", "h=v", "go=Submit"}));
  // Typing, then reset brings the document's values back.
  Control<TEditFormControlObj>(0)->Edit()->SetCaption("changed");
  Control<TButtonFormControlObj>(10)->ButtonClicked();
  EXPECT_EQ(Control<TEditFormControlObj>(0)->Edit()->Text(), "hi");
  // Saved state goes back into the controls.
  Control<TEditFormControlObj>(0)->Edit()->SetCaption("kept");
  Control<TCheckBoxFormControlObj>(2)->Box()->SetChecked(false);
  const auto State = Doc.SaveFormState();
  Doc.Forms[0]->ResetAll();
  Doc.RestoreFormState(State);
  EXPECT_EQ(Control<TEditFormControlObj>(0)->Edit()->Text(), "kept");
  EXPECT_FALSE(Control<TCheckBoxFormControlObj>(2)->Box()->Checked());
}

// A long SELECT reaches its windowed control in one batch, not one refill per option.
TEST_F(Forms, LongSelectsFillTheirControlsOnce) {
  std::string Html = "<form><select name=d>";
  std::string Opts;
  for (int I = 0; I < 1000; ++I) Opts += "<option" + std::string(I == 700 ? " selected" : "") + ">o" + std::to_string(I);
  Html += Opts + "</select><select name=l size=4>" + Opts + "</select></form>";
  Build(Html);
  auto* Combo = Control<TComboFormControlObj>(0);
  auto* List = Control<TListBoxFormControlObj>(1);
  ASSERT_NE(Combo, nullptr);
  ASSERT_NE(List, nullptr);
  int Refills[2] = {0, 0};
  TStringList* Items[2] = {dynamic_cast<TStringList*>(Combo->Combo()->Items()),
                           dynamic_cast<TStringList*>(List->List()->Items())};
  for (int K = 0; K < 2; ++K) {
    ASSERT_NE(Items[K], nullptr);
    TNotifyEvent Sync = Items[K]->OnChange;
    Items[K]->OnChange = [Sync, &Refills, K](TObject* Sender) {
      ++Refills[K];
      if (Sync) Sync(Sender);
    };
  }
  Doc.Forms[0]->ResetAll();
  EXPECT_EQ(Refills[0], 1);
  EXPECT_EQ(Refills[1], 1);
  EXPECT_EQ(Combo->Combo()->Items()->Count(), 1000);
  EXPECT_EQ(Combo->Combo()->ItemIndex(), 700);
  EXPECT_EQ(Combo->Combo()->Text(), "o700");
  EXPECT_EQ(List->List()->Count(), 1000);
  EXPECT_EQ(List->List()->ItemIndex(), 700);
  Doc.Forms[0]->Submit("");
  EXPECT_EQ(Submitted.front(), "d=o700");
  EXPECT_EQ(Submitted.back(), "l=o700");
}

TEST_F(Forms, RadioGroupsByNameWithinAForm) {
  Build("<form><input type=radio name=a value=1 checked><input type=radio name=A value=2></form>"
        "<form><input type=radio name=a value=3 checked></form>");
  auto* First = Control<TRadioButtonFormControlObj>(0);
  auto* Second = Control<TRadioButtonFormControlObj>(1);
  auto* Other = Control<TRadioButtonFormControlObj>(2);
  Second->SetChecked(true);
  Second->RadioClicked();
  EXPECT_FALSE(First->Checked());
  EXPECT_TRUE(Second->Checked());
  EXPECT_TRUE(Other->Checked());
}

TEST_F(Forms, EnterInAnEditSubmitsImageClicksSendTheirPoint) {
  Build("<input name=q value=w><textarea name=t>x</textarea><input type=image name=map src=nothing.gif>");
  char Key = '\r';
  auto* Edit = Control<TEditFormControlObj>(0);
  Edit->Form->KeyPressed(Edit->Control, Key);
  EXPECT_EQ(Key, 0);
  EXPECT_EQ(Submits, 1);
  Key = '\r';
  auto* Area = Control<TTextAreaFormControlObj>(1);
  Area->Form->KeyPressed(Area->Control, Key);
  EXPECT_EQ(Key, '\r');
  EXPECT_EQ(Submits, 1);
  TImageFormControlObj* Image = nullptr;
  for (TFormControlObj* C : Doc.FormControlList)
    if (auto* I = dynamic_cast<TImageFormControlObj*>(C)) Image = I;
  ASSERT_NE(Image, nullptr);
  Image->PendingX = 10;
  Image->PendingY = 20;
  Image->ImageClicked();
  EXPECT_EQ(Submitted, (std::vector<std::string>{"q=w", "t=x", "map.x=10", "map.y=20"}));
  // The click position is sent once.
  EXPECT_EQ(Image->Form->CollectSubmission(), (std::vector<std::string>{"q=w", "t=x"}));
}

TEST_F(Forms, PrintedCopyDrawsLookAlikes) {
  Build("<p>x<input type=checkbox checked name=c> <input name=e value=printed></p>");
  TSectionList Copy(Doc, true);
  TBitmap Page;
  Page.SetSize(500, 400);
  Page.Canvas()->Brush()->SetColor(clWhite);
  Page.Canvas()->FillRect(TRect(0, 0, 500, 400));
  int Curs = 0, Max = 0;
  Copy.Arrange(Page.Canvas(), 0, Curs, Max, 0, 500);
  Copy.PaintDocument(Page.Canvas(), TRect(0, 0, 500, 400));
  // Something is drawn where the edit box stands, though no window is printed.
  auto* Edit = Control<TEditFormControlObj>(1);
  const int X = Edit->Control->Left(), Y = Edit->Control->Top();
  int Ink = 0;
  for (int I = X; I < X + Edit->Width(); ++I)
    if ((Page.PixelColor(I, Y) & 0xFFFFFF) != 0xFFFFFF) ++Ink;
  EXPECT_GT(Ink, Edit->Width() / 2);
}

TEST_F(Forms, PanelsStandInTheTextAndReachTheProgram) {
  std::vector<std::string> Log;
  TPanel* Made = nullptr;
  Doc.OnPanelCreate = [&](TObject*, const std::string& Name, const std::string& Type, const std::string& Src,
                          TPanel* P) {
    Log.push_back("create " + Name + " " + Type + " " + Src);
    Made = P;
  };
  Doc.OnPanelDestroy = [&](TObject*, TPanel* P) { Log.push_back(P == Made ? "destroy same" : "destroy other"); };
  Build("<p>before <panel name=kb type=keys src=k.dat width=\"50%\" ratio=0.25> after");
  ASSERT_NE(Made, nullptr);
  EXPECT_EQ(Made->Parent(), &Panel);
  EXPECT_TRUE(Made->Visible());
  EXPECT_EQ(Made->Width(), 250);
  EXPECT_EQ(Made->Height(), 63);  // 250 x 0.25, rounded
  Bmp.Canvas()->SetFont(Font);
  EXPECT_EQ(Made->Left(), Bmp.Canvas()->TextWidth("before ") + 3);
  Doc.Clear();
  EXPECT_EQ(Log, (std::vector<std::string>{"create kb keys k.dat", "destroy same"}));
}

}  // namespace
