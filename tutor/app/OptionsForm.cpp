#include "tutor/app/OptionsForm.h"

#include <cmath>

#include "controls/combos.h"
#include "controls/spinedit.h"
#include "controls/vxbutton.h"
#include "controls/vxcheckbox.h"
#include "controls/vximage.h"
#include "platform/core/cp1250.h"
#include "platform/core/sysutils.h"
#include "tutor/OptionsReg.h"
#include "tutor/VxLang.h"
#include "tutor/app/HTMLInstruction.h"
#include "tutor/app/Keyboard.h"
#include "tutor/app/SkinParts.h"
#include "tutor/core/KeybList.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

namespace {

constexpr const char* kSection = "Options";
constexpr TColor kOptionsBackground = static_cast<TColor>(8204800);

// The captions are written here in UTF-8 and kept in the program's code page.
std::string Cp(const char* Utf8) { return Utf8ToCp1250(Utf8); }

template <class T>
T* Make(TComponent* Owner, TWinControl* Parent, const char* Name, int X, int Y, int W, int H,
        const std::string& Caption = "") {
  auto* C = new T(Owner);
  C->SetName(Name);
  C->SetParent(Parent);
  C->SetBounds(X, Y, W, H);
  if (!Caption.empty()) C->SetCaption(Caption);
  return C;
}

int ReadInt(const char* Name, int Default) { return PrgReg ? PrgReg->ReadInteger(kSection, Name, Default) : Default; }
bool ReadBool(const char* Name, bool Default) { return PrgReg ? PrgReg->ReadBool(kSection, Name, Default) : Default; }

}  // namespace

TOptionsForm::TOptionsForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("OptionsForm");
  SetBorderStyle(bsNone);
  SetClientWidth(800);
  SetClientHeight(600);
  SetColor(kOptionsBackground);
  Font()->SetName("MS Sans Serif");
  Font()->SetSize(12);
  Font()->SetCharset(EASTEUROPE_CHARSET);
  TZLBArchive* Archive = ScreenArchive();
  VxImage1 = new TVxImage(this);
  VxImage1->SetName("VxImage1");
  VxImage1->SetParent(this);
  VxImage1->SetBounds(0, 0, 800, 600);
  VxImage1->SetArchive(Archive);
  VxImage1->SetBitmapName("options_bcg.bmp");

  VxCheckbox1 = MakeSkinTab(this, this, "VxCheckbox1", "BtpExerop", 40, 28, 0);
  VxCheckbox2 = MakeSkinTab(this, this, "VxCheckbox2", "BtpKeyb", 212, 28, 1);
  VxCheckbox3 = MakeSkinTab(this, this, "VxCheckbox3", "BtpScreen", 384, 28, 2);
  VxCheckbox1->SetCaption(Cp("Ćwiczenia"));
  VxCheckbox2->SetCaption(Cp("Klawiatura"));
  VxCheckbox3->SetCaption(Cp("Ekran"));
  for (TVxCheckbox* T : {VxCheckbox1, VxCheckbox2, VxCheckbox3})
    T->OnClick = [this](TObject* S) { JetCheckbox1Click(S); };
  VxCheckbox1->SetChecked(true);

  Notebook = new TNotebook(this);
  Notebook->SetName("Notebook");
  Notebook->SetParent(this);
  Notebook->SetBounds(30, 76, 740, 436);
  Notebook->SetColor(kPageNotebookColor);
  Notebook->Font()->SetColor(kPageNavy);
  Notebook->SetPageNames({"0", "1", "2"});

  // Page '0': scrolling, line end, sounds, errors.
  TWinControl* P0 = Notebook->PageByName("0");
  GroupTextScroll = Make<TGroupBox>(this, P0, "GroupTextScroll", 16, 12, 340, 130, Cp("przewijanie tekstu"));
  RadioScrollLine = Make<TRadioButton>(this, GroupTextScroll, "RadioScrollLine", 14, 26, 310, 26, Cp("jedna linia"));
  RadioScrollPage = Make<TRadioButton>(this, GroupTextScroll, "RadioScrollPage", 14, 60, 310, 26, Cp("strona"));
  RadioScrollFine =
      Make<TRadioButton>(this, GroupTextScroll, "RadioScrollFine", 14, 94, 310, 26, Cp("strona bez jednej linii"));
  GroupLineEnd = Make<TGroupBox>(this, P0, "GroupLineEnd", 16, 154, 340, 130, Cp("koniec linii"));
  RadioEndEnter = Make<TRadioButton>(this, GroupLineEnd, "RadioEndEnter", 14, 26, 310, 26, Cp("enter"));
  RadioEndSpace = Make<TRadioButton>(this, GroupLineEnd, "RadioEndSpace", 14, 60, 310, 26, Cp("spacja"));
  RadioEndBoth = Make<TRadioButton>(this, GroupLineEnd, "RadioEndBoth", 14, 94, 310, 26, Cp("enter lub spacja"));
  GroupSound = Make<TGroupBox>(this, P0, "GroupSound", 372, 12, 352, 220, Cp("dźwięki"));
  SoundCheckBox = Make<TCheckBox>(this, GroupSound, "SoundCheckBox", 14, 26, 320, 26, Cp("dźwięki włączone"));
  SoundKeyCheckBox = Make<TCheckBox>(this, GroupSound, "SoundKeyCheckBox", 34, 56, 300, 26, Cp("stukanie klawiszy"));
  SoundEMachineRadioButton = Make<TRadioButton>(this, GroupSound, "SoundEMachineRadioButton", 54, 86, 280, 26,
                                                Cp("maszyna elektroniczna"));
  SoundOldMachineRadioButton = Make<TRadioButton>(this, GroupSound, "SoundOldMachineRadioButton", 54, 116, 280, 26,
                                                  Cp("stara maszyna do pisania"));
  SoundErrorCheckBox =
      Make<TCheckBox>(this, GroupSound, "SoundErrorCheckBox", 34, 150, 300, 26, Cp("sygnalizacja błędu"));
  SoundMetronomCheckBox = Make<TCheckBox>(this, GroupSound, "SoundMetronomCheckBox", 34, 182, 300, 26, Cp("metronom"));
  GroupErrors = Make<TGroupBox>(this, P0, "GroupErrors", 16, 296, 708, 100, Cp("błędy"));
  BackspaceCheckBox = Make<TCheckBox>(this, GroupErrors, "BackspaceCheckBox", 14, 26, 680, 26,
                                      Cp("dozwolone użycie klawisza Backspace"));
  WaitCheckBox = Make<TCheckBox>(this, GroupErrors, "WaitCheckBox", 14, 60, 680, 26,
                                 Cp("oczekiwanie na wprowadzenie poprawnej litery"));
  for (TCheckBox* C : {SoundCheckBox, SoundKeyCheckBox}) C->OnClick = [this](TObject* S) { SoundCheckBoxClick(S); };

  // Page '1': the layout and its picture.
  TWinControl* P1 = Notebook->PageByName("1");
  LabelKeybChoice = MakePageLabel(this, P1, "LabelKeybChoice", 50, 30, Cp("wybierz klawiaturę:"));
  ComboBox1 = Make<TComboBox>(this, P1, "ComboBox1", 250, 26, 250, 28);
  ComboBox1->SetStyle(csDropDownList);
  ComboBox1->OnChange = [this](TObject* S) { ComboBox1Change(S); };
  CheckBoxColorKeyb =
      Make<TCheckBox>(this, P1, "CheckBoxColorKeyb", 250, 66, 400, 26, Cp("palcowanie zaznaczone kolorami"));
  CheckBoxColorKeyb->OnClick = [this](TObject* S) { ComboBox1Change(S); };
  KeybShape = new TShape(this);
  KeybShape->SetName("KeybShape");
  KeybShape->SetParent(P1);
  KeybShape->SetBounds(51, 140, 638, 210);
  KeybShape->SetVisible(false);
  Keyboard = new TKeyboard(this);
  Keyboard->SetName("Keyboard");
  Keyboard->SetParent(KeybShape->Parent());
  Keyboard->SetBounds(KeybShape->Left(), KeybShape->Top(), KeybShape->Width(), KeybShape->Height());

  // Page '2': display, font, colours, the tip.
  TWinControl* P2 = Notebook->PageByName("2");
  GroupScreenMode = Make<TGroupBox>(this, P2, "GroupScreenMode", 16, 12, 340, 100, Cp("tryb ekranu"));
  RadioDirectX = Make<TRadioButton>(this, GroupScreenMode, "RadioDirectX", 14, 26, 310, 26, Cp("pełny ekran (DirectX)"));
  RadioWindow = Make<TRadioButton>(this, GroupScreenMode, "RadioWindow", 14, 60, 310, 26, Cp("okno Windows"));
  RadioDirectX->OnClick = [this](TObject* S) { RadioDirectXClick(S); };
  RadioWindow->OnClick = [this](TObject* S) { RadioWindowClick(S); };
  GroupFont = Make<TGroupBox>(this, P2, "GroupFont", 16, 124, 340, 150, Cp("czcionka"));
  LabelFontFace = MakePageLabel(this, GroupFont, "LabelFontFace", 14, 26, Cp("krój i wiekość czcionki"));
  FontComboBox2 = Make<TFontComboBox>(this, GroupFont, "FontComboBox2", 14, 54, 220, 28);
  FontComboBox2->SetOptions(foFixedPitchOnly);
  VxSpinEdit1 = Make<TVxSpinEdit>(this, GroupFont, "VxSpinEdit1", 246, 54, 76, 28);
  VxSpinEdit1->SetMinValue(8);
  VxSpinEdit1->SetMaxValue(24);
  VxSpinEdit1->SetValue(10);
  CheckBoxBold = Make<TCheckBox>(this, GroupFont, "CheckBoxBold", 14, 100, 300, 26, Cp("pogrubiona"));
  GroupColours = Make<TGroupBox>(this, P2, "GroupColours", 372, 12, 352, 262, Cp("kolory"));
  const char* const kColourLabels[4] = {"kolor tablicy", "kolor czcionki", "kolor liter poprawnych",
                                        "kolor liter błędnych"};
  const char* const kLabelNames[4] = {"LabelBcgColor", "LabelTmpColor", "LabelCorColor", "LabelErrColor"};
  const char* const kComboNames[4] = {"CBBcgColor", "CBTmpColor", "CBCorColor", "CBErrColor"};
  TLabel** Labels[4] = {&LabelBcgColor, &LabelTmpColor, &LabelCorColor, &LabelErrColor};
  TColorComboBox** Combos[4] = {&CBBcgColor, &CBTmpColor, &CBCorColor, &CBErrColor};
  for (int I = 0; I < 4; ++I) {
    *Labels[I] = MakePageLabel(this, GroupColours, kLabelNames[I], 14, 28 + 58 * I, Cp(kColourLabels[I]));
    *Combos[I] = Make<TColorComboBox>(this, GroupColours, kComboNames[I], 204, 24 + 58 * I, 136, 28);
    // Swatches only: the colour names would be the class library's English ones.
    (*Combos[I])->SetDisplayNames(false);
  }
  CBBcgColor->SetHint(Cp("kolor tablicy"));
  ShowHintAtStartupCheckBox =
      Make<TCheckBox>(this, P2, "ShowHintAtStartupCheckBox", 30, 300, 400, 26, "Show Hint at startup");
  Notebook->SetActivePage("0");

  HelpButton = MakeSkinButton(this, this, "HelpButton", "BtnHelp", 40, 532, "Pomoc");
  HelpButton->OnClick = [this](TObject* S) { HelpButtonClick(S); };
  CancelButton = MakeSkinButton(this, this, "CancelButton", "BtnCancel", 410, 532, "Anuluj");
  CancelButton->OnClick = [this](TObject* S) { Button2Click(S); };
  OKButton = MakeSkinButton(this, this, "OKButton", "BtnOK", 600, 532, "OK");
  OKButton->OnClick = [this](TObject* S) { OKButtonClick(S); };
  EnterButton = MakeEnterButton(this, this, "EnterButton");
  EnterButton->OnClick = [this](TObject* S) { OKButtonClick(S); };

  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("OptionsForm");
  for (const char* P :
       {"OptionsForm.Caption", "RadioScrollLine.Caption", "RadioScrollPage.Caption", "RadioScrollFine.Caption",
        "RadioEndEnter.Caption", "RadioEndSpace.Caption", "RadioEndBoth.Caption", "SoundCheckBox.Caption",
        "SoundKeyCheckBox.Caption", "SoundEMachineRadioButton.Caption", "SoundOldMachineRadioButton.Caption",
        "SoundErrorCheckBox.Caption", "SoundMetronomCheckBox.Caption", "BackspaceCheckBox.Caption",
        "WaitCheckBox.Caption", "LabelKeybChoice.Caption", "CheckBoxColorKeyb.Caption", "RadioDirectX.Caption",
        "RadioWindow.Caption", "LabelFontFace.Caption", "CheckBoxBold.Caption", "LabelBcgColor.Caption",
        "LabelTmpColor.Caption", "LabelCorColor.Caption", "LabelErrColor.Caption", "CBBcgColor.Hint",
        "ShowHintAtStartupCheckBox.Caption", "VxCheckbox1.Caption", "VxCheckbox2.Caption", "VxCheckbox3.Caption"})
    VxLanguage1->Properties()->Add(P);
  VxLanguage1->Translate();

  ShowDisplayMode();
  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
}

TOptionsForm::~TOptionsForm() = default;

void TOptionsForm::ShowDisplayMode() {
  const bool Full = PageHost() && PageHost()->InFullScreen();
  RadioDirectX->SetChecked(Full);
  RadioWindow->SetChecked(!Full);
}

void TOptionsForm::FormShow(TObject*) {
  SetErrorSection("TOptionsForm.FormShow");
  if (PageHost()) PageHost()->Ping(Translate("opcje"));
  // The display switch hides and shows this page again: the user's edits must survive that, so
  // the stored settings are read only on the first show.
  if (FLoaded) {
    ShowDisplayMode();
    return;
  }
  LoadSettings();
  FLoaded = true;
}

void TOptionsForm::LoadSettings() {
  ComboBox1->Clear();
  if (KeybList)
    for (int I = 0; I < KeybList->Count(); ++I) ComboBox1->Items()->Add(KeybList->Items()->Strings(I));
  const int Layout = ReadInt("Keyboard", 0);
  ComboBox1->SetItemIndex(Layout >= 0 && Layout < ComboBox1->Items()->Count() ? Layout : -1);
  CheckBoxColorKeyb->SetChecked(ReadBool("KeybHints", false));
  CBBcgColor->SetColorValue(static_cast<TColor>(ReadInt("BcgColor", 0xFFFFFF)));
  CBTmpColor->SetColorValue(static_cast<TColor>(ReadInt("TmpColor", 0)));
  CBErrColor->SetColorValue(static_cast<TColor>(ReadInt("ErrColor", 0xFF)));
  CBCorColor->SetColorValue(static_cast<TColor>(ReadInt("CorColor", 0x800000)));
  FLoadedFont = PrgReg ? PrgReg->ReadString(kSection, "LessonFont", "Courier New") : "Courier New";
  FontComboBox2->SetFontName(FLoadedFont);
  CheckBoxBold->SetChecked(ReadBool("LessonFontBold", false));
  VxSpinEdit1->SetValue(ReadInt("LessonFontSize", 10));
  const int Scroll = ReadInt("ScrollStyle", 2);
  RadioScrollLine->SetChecked(Scroll == 1);
  RadioScrollPage->SetChecked(Scroll == 2);
  RadioScrollFine->SetChecked(Scroll == 3);
  const int End = ReadInt("EndLineMode", 1);
  RadioEndEnter->SetChecked(End == 1);
  RadioEndSpace->SetChecked(End == 2);
  RadioEndBoth->SetChecked(End == 3);
  SoundCheckBox->SetChecked(ReadBool("SoundOn", true));
  SoundKeyCheckBox->SetChecked(ReadBool("SoundKeyOn", true));
  SoundErrorCheckBox->SetChecked(ReadBool("SoundErrorOn", true));
  SoundMetronomCheckBox->SetChecked(ReadBool("SoundMetronomOn", true));
  const bool Old = ReadInt("SoundMachineType", 1) == 1;
  SoundOldMachineRadioButton->SetChecked(Old);
  SoundEMachineRadioButton->SetChecked(!Old);
  BackspaceCheckBox->SetChecked(ReadBool("UseBackspace", true));
  WaitCheckBox->SetChecked(ReadBool("WaitForCorrect", false));
  ShowHintAtStartupCheckBox->SetChecked(ReadBool("ShowHintAtStartup", true));
  ComboBox1Change(this);
  SoundCheckBoxClick(this);
}

void TOptionsForm::ComboBox1Change(TObject*) {
  SetErrorSection("TOptionsForm.ComboBox1Change");
  TKeybDefItem* L = KeybList ? KeybList->Item(ComboBox1->ItemIndex()) : nullptr;
  FPreview.clear();
  if (!L) {
    Keyboard->LoadKeyboard(nullptr, "", "", "");
  } else {
    FPreview = CheckBoxColorKeyb->Checked() ? L->FingersImage : L->Image;
    Keyboard->LoadKeyboard(KeybList->Archive(), FPreview, L->KeysFile, L->CharsFile);
  }
  Keyboard->Invalidate();
}

void TOptionsForm::JetCheckbox1Click(TObject* Sender) {
  auto* C = dynamic_cast<TControl*>(Sender);
  if (!C) return;
  const int Tag = std::clamp(static_cast<int>(C->Tag()), 0, 2);
  VxCheckbox1->SetChecked(Tag == 0);
  VxCheckbox2->SetChecked(Tag == 1);
  VxCheckbox3->SetChecked(Tag == 2);
  Notebook->SetActivePage(std::to_string(Tag));
}

void TOptionsForm::SoundCheckBoxClick(TObject*) {
  const bool S = SoundCheckBox->Checked();
  const bool K = SoundKeyCheckBox->Checked();
  SoundKeyCheckBox->SetEnabled(S);
  SoundMetronomCheckBox->SetEnabled(S);
  SoundErrorCheckBox->SetEnabled(S);
  SoundEMachineRadioButton->SetEnabled(S && K);
  SoundOldMachineRadioButton->SetEnabled(S && K);
}

void TOptionsForm::RadioDirectXClick(TObject*) {
  SetErrorSection("TOptionsForm.RadioDirectXClick");
  TPageHost* H = PageHost();
  if (!H || H->InFullScreen()) return ShowDisplayMode();
  if (ScreenQuestion(Translate("MSG012"))) {
    Hide();
    H->EnterFullScreenIfNot();
    Show();
  }
  // Declined, or the display could not be switched: the radio buttons tell the mode there is.
  ShowDisplayMode();
}

void TOptionsForm::RadioWindowClick(TObject*) {
  SetErrorSection("TOptionsForm.RadioWindowClick");
  TPageHost* H = PageHost();
  if (!H || !H->InFullScreen()) return ShowDisplayMode();
  if (ScreenQuestion(Translate("MSG013"))) {
    Hide();
    H->LeaveFullScreenIfSet();
    Show();
  }
  ShowDisplayMode();
}

void TOptionsForm::HelpButtonClick(TObject*) {
  SetErrorSection("TOptionsForm.HelpButtonClick");
  ShowPopUpHelp(Format("help/help_options_%s.htm", {PageShown()}));
}

void TOptionsForm::OKButtonClick(TObject*) {
  SetErrorSection("TOptionsForm.OKButtonClick");
  if (PrgReg) {
    TPrgReg* R = PrgReg;
    R->WriteInteger(kSection, "Keyboard", ComboBox1->ItemIndex());
    R->WriteBool(kSection, "KeybHints", CheckBoxColorKeyb->Checked());
    R->WriteInteger(kSection, "BcgColor", static_cast<int32_t>(CBBcgColor->ColorValue()));
    R->WriteInteger(kSection, "TmpColor", static_cast<int32_t>(CBTmpColor->ColorValue()));
    R->WriteInteger(kSection, "ErrColor", static_cast<int32_t>(CBErrColor->ColorValue()));
    R->WriteInteger(kSection, "CorColor", static_cast<int32_t>(CBCorColor->ColorValue()));
    // A stored font that is not installed is kept rather than replaced by nothing.
    const std::string FontName = FontComboBox2->FontName();
    R->WriteString(kSection, "LessonFont", FontName.empty() ? FLoadedFont : FontName);
    R->WriteBool(kSection, "LessonFontBold", CheckBoxBold->Checked());
    R->WriteInteger(kSection, "LessonFontSize", static_cast<int32_t>(std::lround(VxSpinEdit1->Value())));
    R->WriteInteger(kSection, "ScrollStyle",
                    1 * RadioScrollLine->Checked() + 2 * RadioScrollPage->Checked() + 3 * RadioScrollFine->Checked());
    R->WriteInteger(kSection, "EndLineMode",
                    1 * RadioEndEnter->Checked() + 2 * RadioEndSpace->Checked() + 3 * RadioEndBoth->Checked());
    R->WriteBool(kSection, "SoundOn", SoundCheckBox->Checked());
    R->WriteBool(kSection, "SoundKeyOn", SoundKeyCheckBox->Checked());
    R->WriteBool(kSection, "SoundErrorOn", SoundErrorCheckBox->Checked());
    R->WriteBool(kSection, "SoundMetronomOn", SoundMetronomCheckBox->Checked());
    R->WriteInteger(kSection, "SoundMachineType", SoundOldMachineRadioButton->Checked() ? 1 : 2);
    R->WriteBool(kSection, "UseBackspace", BackspaceCheckBox->Checked());
    R->WriteBool(kSection, "WaitForCorrect", WaitCheckBox->Checked());
    R->WriteBool(kSection, "ShowHintAtStartup", ShowHintAtStartupCheckBox->Checked());
  }
  if (PageHost()) PageHost()->ShowPage(TPageId::Main);
  Close();
}

void TOptionsForm::Button2Click(TObject*) {
  SetErrorSection("TOptionsForm.Button2Click");
  Close();
  if (PageHost()) PageHost()->ShowPage(TPageId::Main);
}

void TOptionsForm::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }

void RegisterOptionsPage() {
  RegisterPageFactory(TPageId::Options, [] { return static_cast<TForm*>(new TOptionsForm(nullptr)); });
}
