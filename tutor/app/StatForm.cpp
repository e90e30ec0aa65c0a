#include "tutor/app/StatForm.h"

#include <cmath>

#include "controls/vxbutton.h"
#include "controls/vxcheckbox.h"
#include "controls/vximage.h"
#include "dbengine/sql/vxdb_query.h"
#include "platform/core/cp1250.h"
#include "platform/core/sysutils.h"
#include "tutor/VxLang.h"
#include "tutor/app/HTMLInstruction.h"
#include "tutor/app/SkinParts.h"
#include "tutor/app/panel.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/core/Scenario.h"
#include "tutor/fmELog.h"
#include "tutor/translations.h"

namespace {
constexpr int kBarsPerPage = 15;
constexpr TColor kSpeedBars = static_cast<TColor>(0x00A05020);
constexpr TColor kAccuracyBars = static_cast<TColor>(0x002080C0);

int StudentId() {
  if (PageHost()) return PageHost()->CurrentStudent();
  return DM ? DM->CurrentStudent : -1;
}

// The student's row of the data module's student table is the current one (the logon puts it
// there); its detail tables follow it.
bool StudentRowIsCurrent() {
  const int S = StudentId();
  return S >= 0 && DM && DM->TbStudent && DM->TbStudent->Active() && !DM->TbStudent->IsEmpty() &&
         DM->TbStudent->FieldByName("ID_STUDENT")->AsInteger() == S;
}
}  // namespace

std::string TStatForm::KeyLabel(int Key) {
  if (Key == 32) return Translate("Space");
  if (Key == 13) return Translate("Enter");
  if (Key <= 0 || Key > 255) return "";
  return std::string(1, static_cast<char>(Key));
}

TStatForm::TStatForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("StatForm");
  SetBorderStyle(bsNone);
  SetClientWidth(800);
  SetClientHeight(600);
  Font()->SetName("MS Sans Serif");
  Font()->SetSize(12);
  Font()->SetCharset(EASTEUROPE_CHARSET);
  TZLBArchive* Archive = ScreenArchive();
  VxImage1 = new TVxImage(this);
  VxImage1->SetName("VxImage1");
  VxImage1->SetParent(this);
  VxImage1->SetBounds(0, 0, 800, 600);
  VxImage1->SetArchive(Archive);
  VxImage1->SetBitmapName("stat_bcg.bmp");

  static const char* const kTabs[3] = {"BtpStSum", "BtpStCpm", "BtpStAcc"};
  static const char* const kTabCaptions[3] = {"Podsumowanie", "Szybkość", "Poprawność"};
  static const char* const kTabNames[3] = {"JetCheckbox1", "JetCheckbox2", "JetCheckbox3"};
  for (int I = 0; I < 3; ++I) {
    Tabs[I] = MakeSkinTab(this, this, kTabNames[I], kTabs[I], 40 + 202 * I, 28, I);
    Tabs[I]->SetCaption(Utf8ToCp1250(kTabCaptions[I]));
    Tabs[I]->OnClick = [this](TObject* S) { JetCheckbox1Click(S); };
  }
  Tabs[0]->SetChecked(true);

  Notebook = new TNotebook(this);
  Notebook->SetName("Notebook");
  Notebook->SetParent(this);
  Notebook->SetBounds(30, 76, 740, 436);
  Notebook->SetColor(kPageNotebookColor);
  Notebook->Font()->SetColor(kPageNavy);
  Notebook->SetPageNames({"0", "1", "2", "3"});
  TWinControl* Summary = Notebook->PageByName("0");
  const char* const kCaptions[6] = {"zalogowany aktualnie ucze\xF1:", "ilo\x9C\xE6 wykonanych \xE6wicze\xF1:",
                                    "realizowany kurs:",           "\xB3\xB9\x63zny czas \xE6wicze\xF1:",
                                    "aktualna szybko\x9C\xE6 pisania:", "aktualna poprawno\x9C\xE6 pisania:"};
  const char* const kCaptionNames[6] = {"LabelStudentCaption", "LabelCountCaption", "LabelCourseCaption",
                                        "LabelTimeCaption",    "LabelSpeedCaption", "LabelAccuracyCaption"};
  const char* const kValueNames[6] = {"LabelStudent", "LabelCount", "LabelCourse",
                                      "LabelTime",    "LabelSpeed", "LabelAccuracy"};
  TLabel** Captions[6] = {&LabelStudentCaption, &LabelCountCaption, &LabelCourseCaption,
                          &LabelTimeCaption,    &LabelSpeedCaption, &LabelAccuracyCaption};
  TLabel** Values[6] = {&LabelStudent, &LabelCount, &LabelCourse, &LabelTime, &LabelSpeed, &LabelAccuracy};
  for (int I = 0; I < 6; ++I) {
    *Captions[I] = MakePageLabel(this, Summary, kCaptionNames[I], 40, 40 + 56 * I, kCaptions[I]);
    *Values[I] = MakePageLabel(this, Summary, kValueNames[I], 330, 40 + 56 * I, "", true);
  }

  static const char* const kUnits[2] = {"cpm", "%"};
  static const char* const kChartNames[2] = {"ChartCpm", "ChartAcc"};
  static const char* const kUnitNames[2] = {"LabelCpmUnit", "LabelAccUnit"};
  static const char* const kLeftNames[2] = {"BtnLeft1", "BtnLeft2"};
  static const char* const kRightNames[2] = {"BtnRight1", "BtnRight2"};
  for (int C = 0; C < 2; ++C) {
    TWinControl* P = Notebook->PageByName(C == 0 ? "1" : "2");
    Charts[C] = new TChart(this);
    Charts[C]->SetName(kChartNames[C]);
    Charts[C]->SetParent(P);
    Charts[C]->SetBounds(20, 34, 700, 336);
    Charts[C]->BackColor = clWhite;
    Charts[C]->SetMaxPointsPerPage(kBarsPerPage);
    Series[C] = Charts[C]->AddSeries(skBar);
    Series[C]->SeriesColor = C == 0 ? kSpeedBars : kAccuracyBars;
    Series[C]->MarksVisible = true;
    Series[C]->MarksFormat = "#,##0.";
    Charts[C]->OnGetAxisLabel = [](TObject*, TChartSeries* S, int I, std::string& Label) {
      Label = KeyLabel(StrToIntDef(S->Point(I).Label, 0));
    };
    Charts[C]->OnAfterDraw = [this, C](TObject*) { UpdatePageButtons(C); };
    UnitLabels[C] = MakePageLabel(this, P, kUnitNames[C], 24, 8, kUnits[C], true);
    // The buttons sit below the chart on the notebook page (the page layout's 300/440, 460).
    BtnLeft[C] = MakeSkinButton(this, P, kLeftNames[C], "BtnLeft", 270, 380, "");
    BtnRight[C] = MakeSkinButton(this, P, kRightNames[C], "BtnRight", 410, 380, "");
    BtnLeft[C]->OnClick = [this, C](TObject*) { ChartPage(C, -1); };
    BtnRight[C]->OnClick = [this, C](TObject*) { ChartPage(C, +1); };
  }
  Notebook->SetActivePage("0");

  BtnHelp = MakeSkinButton(this, this, "BtnHelp", "BtnHelp", 40, 532, "Pomoc");
  BtnHelp->OnClick = [this](TObject* S) { HelpButtonClick(S); };
  BtnClose = MakeSkinButton(this, this, "BtnClose", "BtnOK", 600, 532, "OK");
  BtnClose->OnClick = [this](TObject* S) { BtnCloseClick(S); };
  EnterBtn = MakeEnterButton(this, this, "EnterBtn");
  EnterBtn->OnClick = [this](TObject* S) { BtnCloseClick(S); };

  VxLanguage1 = new TVxLanguage(this);
  VxLanguage1->SetName("VxLanguage1");
  VxLanguage1->SetArchive(Archive);
  VxLanguage1->SetLanguageFile(vx::res::kTranslationMember);
  VxLanguage1->SetSection("StatForm");
  for (const char* P : {"StatForm.Caption", "LabelStudentCaption.Caption", "LabelCountCaption.Caption",
                        "LabelCourseCaption.Caption", "LabelTimeCaption.Caption", "LabelSpeedCaption.Caption",
                        "LabelAccuracyCaption.Caption", "LabelCpmUnit.Caption", "LabelAccUnit.Caption", "BtnHelp.Caption", "BtnClose.Caption",
                        "JetCheckbox1.Caption", "JetCheckbox2.Caption", "JetCheckbox3.Caption"})
    VxLanguage1->Properties()->Add(P);
  VxLanguage1->Translate();
  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
  UpdatePageButtons(0);
  UpdatePageButtons(1);
}

void TStatForm::FormShow(TObject*) {
  SetErrorSection("TStatForm.FormShow");
  if (PageHost()) PageHost()->Ping(Translate("results"));
  const bool Current = StudentRowIsCurrent();
  LabelStudent->SetCaption(Current ? DM->TbStudent->FieldByName("NAME")->AsString() : "");
  int Course = -1;
  if (Current && !DM->TbStudent->FieldByName("COURSE")->IsNull())
    Course = DM->TbStudent->FieldByName("COURSE")->AsInteger();
  LabelCourse->SetCaption(Course > 0 ? CourseTitle(Course) : "");

  int Practice = -1;
  double Cpm = 0, Accuracy = 0;
  try {
    TVXDBTable* R = Current ? DM->TbResults : nullptr;
    if (R && R->Active() && !R->IsEmpty() && R->FieldByName("ID_STUDENT")->AsInteger() == StudentId() &&
        !R->FieldByName("ID_PRACTICE")->IsNull()) {
      Practice = R->FieldByName("ID_PRACTICE")->AsInteger();
      Cpm = R->FieldByName("CPM")->AsFloat();
      Accuracy = R->FieldByName("ACCURACY")->AsFloat();
    }
  } catch (const std::exception& E) {
    LogScreenError(E);
    Practice = -1;
  }

  LabelCount->SetCaption("");
  LabelTime->SetCaption("");
  if (Practice > 0) {
    try {
      TVXDBQuery Q(nullptr);
      Q.SetSessionName(DM->VXSession->SessionName());
      Q.SetDatabaseName("db");
      Q.SQL()->SetText(
          Format("select count(*) cnt, sum(duration) dur from practice where id_student = %d", {StudentId()}));
      Q.Open();
      if (!Q.Eof()) {
        LabelCount->SetCaption(IntToStr(Q.FieldByName("cnt")->AsInteger()));
        const int64_t D = Round(Q.FieldByName("dur")->AsFloat());
        LabelTime->SetCaption(Format("%0.2d:%0.2d:%0.2d", {static_cast<int>(D / 3600),
                                                          static_cast<int>(D / 60 % 60), static_cast<int>(D % 60)}));
      }
      Q.Close();
    } catch (const std::exception& E) {
      LogScreenError(E);
    }
  }
  LabelSpeed->SetCaption(Practice > 0 ? Format("%.2f", {Cpm}) + Translate("cpm") : "");
  LabelAccuracy->SetCaption(Practice > 0 ? Format("%.2f %%", {Accuracy}) : "");
  FillCharts(Practice);
}

void TStatForm::FillCharts(int Practice) {
  FPractice = Practice;
  for (int C = 0; C < 2; ++C) Series[C]->Clear();
  if (Practice > 0) {
    try {
      TVXDBQuery Q(nullptr);
      Q.SetSessionName(DM->VXSession->SessionName());
      Q.SetDatabaseName("db");
      Q.SQL()->Add("SELECT key, cpm, acc ");
      Q.SQL()->Add("FROM netstat");
      // The student's condition lets the engine read the snapshot through the netstat index
      // (student, practice) instead of every row; a practice id belongs to one student anyway.
      Q.SQL()->Add("WHERE id_student = :id_student AND id_practice = :id_practice");
      Q.SQL()->Add("ORDER BY key");
      Q.ParamByName("id_student")->SetAsInteger(StudentId());
      Q.ParamByName("id_practice")->SetAsInteger(Practice);
      Q.Open();
      for (; !Q.Eof(); Q.Next()) {
        const std::string Key = IntToStr(Q.FieldByName("key")->AsInteger());
        Series[0]->Add(Q.FieldByName("cpm")->AsFloat(), Key);
        Series[1]->Add(Q.FieldByName("acc")->AsFloat(), Key);
      }
      Q.Close();
    } catch (const std::exception& E) {
      LogScreenError(E);
      for (int C = 0; C < 2; ++C) Series[C]->Clear();
    }
  }
  for (int C = 0; C < 2; ++C) {
    Charts[C]->SetPage(1);
    Charts[C]->Changed();
    UpdatePageButtons(C);
  }
}

void TStatForm::UpdatePageButtons(int C) {
  if (C < 0 || C > 1 || !Charts[C]) return;
  const int Page = Charts[C]->Page();
  BtnLeft[C]->SetEnabled(Page > 1);
  BtnRight[C]->SetEnabled(Charts[C]->NumPages() > Page);
}

void TStatForm::ChartPage(int C, int Delta) {
  if (C < 0 || C > 1) return;
  Charts[C]->SetPage(Charts[C]->Page() + Delta);
  UpdatePageButtons(C);
}

void TStatForm::ShowTab(int Tag) {
  for (int I = 0; I < 3; ++I) Tabs[I]->SetChecked(I == Tag);
  Notebook->SetActivePage(std::to_string(Tag));
}

void TStatForm::JetCheckbox1Click(TObject* Sender) {
  if (auto* C = dynamic_cast<TControl*>(Sender)) ShowTab(std::clamp(static_cast<int>(C->Tag()), 0, 2));
}

void TStatForm::HelpButtonClick(TObject*) {
  SetErrorSection("TStatForm.HelpButtonClick");
  ShowPopUpHelp(Format("help/help_stat_%s.htm", {PageShown()}));
}

void TStatForm::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }

void TStatForm::BtnCloseClick(TObject*) {
  SetErrorSection("TStatForm.BtnCloseClick");
  Close();
  if (PageHost()) PageHost()->ShowPage(TPageId::Main);
}

void RegisterStatPage() {
  RegisterPageFactory(TPageId::Stat, [] { return static_cast<TForm*>(new TStatForm(nullptr)); });
}
