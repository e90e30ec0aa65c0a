#include "tutor/app/SelectForm.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

#include "controls/fileedit.h"
#include "controls/spinedit.h"
#include "controls/vxbutton.h"
#include "controls/vxcheckbox.h"
#include "controls/vximage.h"
#include "dbengine/sql/vxdb_query.h"
#include "htmlview/htmlview.h"
#include "platform/core/cp1250.h"
#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "tutor/MsgDialog.h"
#include "tutor/VxLang.h"
#include "tutor/app/HTMLInstruction.h"
#include "tutor/app/LessonHtml.h"
#include "tutor/app/ResultsForm.h"
#include "tutor/app/StdLesson.h"
#include "tutor/app/panel.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

std::function<void(const std::string&)> TSelectForm::ShowSelectMessage;

namespace {

constexpr TColor kNavy = static_cast<TColor>(0x800000);
constexpr TColor kTeal = static_cast<TColor>(0x808000);
constexpr TColor kNotebookColor = static_cast<TColor>(14860437);
const char* const kDefaultKeys = "asdfjkl;";

void LogError(const std::exception& E) {
  std::cerr << "vx: " << E.what() << "\n";
  try {
    if (ELogger) ELogger->LogException(E, nullptr, Now());
  } catch (...) {
  }
}


std::string HeaderOf(const TStrings& Lines, const std::string& Name) {
  for (int I = 0; I < Lines.Count(); ++I) {
    const std::string& L = Lines.Strings(I);
    if (L.empty() || L[0] != '#') continue;
    const auto Eq = L.find('=');
    if (Eq == std::string::npos) continue;
    if (SameText(Trim(L.substr(0, Eq)), Name)) return Trim(L.substr(Eq + 1));
  }
  return "";
}

std::string WithoutBlanks(std::string S) {
  S.erase(std::remove(S.begin(), S.end(), ' '), S.end());
  return S;
}

TVxButton* MakeButton(TForm* Owner, TZLBArchive* Archive, const char* Name, const std::string& Picture, int X, int Y,
                      const std::string& Caption) {
  auto* B = new TVxButton(Owner);
  B->SetName(Name);
  B->SetTransparentColor(static_cast<TColor>(0x0200FF00));
  B->SetParent(Owner);
  B->SetArchive(Archive);
  B->SetFNameUp(Picture + "_up.bmp");
  B->SetFNameDown(Picture + "_down.bmp");
  B->SetFNameOver(Picture + "_over.bmp");
  B->SetFNameDisabled(Picture + "_up.bmp");
  B->SetLeft(X);
  B->SetTop(Y);
  B->SetCaption(Caption);
  return B;
}

THTMLViewer* MakeViewer(TComponent* Owner, TWinControl* Parent, const char* Name, int X, int Y, int W, int H) {
  auto* V = new THTMLViewer(Owner);
  V->SetName(Name);
  V->SetParent(Parent);
  V->SetBounds(X, Y, W, H);
  V->SetBorderStyle(htNone);
  V->SetHistoryMaxCount(0);
  V->SetDefBackground(kTeal);
  V->CharSet = EASTEUROPE_CHARSET;
  return V;
}

template <class T>
T* Place(T* C, TWinControl* Parent, const char* Name, int X, int Y, int W, int H, const std::string& Caption = "") {
  C->SetName(Name);
  C->SetParent(Parent);
  C->SetBounds(X, Y, W, H);
  if (!Caption.empty()) C->SetCaption(Caption);
  return C;
}

}  // namespace

std::string OwnTextToCp1250(const std::string& Bytes) {
  bool High = false;
  for (unsigned char C : Bytes)
    if (C >= 0x80) High = true;
  std::string Out;
  if (High && IsValidUtf8(Bytes)) {
    // UTF-8, the usual encoding of text files here: each character CP1250 has, the rest dropped.
    Out.reserve(Bytes.size());
    std::size_t I = 0;
    if (Bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) I = 3;
    while (I < Bytes.size()) {
      const unsigned char B = static_cast<unsigned char>(Bytes[I]);
      int Len = B < 0x80 ? 1 : B < 0xE0 ? 2 : B < 0xF0 ? 3 : 4;
      char32_t Cp = Len == 1 ? B : Len == 2 ? (B & 0x1F) : Len == 3 ? (B & 0x0F) : (B & 0x07);
      for (int K = 1; K < Len && I + K < Bytes.size(); ++K) Cp = (Cp << 6) | (static_cast<unsigned char>(Bytes[I + K]) & 0x3F);
      I += Len;
      unsigned char Ch = 0;
      if (Cp < 0x80) Out += static_cast<char>(Cp);
      else if (UnicodeToCp1250(Cp, Ch)) Out += static_cast<char>(Ch);
    }
  } else {
    Out = Bytes;
  }
  std::replace(Out.begin(), Out.end(), '\t', ' ');
  return Out;
}

std::string KeysToText(const std::string& Keys) {
  std::string S;
  for (char C : Keys) {
    if (C == 13) S += "En";
    else if (C == 32) S += "Sp";
    else S += C;
    S += ' ';
  }
  return S;
}

bool LoadViewerDocument(THTMLViewer* Viewer, const std::string& Document) {
  try {
    Viewer->LoadFromFile(ProgramPath(Document));
    return true;
  } catch (const std::exception& E) {
    // A missing document leaves an empty page: the error goes to the log, the program goes on.
    LogError(E);
    try {
      Viewer->Clear();
    } catch (...) {
    }
    return false;
  }
}

TSelectForm::TSelectForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("SelectForm");
  SetBorderStyle(bsNone);
  SetClientWidth(800);
  SetClientHeight(600);
  Font()->SetName("MS Sans Serif");
  Font()->SetSize(12);
  Font()->SetCharset(EASTEUROPE_CHARSET);
  TZLBArchive* Archive = PanelForm ? PanelForm->MainArchive : nullptr;
  VxImage1 = new TVxImage(this);
  VxImage1->SetName("VxImage1");
  VxImage1->SetParent(this);
  VxImage1->SetBounds(0, 0, 800, 600);
  VxImage1->SetArchive(Archive);
  VxImage1->SetBitmapName("exercises_bcg.bmp");

  static const char* const kTabs[6] = {"BtpDril", "BtpGen", "BtpMank", "BtpFing", "BtpTxt", "BtpTextOwn"};
  static const int kTabX[6] = {22, 149, 276, 403, 530, 657};
  static const char* const kTabCaptions[6] = {"Kurs", "Generator", "Wierszyki", "Musztra", "Teksty", "W\xB3\x61sne"};
  for (int I = 0; I < 6; ++I) {
    auto* T = new TVxCheckbox(this);
    static_cast<TComponent*>(T)->SetName(std::string("JetCheckbox") + std::to_string(I + 1));
    T->SetTransparentColor(static_cast<TColor>(0x0200FF00));
    T->SetParent(this);
    T->SetArchive(Archive);
    const std::string P = kTabs[I];
    T->SetFNameUnchecked(P + "_out.bmp");
    T->SetFNameChecked(P + "_check.bmp");
    T->SetFNameOverUnchecked(P + "_over.bmp");
    T->SetFNameOverChecked(P + "_overcheck.bmp");
    T->SetLeft(kTabX[I]);
    T->SetTop(28);
    T->SetTag(I);
    T->SetCaption(kTabCaptions[I]);
    T->OnClick = [this](TObject* S) { JetCheckbox1Click(S); };
    Tabs[I] = T;
  }

  Notebook = new TNotebook(this);
  Notebook->SetName("Notebook");
  Notebook->SetParent(this);
  Notebook->SetBounds(30, 76, 740, 436);
  Notebook->SetColor(kNotebookColor);
  Notebook->Font()->SetColor(kNavy);
  Notebook->SetPageNames({"0", "1", "2", "3", "4", "5"});
  auto Page = [this](const char* N) { return Notebook->PageByName(N); };
  auto MakeList = [this](TWinControl* P, const char* Name) {
    auto* L = Place(new TListBox(this), P, Name, 8, 8, 300, 420);
    L->Font()->SetColor(kNavy);
    return L;
  };
  ListBox1 = MakeList(Page("0"), "ListBox1");
  Viewer0 = MakeViewer(this, Page("0"), "Viewer0", 316, 8, 416, 420);
  ListBox3 = MakeList(Page("2"), "ListBox3");
  Viewer2 = MakeViewer(this, Page("2"), "Viewer2", 316, 8, 416, 420);
  ListBox4 = MakeList(Page("3"), "ListBox4");
  Viewer3 = MakeViewer(this, Page("3"), "Viewer3", 316, 8, 416, 420);
  ListBox2 = MakeList(Page("4"), "ListBox2");
  Viewer4 = MakeViewer(this, Page("4"), "Viewer4", 316, 8, 416, 420);
  LabelFileName = Place(new TLabel(this), Page("5"), "LabelFileName", 8, 12, 100, 20, "nazwa pliku:");
  FilenameEdit1 = Place(new TFilenameEdit(this), Page("5"), "FilenameEdit1", 110, 8, 620, 24);
  FilenameEdit1->SetFilter("All files (*.*)|*.txt");
  Viewer5 = MakeViewer(this, Page("5"), "Viewer5", 8, 40, 724, 388);

  TWinControl* G = Page("1");
  LabLetterNum = Place(new TLabel(this), G, "LabLetterNum", 16, 16, 120, 20, "ilo\x9C\xE6 liter:");
  VxSpinEdit1 = Place(new TVxSpinEdit(this), G, "VxSpinEdit1", 140, 12, 80, 24);
  VxSpinEdit1->SetMinValue(30);
  VxSpinEdit1->SetMaxValue(1000);
  VxSpinEdit1->SetValue(100);
  VxSpinEdit1->OnExit = [this](TObject* S) { VxSpinEdit1Exit(S); };
  GroupAllow = Place(new TGroupBox(this), G, "GroupAllow", 16, 50, 350, 200, " dopuszczalny zestaw liter ");
  RadioAll = Place(new TRadioButton(this), GroupAllow, "RadioAll", 12, 24, 320, 22, "wszystkie litery");
  RadioDone = Place(new TRadioButton(this), GroupAllow, "RadioDone", 12, 50, 320, 22, "dotychczas \xE6wiczone litery");
  RadioButton5 = Place(new TRadioButton(this), GroupAllow, "RadioButton5", 12, 78, 20, 22);
  LabelOther = Place(new TLabel(this), GroupAllow, "LabelOther", 34, 80, 130, 20, "asdfjkl; + inne:");
  Edit1 = Place(new TEdit(this), GroupAllow, "Edit1", 170, 76, 160, 24);
  Keys1Label = Place(new TLabel(this), GroupAllow, "Keys1Label", 12, 120, 320, 60, " ");
  Keys1Label->SetAutoSize(false);
  Keys1Label->SetWordWrap(true);
  Keys1Label->SetBounds(12, 120, 320, 60);
  GroupPrefer = Place(new TGroupBox(this), G, "GroupPrefer", 376, 50, 350, 200, " \xE6wiczone litery ");
  RadioSuggest = Place(new TRadioButton(this), GroupPrefer, "RadioSuggest", 12, 24, 320, 22, "sugerowane litery");
  RadioOther = Place(new TRadioButton(this), GroupPrefer, "RadioOther", 12, 50, 80, 22, "inne:");
  Edit2 = Place(new TEdit(this), GroupPrefer, "Edit2", 100, 48, 200, 24);
  RadioAllOld = Place(new TRadioButton(this), GroupPrefer, "RadioAllOld", 12, 78, 330, 22,
                      "wszystkie dopuszczalne r\xF3wnomiernie");
  Keys2Label = Place(new TLabel(this), GroupPrefer, "Keys2Label", 12, 120, 320, 60, " ");
  Keys2Label->SetAutoSize(false);
  Keys2Label->SetWordWrap(true);
  Keys2Label->SetBounds(12, 120, 320, 60);
  GroupExKind = Place(new TGroupBox(this), G, "GroupExKind", 16, 260, 710, 90, " rodzaj \xE6wiczenia ");
  RadioWords = Place(new TRadioButton(this), GroupExKind, "RadioWords", 12, 24, 300, 22, "s\xB3owa");
  RadioRandom = Place(new TRadioButton(this), GroupExKind, "RadioRandom", 12, 52, 400, 22,
                      "przypadkowo u\xB3o\xBFone litery");
  RadioWords->SetChecked(true);

  BtnHelp = MakeButton(this, Archive, "BtnHelp", "BtnHelp", 40, 532, "Pomoc");
  BtnMenu = MakeButton(this, Archive, "BtnMenu", "BtnMenu", 410, 532, "Menu");
  BtnStart = MakeButton(this, Archive, "BtnStart", "BtnStart", 600, 532, "Start");
  BtnHelp->OnClick = [this](TObject* S) { HelpButtonClick(S); };
  BtnMenu->OnClick = [this](TObject* S) { Button1Click(S); };
  BtnStart->OnClick = [this](TObject* S) { Button2Click(S); };
  EnterBtn = new TButton(this);
  EnterBtn->SetName("EnterBtn");
  EnterBtn->SetParent(this);
  EnterBtn->SetDefault(true);
  EnterBtn->SetVisible(false);
  EnterBtn->OnClick = [this](TObject* S) { Button2Click(S); };

  ListBox1->OnDblClick = [this](TObject*) { StartList(ListBox1, Items1, "Standard Exercises", true); };
  ListBox3->OnDblClick = [this](TObject*) { StartList(ListBox3, Items3, "Mankografs", false); };
  ListBox4->OnDblClick = [this](TObject*) { StartList(ListBox4, Items4, "Drills", false); };
  ListBox2->OnDblClick = [this](TObject*) { StartList(ListBox2, Items2, "Texts", false); };
  ListBox2->OnClick = [this](TObject* S) { ListBox2Click(S); };
  ListBox3->OnClick = [this](TObject* S) { ListBox3Click(S); };

  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("SelectForm");
  for (const char* P : {"SelectForm.Caption", "LabLetterNum.Caption", "GroupAllow.Caption", "RadioAll.Caption",
                        "RadioDone.Caption", "LabelOther.Caption", "GroupPrefer.Caption", "RadioSuggest.Caption",
                        "RadioOther.Caption", "RadioAllOld.Caption", "GroupExKind.Caption", "RadioWords.Caption",
                        "RadioRandom.Caption", "LabelFileName.Caption"})
    VxLanguage1->Properties()->Add(P);
  VxLanguage1->Translate();

  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
  FormCreate();
}

TSelectForm::~TSelectForm() {
  if (!FOwnTextFile.empty()) DeleteFile(FOwnTextFile);
}

void TSelectForm::FormCreate() {
  SetErrorSection("TSelectForm.FormCreate");
  RadioAll->SetEnabled(false);
  RadioDone->SetEnabled(false);
  RadioSuggest->SetEnabled(false);
  RadioAllOld->SetEnabled(false);
  RadioButton5->SetEnabled(true);
  RadioButton5->SetChecked(true);
  RadioOther->SetEnabled(true);
  RadioOther->SetChecked(true);
  Edit1->SetCaption("e");
  Edit2->SetCaption("asdfjkl;e");
  Edit1->SetEnabled(false);
  Edit2->SetEnabled(false);
  ShowTab(0);
  LoadViewerDocument(Viewer5, "help/text_tab.htm");
  LoadViewerDocument(Viewer0, "help/exerc_tab.htm");
  LoadViewerDocument(Viewer3, "help/fingers_tab.htm");
  ListLessonFiles("courses/full/l_*.txt", ListBox1, Items1);
  ListLessonFiles("courses/poems/pm_*.txt", ListBox3, Items3);
  ListLessonFiles("courses/fingers/ph_*.txt", ListBox4, Items4);
  ListLessonFiles("courses/texts/mt_*.txt", ListBox2, Items2);
  ListBox2Click(nullptr);
  ListBox3Click(nullptr);
  try {
    FindWeakKeys();
  } catch (const std::exception& E) {
    // Without the figures of the last exercise the home row is practised.
    LogError(E);
    WeakKeys.clear();
    WeakKeysTop.clear();
  }
  if (WeakKeys.empty()) WeakKeys = kDefaultKeys;
  if (WeakKeysTop.empty()) WeakKeysTop = kDefaultKeys;
  Keys1Label->SetCaption(KeysToText(WeakKeys));
  Keys2Label->SetCaption(KeysToText(WeakKeysTop));
}

void TSelectForm::ListLessonFiles(const std::string& Mask, TListBox* ListBox, std::vector<TItem>& Items) {
  const std::string Path = ProgramPath(Mask);
  const std::string Folder = ExtractFilePath(Path);
  const std::string NameMask = UpperCase(ExtractFileName(Path));
  std::vector<std::pair<std::string, std::string>> Names;  // upper-case name, name on disk
  TSearchRec F;
  if (FindFirst(Folder + "*", faAnyFile & ~faDirectory, F) == 0) {
    do {
      const std::string Upper = UpperCase(F.Name);
      if (MatchesMask(Upper, NameMask)) Names.emplace_back(Upper, F.Name);
    } while (FindNext(F) == 0);
    FindClose(F);
  }
  std::sort(Names.begin(), Names.end());
  ListBox->Clear();
  Items.clear();
  for (const auto& [Upper, Name] : Names) {
    TItem It;
    It.FileName = Folder + Name;
    TStringList Lines;
    try {
      Lines.LoadFromFile(It.FileName);
    } catch (const std::exception& E) {
      LogError(E);
    }
    It.Title = HeaderOf(Lines, "#title");
    if (It.Title.empty()) It.Title = Upper;
    It.HTMLInfo = HeaderOf(Lines, "#HTMLInfo");
    It.Inst = HeaderOf(Lines, "#inst");
    It.Info = HeaderOf(Lines, "#info");
    It.Params = HeaderOf(Lines, "#params");
    ListBox->Items()->Add(It.Title);
    Items.push_back(std::move(It));
  }
  if (!Items.empty()) ListBox->SetItemIndex(0);
}

bool TSelectForm::FindWeakKeys() {
  SetErrorSection("TSelectForm.FindWeakKeys");
  WeakKeys.clear();
  WeakKeysTop.clear();
  if (!DM || !DM->DB || !DM->DB->Connected()) return true;
  const int Student = PageHost() ? PageHost()->CurrentStudent() : DM->CurrentStudent;
  if (Student < 0) return true;
  TVXDBQuery Q(nullptr);
  Q.SetSessionName(DM->VXSession->SessionName());
  Q.SetDatabaseName("db");
  Q.SQL()->SetText(Format("select max(id_practice) x from netstat where id_student = %d", {Student}));
  Q.Open();
  int Last = -1;
  // A student without rows gets one row holding NULL.
  if (!Q.Eof() && !Q.FieldByName("x")->IsNull()) Last = Q.FieldByName("x")->AsInteger();
  Q.Close();
  if (Last != -1) {
    Q.SQL()->SetText(Format("select key, cpm, acc from netstat where id_student = %d and id_practice = %d "
                            "and key not in (13,32) order by acc, cpm",
                            {Student, Last}));
    Q.Open();
    for (; !Q.Eof(); Q.Next()) {
      const int Key = Q.FieldByName("key")->AsInteger();
      if (Key == 13 || Key == 32 || Key <= 0 || Key > 255) continue;
      WeakKeys += static_cast<char>(Key);
      if (WeakKeysTop.size() < 4) WeakKeysTop += static_cast<char>(Key);
    }
    Q.Close();
  }
  return true;
}

void TSelectForm::FormShow(TObject*) {
  SetErrorSection("TSelectForm.FormShow");
  if (PageHost()) PageHost()->Ping(Translate("exercises"));
}

void TSelectForm::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }

void TSelectForm::Button1Click(TObject*) {
  SetErrorSection("TSelectForm.Button1Click");
  Close();
  if (PageHost()) PageHost()->ShowPage(TPageId::Main);
}

void TSelectForm::ShowTab(int Tag) {
  for (int I = 0; I < 6; ++I) Tabs[I]->SetChecked(I == Tag);
  Notebook->SetActivePage(std::to_string(Tag));
}

std::string TSelectForm::PageShown() const { return Notebook->ActivePage(); }

void TSelectForm::JetCheckbox1Click(TObject* Sender) {
  if (auto* C = dynamic_cast<TControl*>(Sender)) ShowTab(std::clamp(static_cast<int>(C->Tag()), 0, 5));
}

void TSelectForm::ShowInfo(TListBox* List, const std::vector<TItem>& Items, THTMLViewer* Viewer) {
  const int I = List->ItemIndex();
  if (I >= 0 && I < static_cast<int>(Items.size()) && !Items[I].HTMLInfo.empty() &&
      FileExists(ProgramPath(Items[I].HTMLInfo))) {
    Viewer->SetVisible(LoadViewerDocument(Viewer, Items[I].HTMLInfo));
  } else {
    Viewer->SetVisible(false);
  }
}

void TSelectForm::ListBox2Click(TObject*) { ShowInfo(ListBox2, Items2, Viewer4); }
void TSelectForm::ListBox3Click(TObject*) { ShowInfo(ListBox3, Items3, Viewer2); }

int TSelectForm::LetterCount() const {
  return static_cast<int>(std::clamp<int64_t>(Round(VxSpinEdit1->Value()), 30, 1000));
}

void TSelectForm::VxSpinEdit1Exit(TObject*) { VxSpinEdit1->SetValue(LetterCount()); }

TStdLessonForm* TSelectForm::OpenLesson() {
  TPageHost* Host = PageHost();
  if (!Host) return nullptr;
  Host->SetReturnPage(this);
  Host->ShowPage(TPageId::StdLesson);
  return dynamic_cast<TStdLessonForm*>(Host->FindPage(TPageId::StdLesson));
}

void TSelectForm::StartList(TListBox* List, const std::vector<TItem>& Items, const std::string& CaptionId,
                            bool Course) {
  SetErrorSection("TSelectForm.Button2Click");
  const int I = List->ItemIndex();
  if (I < 0 || I >= static_cast<int>(Items.size())) return;  // nothing chosen: nothing to start
  const TItem It = Items[I];
  TStdLessonForm* L = OpenLesson();
  if (!L) return;
  if (Course) L->RunCourseTextExercise(It.FileName, Translate(CaptionId), It.Title);
  else L->RunTextExercise(It.FileName, Translate(CaptionId), It.Title);
}

void TSelectForm::Button2Click(TObject*) {
  SetErrorSection("TSelectForm.Button2Click");
  const std::string P = PageShown();
  if (P == "0") return StartList(ListBox1, Items1, "Standard Exercises", true);
  if (P == "2") return StartList(ListBox3, Items3, "Mankografs", false);
  if (P == "3") return StartList(ListBox4, Items4, "Drills", false);
  if (P == "4") return StartList(ListBox2, Items2, "Texts", false);
  if (P == "5") {
    const std::string File = FilenameEdit1->FileName();
    if (File.empty() || !FileExists(File)) {
      // A start that does nothing leaves the learner guessing: say there is nothing to type.
      const std::string Text = Translate("ERR004");
      if (ShowSelectMessage) ShowSelectMessage(Text);
      else TranslatedMessageDlg(Text, mtInformation, MsgDlgButton(mbOK), 0);
      return;
    }
    std::ifstream In(File, std::ios::binary);
    std::ostringstream Buf;
    Buf << In.rdbuf();
    const std::string Bytes = Buf.str();
    if (Bytes.size() > kMaxOwnTextSize) {
      const std::string Text = Translate("ERR006");
      if (ShowSelectMessage) ShowSelectMessage(Text);
      else TranslatedMessageDlg(Text, mtInformation, MsgDlgButton(mbOK), 0);
      return;
    }
    // The lesson reads a CP1250 copy under the file's own name.
    const std::string Dir = GetTempDir() + "vx-own-" + std::to_string(getpid()) + "/";
    ForceDirectories(Dir);
    if (!FOwnTextFile.empty()) DeleteFile(FOwnTextFile);
    FOwnTextFile = Dir + ExtractFileName(File);
    {
      std::ofstream Out(FOwnTextFile, std::ios::binary | std::ios::trunc);
      Out << OwnTextToCp1250(Bytes);
    }
    TStdLessonForm* L = OpenLesson();
    if (L) L->RunTextExercise(FOwnTextFile, Translate("Owned Texsts"), ExtractFileName(File));
    return;
  }
  if (P == "1") {
    const std::string A = RadioAll->Checked() ? "" : RadioDone->Checked() ? WeakKeys : WithoutBlanks(Edit1->Text() + kDefaultKeys);
    const std::string E = RadioAllOld->Checked() ? "" : RadioSuggest->Checked() ? WithoutBlanks(WeakKeysTop) : Edit2->Text();
    const int N = LetterCount();
    const bool Words = RadioWords->Checked();
    TStdLessonForm* L = OpenLesson();
    if (!L) return;
    const std::string Info = A + " ; " + E + " ; " + IntToStr(N);
    if (Words) L->RunWordExercise(A, E, N, Translate("Word Generator"), Info);
    else L->RunLetterExercise(A, E, N, Translate("Letters Generator"), Info);
  }
}

void TSelectForm::HelpButtonClick(TObject*) {
  SetErrorSection("TSelectForm.HelpButtonClick");
  ShowPopUpHelp(Format("help/help_exerc_%s.htm", {PageShown()}));
}

void RegisterSelectPage() {
  RegisterPageFactory(TPageId::Select, [] { return static_cast<TForm*>(new TSelectForm(nullptr)); });
}

void RegisterExercisePages() {
  RegisterSelectPage();
  RegisterLessonPage();
  RegisterResultsPage();
  RegisterLessonHtmlPage();
}
