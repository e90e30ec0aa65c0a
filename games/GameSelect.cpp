#include "games/GameSelect.h"

#include <memory>

#include "controls/vxbutton.h"
#include "controls/vxcheckbox.h"
#include "controls/vximage.h"
#include "dbengine/sql/vxdb_query.h"
#include "games/BomberStart.h"
#include "games/BomberTowns.h"
#include "games/GameServices.h"
#include "platform/core/fileutils.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/translations.h"

std::function<void(TComboBox* Levels, TComboBox* Themes)> FillGalleryLists;
std::function<bool(int LevelIndex, int ThemeIndex, const std::string& Allowed, const std::string& Preferred)>
    StartGalleryFromPage;

namespace {

constexpr TColor kTransparent = 0x00FF00;
// The light panel of the page picture the settings stand on, and the captions' blue.
constexpr TColor kPanelColour = 0xFBF7F4;
constexpr TColor kCaptionColour = 0x7D3200;
const char* const kHomeRow = "asdfjkl;";

std::string WithoutBlanks(std::string S) {
  std::erase(S, ' ');
  return S;
}

}  // namespace

std::string LettersToText(const std::string& Letters) {
  std::string Out;
  for (char C : Letters) {
    if (C == 13)
      Out += "En";
    else if (C == 32)
      Out += "Sp";
    else
      Out += C;
    Out += ' ';
  }
  return Out;
}

void SuggestLetters(int StudentId, std::string& WeakLetters, std::string& PracticedLetters) {
  WeakLetters.clear();
  PracticedLetters.clear();
  if (!DM) return;
  auto Q = std::make_unique<TVXDBQuery>(nullptr);
  Q->SetDatabaseName("db");
  Q->SetSessionName(DM->VXSession->SessionName());
  Q->SQL()->SetText("select max(id_practice) x from netstat where id_student = " + std::to_string(StudentId));
  Q->Open();
  Q->First();
  // No practice gives one row with no value, read as 0: the second query then finds nothing.
  const int X = Q->Eof() ? -1 : Q->FieldByName("x")->AsInteger();
  Q->Close();
  if (X == -1) return;
  Q->SQL()->SetText("select key, cpm, acc from netstat where id_student = " + std::to_string(StudentId) +
                    " and id_practice = " + std::to_string(X) + " and key not in (13,32) order by acc, cpm");
  Q->Open();
  int Taken = 0;
  for (Q->First(); !Q->Eof(); Q->Next()) {
    const int K = Q->FieldByName("key")->AsInteger();
    const char C = static_cast<char>(K & 0xFF);
    if (C == 13 || C == 32) continue;
    PracticedLetters += C;
    if (Taken < 4) WeakLetters += C;
    ++Taken;
  }
  Q->Close();
}

namespace {

TLabel* MakeLabel(TForm* Owner, TWinControl* Parent, const std::string& Name, const std::string& Caption, int X,
                  int Y) {
  auto* L = new TLabel(Owner);
  L->SetName(Name);
  L->SetParent(Parent);
  L->SetLeft(X);
  L->SetTop(Y);
  L->SetTransparent(true);
  L->SetCaption(Caption);
  return L;
}

TRadioButton* MakeRadio(TForm* Owner, TWinControl* Parent, const std::string& Name, const std::string& Caption,
                        int X, int Y, int W = 260) {
  auto* R = new TRadioButton(Owner);
  R->SetName(Name);
  R->SetParent(Parent);
  R->SetBounds(X, Y, W, 20);
  R->SetCaption(Caption);
  return R;
}

TComboBox* MakeCombo(TForm* Owner, TWinControl* Parent, const std::string& Name, int X, int Y) {
  auto* C = new TComboBox(Owner);
  C->SetName(Name);
  C->SetParent(Parent);
  C->SetBounds(X, Y, 200, 24);
  C->SetStyle(csDropDownList);
  return C;
}

TEdit* MakeEdit(TForm* Owner, TWinControl* Parent, const std::string& Name, const std::string& Text, int X, int Y) {
  auto* E = new TEdit(Owner);
  E->SetName(Name);
  E->SetParent(Parent);
  E->SetBounds(X, Y, 150, 22);
  E->SetCaption(Text);
  return E;
}

struct TLetterPage {
  TGroupBox *Allow, *Pref;
  TRadioButton *All, *Done, *Other, *Equal, *Suggested, *PrefOther;
  TLabel *Practised, *OtherLabel, *SuggestedLabel, *PrefLabel;
  TEdit *AllowEdit, *PrefEdit;
};

// The two letter groups of a page, placed the same on both pages.
TLetterPage MakeLetterGroups(TForm* F, TWinControl* Page, const std::string& Suffix) {
  TLetterPage P{};
  P.Allow = new TGroupBox(F);
  P.Allow->SetName("Group" + Suffix + "Allow");
  P.Allow->SetParent(Page);
  P.Allow->SetBounds(20, 190, 330, 185);
  P.Allow->SetColor(kPanelColour);
  P.Allow->SetCaption(" dopuszczalny zestaw liter ");
  P.Pref = new TGroupBox(F);
  P.Pref->SetName("Group" + Suffix + "Pref");
  P.Pref->SetParent(Page);
  P.Pref->SetBounds(370, 190, 330, 185);
  P.Pref->SetColor(kPanelColour);
  P.Pref->SetCaption(" \xE6wiczone litery ");
  return P;
}

}  // namespace

TGameSelectForm::TGameSelectForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("GameSelectForm");
  SetBorderStyle(bsNone);
  SetBounds(0, 0, 800, 600);
  Font()->SetCharset(EASTEUROPE_CHARSET);
  Archive = new TZLBArchive(this);
  Archive->SetArchiveName(ProgramPath(vx::res::kInterfaceArchive));
  try {
    Archive->Activate();
  } catch (const Exception&) {
    // The page works without its pictures.
  }
  VxImage1 = new TVxImage(this);
  VxImage1->SetName("VxImage1");
  VxImage1->SetParent(this);
  VxImage1->SetBounds(0, 0, 800, 600);
  VxImage1->SetArchive(Archive);
  VxImage1->SetBitmapName("games_bcg.bmp");

  struct {
    TVxCheckbox** Field;
    const char* Name;
    const char* Picture;
    int Tag, X, Y;
    const char* Caption;
  } Boxes[] = {{&VxCheckbox1, "VxCheckbox1", "BtpBomb", 0, 182, 48, "bomber"},
               {&VxCheckbox2, "VxCheckbox2", "BtpGal", 1, 64, 48, "galeria"}};
  for (auto& D : Boxes) {
    auto* B = new TVxCheckbox(this);
    B->TComponent::SetName(D.Name);
    B->SetTag(D.Tag);
    B->SetParent(this);
    B->SetArchive(Archive);
    const std::string P = D.Picture;
    B->SetFNameUnchecked(P + "_out.bmp");
    B->SetFNameChecked(P + "_check.bmp");
    B->SetFNameOverUnchecked(P + "_over.bmp");
    B->SetFNameOverChecked(P + "_overcheck.bmp");
    B->SetLeft(D.X);
    B->SetTop(D.Y);
    B->SetCaption(D.Caption);
    B->SetParentFont(false);
    B->Font()->SetStyle(fsBold);
    B->Font()->SetSize(11);
    B->Font()->SetColor(kCaptionColour);
    B->OnClick = [this](TObject* S) { JetCheckboxClick(S); };
    *D.Field = B;
  }
  VxCheckbox2->SetChecked(true);

  struct {
    TVxButton** Field;
    const char* Name;
    const char* Picture;
    int X, Y;
    const char* Caption;
    std::function<void(TObject*)> Click;
  } Buttons[] = {
      {&VxButton1, "VxButton1", "BtnHelp", 58, 532, "pomoc", [this](TObject* S) { HelpButtonClick(S); }},
      {&VxButton2, "VxButton2", "BtnMenu", 427, 532, "menu", [this](TObject* S) { Button1Click(S); }},
      {&VxButton3, "VxButton3", "BtnStart", 593, 531, "start", [this](TObject* S) { Button2Click(S); }},
  };
  for (auto& D : Buttons) {
    auto* B = new TVxButton(this);
    B->SetName(D.Name);
    B->SetTransparentColor(kTransparent);
    B->SetParent(this);
    B->SetArchive(Archive);
    const std::string P = D.Picture;
    B->SetFNameUp(P + "_up.bmp");
    B->SetFNameDown(P + "_down.bmp");
    B->SetFNameOver(P + "_over.bmp");
    B->SetLeft(D.X);
    B->SetTop(D.Y);
    B->SetCaption(D.Caption);
    B->SetParentFont(false);
    B->Font()->SetStyle(fsBold);
    B->Font()->SetSize(11);
    B->Font()->SetColor(kCaptionColour);
    B->OnClick = D.Click;
    *D.Field = B;
  }
  // Enter starts the game: a default button placed off the page.
  EnterButton = new TButton(this);
  EnterButton->SetName("EnterButton");
  EnterButton->SetParent(this);
  EnterButton->SetBounds(0, -50, 75, 25);
  EnterButton->SetDefault(true);
  EnterButton->SetCaption("Start");
  EnterButton->OnClick = [this](TObject* S) { Button2Click(S); };

  Notebook = new TNotebook(this);
  Notebook->SetName("Notebook");
  Notebook->SetParent(this);
  Notebook->SetBounds(40, 120, 720, 390);
  Notebook->SetPageNames({"1", "0"});
  Notebook->SetColor(kPanelColour);
  TPage* Gallery = Notebook->Pages(0);
  TPage* Bomber = Notebook->Pages(1);
  for (TPage* P : {Gallery, Bomber}) P->SetColor(kPanelColour);
  Label5 = MakeLabel(this, Bomber, "Label5", "maksymalna liczba bomb:", 40, 160);

  LabelLevel = MakeLabel(this, Gallery, "LabelLevel", "poziom trudno\x9C" "ci:", 40, 40);
  ComboBox4 = MakeCombo(this, Gallery, "ComboBox4", 230, 36);
  LabelPicKind = MakeLabel(this, Gallery, "LabelPicKind", "rodzaj obraz\xF3w:", 40, 90);
  ComboBox1 = MakeCombo(this, Gallery, "ComboBox1", 230, 86);
  TLetterPage G = MakeLetterGroups(this, Gallery, "");
  GroupAllow = G.Allow;
  GroupPref = G.Pref;
  RadioAll = MakeRadio(this, GroupAllow, "RadioAll", "wszystkie litery", 12, 24);
  RadioDone = MakeRadio(this, GroupAllow, "RadioDone", "dotychczas \xE6wiczone litery", 12, 54);
  Label1 = MakeLabel(this, GroupAllow, "Label1", "", 32, 78);
  RadioButton6 = MakeRadio(this, GroupAllow, "RadioButton6", "", 12, 110, 20);
  LabelOther = MakeLabel(this, GroupAllow, "LabelOther", "asdfjkl; + inne:", 34, 112);
  Edit3 = MakeEdit(this, GroupAllow, "Edit3", "e", 150, 108);
  RadioEqual = MakeRadio(this, GroupPref, "RadioEqual", "wszystkie dopuszczalne r\xF3wnomiernie", 12, 24, 300);
  RadioPref = MakeRadio(this, GroupPref, "RadioPref", "sugerowane litery", 12, 54);
  Label2 = MakeLabel(this, GroupPref, "Label2", "", 32, 78);
  RadioOther = MakeRadio(this, GroupPref, "RadioOther", "inne:", 12, 110, 70);
  Label7 = MakeLabel(this, GroupPref, "Label7", "asdfjkl; + inne:", 34, 140);
  Label7->SetVisible(false);  // describes nothing on this group; kept for the translations
  Edit4 = MakeEdit(this, GroupPref, "Edit4", "asdfjkle", 150, 108);

  Label4 = MakeLabel(this, Bomber, "Label4", "poziom trudno\x9C" "ci:", 40, 40);
  ComboBox3 = MakeCombo(this, Bomber, "ComboBox3", 230, 36);
  Label23 = MakeLabel(this, Bomber, "Label23", "miasto:", 40, 90);
  ComboBox2 = MakeCombo(this, Bomber, "ComboBox2", 230, 86);
  TLetterPage B = MakeLetterGroups(this, Bomber, "Bom");
  GroupBomAllow = B.Allow;
  GroupBomPref = B.Pref;
  RadioBomAll = MakeRadio(this, GroupBomAllow, "RadioBomAll", "wszystkie litery", 12, 24);
  RadioBomDone = MakeRadio(this, GroupBomAllow, "RadioBomDone", "dotychczas \xE6wiczone litery", 12, 54);
  Label22 = MakeLabel(this, GroupBomAllow, "Label22", "", 32, 78);
  RadioButton15 = MakeRadio(this, GroupBomAllow, "RadioButton15", "", 12, 110, 20);
  Label8 = MakeLabel(this, GroupBomAllow, "Label8", "asdfjkl; + inne:", 34, 112);
  Edit6 = MakeEdit(this, GroupBomAllow, "Edit6", "e", 150, 108);
  RadioBomEqual = MakeRadio(this, GroupBomPref, "RadioBomEqual", "wszystkie dopuszczalne r\xF3wnomiernie", 12, 24, 300);
  RadioBomPref = MakeRadio(this, GroupBomPref, "RadioBomPref", "sugerowane litery", 12, 54);
  Label19 = MakeLabel(this, GroupBomPref, "Label19", "", 32, 78);
  RadioBomOther = MakeRadio(this, GroupBomPref, "RadioBomOther", "inne:", 12, 110, 70);
  Edit5 = MakeEdit(this, GroupBomPref, "Edit5", "asdfjkl;e", 150, 108);

  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
  FormCreate();
}

void TGameSelectForm::FormCreate() {
  for (TControl* C : std::initializer_list<TControl*>{RadioAll, RadioDone, RadioEqual, RadioPref, Edit3, Edit4,
                                                      RadioBomAll, RadioBomDone, RadioBomEqual, RadioBomPref, Edit6,
                                                      Edit5})
    C->SetEnabled(false);
  RadioDone->SetChecked(false);
  RadioPref->SetChecked(false);
  for (TRadioButton* R : {RadioButton6, RadioOther, RadioButton15, RadioBomOther}) {
    R->SetEnabled(true);
    R->SetChecked(true);
  }
  LabelOther->SetEnabled(true);
  Label8->SetEnabled(true);
  for (const char* K : {"BLEVEL1", "BLEVEL2", "BLEVEL3"}) ComboBox3->Items()->Add(Translate(K));
  Notebook->SetActivePage("1");
  if (FillGalleryLists) FillGalleryLists(ComboBox4, ComboBox1);
  ComboBox3->SetItemIndex(0);
  if (TStringList* Towns = TownList()) ComboBox2->Items()->Assign(Towns);
  // No towns: nothing is selected, and the bomber refuses to start.
  ComboBox2->SetItemIndex(ComboBox2->Items()->Count() > 0 ? 0 : -1);
  const int Student = PageHost() ? PageHost()->CurrentStudent() : (DM ? DM->CurrentStudent : -1);
  SuggestLetters(Student, WeakLetters, PracticedLetters);
  if (WeakLetters.empty()) WeakLetters = kHomeRow;
  if (PracticedLetters.empty()) PracticedLetters = kHomeRow;
  Label1->SetCaption(LettersToText(PracticedLetters));
  Label22->SetCaption(LettersToText(PracticedLetters));
  Label2->SetCaption(LettersToText(WeakLetters));
  Label19->SetCaption(LettersToText(WeakLetters));
}

void TGameSelectForm::FormShow(TObject*) {
  if (PageHost()) PageHost()->Ping(Translate("Game Chose"));
}

void TGameSelectForm::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }

void TGameSelectForm::JetCheckboxClick(TObject* Sender) {
  auto* Box = dynamic_cast<TVxCheckbox*>(Sender);
  if (!Box) return;
  VxCheckbox1->SetChecked(false);
  VxCheckbox2->SetChecked(false);
  Box->SetChecked(true);
  Notebook->SetActivePage(std::to_string(Box->Tag()));
}

void TGameSelectForm::HelpButtonClick(TObject*) {
  if (ShowGameHelp) ShowGameHelp("help/help_games_" + Notebook->ActivePage() + ".htm");
}

void TGameSelectForm::Button1Click(TObject*) {
  Close();
  if (PageHost()) PageHost()->ShowPage(TPageId::Main);
}

void TGameSelectForm::Button2Click(TObject*) {
  if (PageHost()) PageHost()->SetReturnPage(this);
  if (Notebook->ActivePage() == "1")
    StartGallery();
  else
    StartBomber();
}

void TGameSelectForm::LetterSets(std::string& Allowed, std::string& Preferred) const {
  const bool Bomber = Notebook->ActivePage() == "0";
  TRadioButton* All = Bomber ? RadioBomAll : RadioAll;
  TRadioButton* Done = Bomber ? RadioBomDone : RadioDone;
  TEdit* AllowEdit = Bomber ? Edit6 : Edit3;
  TRadioButton* Equal = Bomber ? RadioBomEqual : RadioEqual;
  TRadioButton* Pref = Bomber ? RadioBomPref : RadioPref;
  TEdit* PrefEdit = Bomber ? Edit5 : Edit4;
  if (All->Checked())
    Allowed.clear();
  else if (Done->Checked())
    Allowed = PracticedLetters;
  else
    Allowed = WithoutBlanks(AllowEdit->Text() + kHomeRow);
  if (Equal->Checked())
    Preferred = Allowed;
  else if (Pref->Checked())
    Preferred = WithoutBlanks(WeakLetters);
  else
    Preferred = PrefEdit->Text();
}

bool TGameSelectForm::StartBomber() {
  std::string A, P;
  LetterSets(A, P);
  if (!A.empty() && A.size() < 4) {
    if (ReportGameError) ReportGameError(Translate("MSG002"));
    return false;
  }
  if (ComboBox2->ItemIndex() < 0) {
    if (ReportGameError) ReportGameError(Translate("There is no town to play in"));
    return false;
  }
  TBomberStart S;
  S.Difficulty = ComboBox3->ItemIndex() + 1;
  S.AllowedLetters = A;
  S.PreferredLetters = P;
  S.TownIndex = ComboBox2->ItemIndex();
  if (PageHost()) PageHost()->SetReturnPage(this);
  // The page stays until the game has started: a start that fails leaves the student here.
  if (!StartBomberGame(S)) return false;
  SetVisible(false);
  return true;
}

bool TGameSelectForm::StartGallery() {
  std::string A, P;
  LetterSets(A, P);
  if (!A.empty() && A.size() < 4) {
    if (ReportGameError) ReportGameError(Translate("MSG002"));
    return false;
  }
  if (!StartGalleryFromPage) return false;
  if (PageHost()) PageHost()->SetReturnPage(this);
  if (!StartGalleryFromPage(ComboBox4->ItemIndex(), ComboBox1->ItemIndex(), A, P)) return false;
  SetVisible(false);
  return true;
}
