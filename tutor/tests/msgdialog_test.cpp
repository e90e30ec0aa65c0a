// The program's message dialog: buttons, results, default and cancel buttons, captions and button
// texts from the message table, layout, and what it shows.
#include "tutor/MsgDialog.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/tests/gui_fixture.h"
#include "tutor/translations.h"

namespace {

const char* const Messages =
    "Yes=Tak\r\nNo=Nie\r\nOK=Dobrze\r\nCancel=Anuluj\r\nAbort=Przerwij\r\nRetry=Pon\xF3w\r\nIgnore=Pomi\xF1\r\n"
    "All=Wszystkie\r\nNoToAll=Nie dla wszystkich\r\nYesToAll=Tak dla wszystkich\r\nHelp=Pomoc\r\n"
    "Warning=Ostrze\xBF"
    "enie\r\nError=B\xB3\xB9"
    "d\r\nInformation=Informacja\r\nConfirm=Potwierdzenie\r\n";

class MsgDialogTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    TStringStream S(Messages);
    Translations->LoadFromStream(&S);
    Application->SetTitle("Zorbelin 2");
  }
  void TearDown() override {
    TStringStream Empty("");
    Translations->LoadFromStream(&Empty);
    GuiTest::TearDown();
  }
};

// The buttons of a dialog, left to right.
std::vector<TButton*> ButtonsOf(TForm* Dlg) {
  std::vector<TButton*> V;
  for (int i = 0; i < Dlg->ComponentCount(); ++i)
    if (auto* B = dynamic_cast<TButton*>(Dlg->Components(i))) V.push_back(B);
  std::sort(V.begin(), V.end(), [](TButton* A, TButton* B) { return A->Left() < B->Left(); });
  return V;
}

std::string Names(const std::vector<TButton*>& V) {
  std::string S;
  for (TButton* B : V) S += (S.empty() ? "" : " ") + B->Name();
  return S;
}

// The modal dialog that is showing, or nullptr.
TForm* ShowingDialog() {
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (Screen->Forms(i)->Modal() && Screen->Forms(i)->Visible()) return Screen->Forms(i);
  return nullptr;
}

// Runs Act on the dialog once it is showing modally.
void WhenShown(std::function<void(TForm*)> Act) {
  Application->QueueCall([Act] {
    TForm* Dlg = ShowingDialog();
    ASSERT_NE(Dlg, nullptr);
    Act(Dlg);
  });
}

TEST_F(MsgDialogTest, ButtonsComeInTableOrderWithDefaultAndCancelButtons) {
  struct TCase {
    TMsgDlgButtons Buttons;
    const char* Order;
    const char* Default;  // "" for none
    const char* Cancel;
  };
  const auto B = MsgDlgButton;
  const std::vector<TCase> Cases = {
      {mbYesNo, "Yes No", "Yes", "No"},
      {mbYesNoCancel, "Yes No Cancel", "Yes", "Cancel"},
      {mbOKCancel, "OK Cancel", "OK", "Cancel"},
      {B(mbOK), "OK", "OK", "OK"},
      {mbAbortRetryIgnore, "Abort Retry Ignore", "Retry", ""},
      {B(mbHelp) | B(mbYesToAll) | B(mbNoToAll) | B(mbAll) | B(mbNo) | B(mbYes),
       "Yes No All NoToAll YesToAll Help", "Yes", "No"},
      {B(mbIgnore) | B(mbCancel) | B(mbOK), "OK Cancel Ignore", "OK", "Cancel"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Order);
    std::unique_ptr<TForm> Dlg(CreateTranslatedMessageDialog("Czy zapisa\xE6?", mtConfirmation, C.Buttons));
    const auto Buttons = ButtonsOf(Dlg.get());
    EXPECT_EQ(Names(Buttons), C.Order);
    std::string Default, Cancel;
    for (TButton* Btn : Buttons) {
      if (Btn->Default()) Default += Btn->Name();
      if (Btn->Cancel()) Cancel += Btn->Name();
      // One row under the text, all of one size, evenly spaced.
      EXPECT_EQ(Btn->Top(), Buttons[0]->Top());
      EXPECT_EQ(Btn->Width(), Buttons[0]->Width());
    }
    EXPECT_EQ(Default, C.Default);
    EXPECT_EQ(Cancel, C.Cancel);
    // The row is centred.
    const int RowLeft = Buttons.front()->Left();
    const int RowRight = Dlg->ClientWidth() - Buttons.back()->Left() - Buttons.back()->Width();
    EXPECT_LE(std::abs(RowLeft - RowRight), 1);
  }
}

TEST_F(MsgDialogTest, TextsAndResultsComeFromTheTables) {
  const auto B = MsgDlgButton;
  const TMsgDlgButtons All = B(mbYes) | B(mbNo) | B(mbOK) | B(mbCancel) | B(mbAbort) | B(mbRetry) | B(mbIgnore) |
                             B(mbAll) | B(mbNoToAll) | B(mbYesToAll) | B(mbHelp);
  std::unique_ptr<TForm> Dlg(CreateTranslatedMessageDialog("x", mtWarning, All));
  struct TExpect {
    const char* Name;
    const char* Caption;
    int Result;
  };
  const std::vector<TExpect> Expected = {
      {"Yes", "Tak", 6},          {"No", "Nie", 7},        {"OK", "Dobrze", 1},
      {"Cancel", "Anuluj", 2},    {"Abort", "Przerwij", 3}, {"Retry", "Pon\xF3w", 4},
      {"Ignore", "Pomi\xF1", 5},  {"All", "Wszystkie", 8}, {"NoToAll", "Nie dla wszystkich", 9},
      {"YesToAll", "Tak dla wszystkich", 10}, {"Help", "Pomoc", 0}};
  const auto Buttons = ButtonsOf(Dlg.get());
  ASSERT_EQ(Buttons.size(), Expected.size());
  for (std::size_t i = 0; i < Expected.size(); ++i) {
    SCOPED_TRACE(Expected[i].Name);
    EXPECT_EQ(Buttons[i]->Name(), Expected[i].Name);
    EXPECT_EQ(Buttons[i]->Caption(), Expected[i].Caption);
    EXPECT_EQ(Buttons[i]->ModalResult(), Expected[i].Result);
  }

  struct TCaption {
    TMsgDlgType Type;
    const char* Caption;
    bool Icon;
  };
  for (const TCaption& C : {TCaption{mtWarning, "Ostrze\xBF"
                                                "enie",
                                     true},
                            TCaption{mtError, "B\xB3\xB9"
                                              "d",
                                     true},
                            TCaption{mtInformation, "Informacja", true}, TCaption{mtConfirmation, "Potwierdzenie", true},
                            TCaption{mtCustom, "Zorbelin 2", false}}) {
    SCOPED_TRACE(C.Caption);
    std::unique_ptr<TForm> D(CreateTranslatedMessageDialog("Tekst", C.Type, mbOKCancel));
    EXPECT_EQ(D->Caption(), C.Caption);
    EXPECT_EQ(D->FindComponent("Image") != nullptr, C.Icon);
    auto* Label = dynamic_cast<TLabel*>(D->FindComponent("Message"));
    ASSERT_NE(Label, nullptr);
    EXPECT_EQ(Label->Caption(), "Tekst");
  }

  // Without a table the ids themselves are shown.
  TStringStream Empty("");
  Translations->LoadFromStream(&Empty);
  std::unique_ptr<TForm> Bare(CreateTranslatedMessageDialog("x", mtError, mbYesNo));
  EXPECT_EQ(Bare->Caption(), "Error");
  EXPECT_EQ(Names(ButtonsOf(Bare.get())), "Yes No");
  EXPECT_EQ(ButtonsOf(Bare.get())[0]->Caption(), "Yes");
}

TEST_F(MsgDialogTest, LayoutFollowsTheMessageFontsMetrics) {
  TBitmap Probe;
  Probe.SetSize(4, 4);
  Probe.Canvas()->Font()->Assign(*Screen->MessageFont());
  const TSize Letters = Probe.Canvas()->TextExtent("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int W = Letters.cx / 52, H = Letters.cy;
  std::string Words;
  for (int i = 0; i < 60; ++i) Words += "s\xB3owo ";

  for (TMsgDlgType Type : {mtInformation, mtCustom}) {
    SCOPED_TRACE(Type == mtCustom ? "custom" : "with icon");
    std::unique_ptr<TForm> Dlg(CreateTranslatedMessageDialog(Words, Type, mbOKCancel));
    auto* Label = dynamic_cast<TLabel*>(Dlg->FindComponent("Message"));
    const auto Buttons = ButtonsOf(Dlg.get());
    ASSERT_EQ(Buttons.size(), 2u);
    EXPECT_LE(Label->Width(), Screen->Width() / 2);
    EXPECT_GT(Label->Height(), H);  // several lines
    EXPECT_EQ(Label->Top(), MulDiv(8, H, 8));
    const int IconPart = Type == mtCustom ? 0 : 32 + MulDiv(10, W, 4);
    EXPECT_EQ(Label->Left(), MulDiv(8, W, 4) + IconPart);
    EXPECT_EQ(Dlg->ClientWidth(), Label->Width() + IconPart + 2 * MulDiv(8, W, 4));
    EXPECT_EQ(Buttons[0]->Top(), Label->Height() + MulDiv(8, H, 8) + MulDiv(10, H, 8));
    EXPECT_EQ(Buttons[0]->Height(), MulDiv(14, H, 8));
    EXPECT_EQ(Buttons[0]->Width(), MulDiv(50, W, 4));
    EXPECT_EQ(Buttons[1]->Left() - Buttons[0]->Left() - Buttons[0]->Width(), MulDiv(4, W, 4));
    EXPECT_EQ(Dlg->ClientHeight(), Buttons[0]->Top() + Buttons[0]->Height() + MulDiv(8, H, 8));
    // Centred on the screen.
    EXPECT_LE(std::abs(Dlg->Left() - (Screen->Width() - Dlg->Width()) / 2), 1);
    EXPECT_LE(std::abs(Dlg->Top() - (Screen->Height() - Dlg->Height()) / 2), 1);
  }
  // A short text with an icon is as high as the icon; the buttons set the width.
  std::unique_ptr<TForm> Short(CreateTranslatedMessageDialog("Ok", mtError, mbYesNoCancel));
  const auto Row = ButtonsOf(Short.get());
  EXPECT_EQ(Row[0]->Top(), 32 + MulDiv(8, H, 8) + MulDiv(10, H, 8));
  EXPECT_EQ(Short->ClientWidth(), 3 * Row[0]->Width() + 2 * MulDiv(4, W, 4) + 2 * MulDiv(8, W, 4));

  // A long button text widens every button to the text plus 8 pixels.
  TStringStream Wide("Cancel=Anuluj wszystko co si\xEA da\r\n");
  Translations->LoadFromStream(&Wide);
  std::unique_ptr<TForm> D(CreateTranslatedMessageDialog("x", mtCustom, mbOKCancel));
  const auto Widened = ButtonsOf(D.get());
  TRect R(0, 0, 0, 0);
  Probe.Canvas()->DrawText("Anuluj wszystko co si\xEA da", R, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(Widened[0]->Width(), R.Width() + 8);
  EXPECT_EQ(Widened[1]->Width(), R.Width() + 8);
  EXPECT_GT(R.Width() + 8, MulDiv(50, W, 4));
}

TEST_F(MsgDialogTest, ModalDialogReturnsThePressedButtonsResult) {
  struct TCase {
    const char* What;
    TMsgDlgButtons Buttons;
    std::function<void(TForm*)> Act;
    int Expected;
  };
  const std::vector<TCase> Cases = {
      {"click No", mbYesNoCancel, [](TForm* D) { vxtest::Click(static_cast<TControl*>(D->FindComponent("No")), 3, 3); },
       mrNo},
      {"Enter presses the default", mbYesNo, [](TForm* D) { vxtest::KeyStroke(D, VK_RETURN); }, mrYes},
      {"Escape presses the cancel button", mbYesNo, [](TForm* D) { vxtest::KeyStroke(D, VK_ESCAPE); }, mrNo},
      {"Escape with only OK", MsgDlgButton(mbOK), [](TForm* D) { vxtest::KeyStroke(D, VK_ESCAPE); }, mrOk},
      {"help keeps the dialog open",
       MsgDlgButton(mbHelp) | MsgDlgButton(mbRetry),
       [](TForm* D) {
         vxtest::Click(static_cast<TControl*>(D->FindComponent("Help")), 3, 3);
         Application->QueueCall([D] {
           EXPECT_EQ(ShowingDialog(), D);
           vxtest::Click(static_cast<TControl*>(D->FindComponent("Retry")), 3, 3);
         });
       },
       mrRetry},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    WhenShown(C.Act);
    EXPECT_EQ(TranslatedMessageDlg("Zapisa\xE6 wyniki?", mtConfirmation, C.Buttons, 7), C.Expected);
    EXPECT_EQ(ShowingDialog(), nullptr);
  }
  // The dialog is freed after it returns.
  const int Forms = Screen->FormCount();
  WhenShown([](TForm* D) { vxtest::KeyStroke(D, VK_RETURN); });
  ShowMessage("Koniec");
  EXPECT_EQ(Screen->FormCount(), Forms);
}

TEST_F(MsgDialogTest, PositionedDialogsAndShowMessage) {
  struct TCase {
    int X, Y;
  };
  for (const TCase& C : {TCase{40, 30}, TCase{-1, 25}, TCase{35, -1}, TCase{-1, -1}}) {
    SCOPED_TRACE(std::to_string(C.X) + "," + std::to_string(C.Y));
    TPoint At;
    std::string Caption;
    int Buttons = -1;
    bool Icon = true;
    int W = 0, H = 0;
    WhenShown([&](TForm* D) {
      At = TPoint(D->Left(), D->Top());
      W = D->Width();
      H = D->Height();
      Caption = D->Caption();
      Buttons = static_cast<int>(ButtonsOf(D).size());
      Icon = D->FindComponent("Image") != nullptr;
      vxtest::KeyStroke(D, VK_RETURN);
    });
    ShowMessagePos("Wiadomo\x9C\xE6", C.X, C.Y);
    EXPECT_EQ(Caption, "Zorbelin 2");
    EXPECT_EQ(Buttons, 1);
    EXPECT_FALSE(Icon);
    const int CentreX = (Screen->Width() - W) / 2, CentreY = (Screen->Height() - H) / 2;
    EXPECT_LE(std::abs(At.X - (C.X >= 0 ? C.X : CentreX)), 1);
    EXPECT_LE(std::abs(At.Y - (C.Y >= 0 ? C.Y : CentreY)), 1);
  }
}

TEST_F(MsgDialogTest, ScreenshotShowsIconTextAndButtons) {
  std::unique_ptr<TForm> Dlg(CreateTranslatedMessageDialog("Uwaga: ekran jest za w\xB9ski.", mtWarning, mbOKCancel));
  Dlg->Show();
  vxtest::Pump();
  TBitmap Shot;
  vxtest::Grab(Dlg.get(), &Shot);
  ASSERT_EQ(Shot.Width(), Dlg->ClientWidth());
  ASSERT_EQ(Shot.Height(), Dlg->ClientHeight());
  auto* Image = static_cast<TControl*>(Dlg->FindComponent("Image"));
  auto* Label = static_cast<TControl*>(Dlg->FindComponent("Message"));
  // The warning sign: yellow inside the triangle, a black mark in its middle, the form's face
  // around it (the key colour is transparent).
  EXPECT_EQ(Shot.PixelColor(Image->Left() + 10, Image->Top() + 25), clYellow);
  EXPECT_EQ(Shot.PixelColor(Image->Left() + 16, Image->Top() + 15), clBlack);
  const TColor Face = Shot.PixelColor(1, 1);
  EXPECT_EQ(Shot.PixelColor(Image->Left() + 1, Image->Top() + 2), Face);
  // The message is drawn in the label's area, and nothing dark lies between text and buttons.
  auto DarkPixels = [&](const TRect& R) {
    int N = 0;
    for (int y = R.Top; y < R.Bottom; ++y)
      for (int x = R.Left; x < R.Right; ++x) {
        const TColor C = Shot.PixelColor(x, y);
        if ((C & 0xFF) + ((C >> 8) & 0xFF) + ((C >> 16) & 0xFF) < 200) ++N;
      }
    return N;
  };
  EXPECT_GT(DarkPixels(Label->BoundsRect()), 20);
  auto* Ok = static_cast<TControl*>(Dlg->FindComponent("OK"));
  EXPECT_EQ(DarkPixels(TRect(Label->Left(), Label->BoundsRect().Bottom + 2, Dlg->ClientWidth(), Ok->Top() - 2)), 0);
  // The buttons show their translated texts.
  EXPECT_GT(DarkPixels(Ok->BoundsRect()), 10);
}

}  // namespace
