#include "games/TopTen.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "controls/vxbutton.h"
#include "controls/vximage.h"
#include "dbengine/sql/vxdb_query.h"
#include "games/GameServices.h"
#include "platform/core/fileutils.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/translations.h"

namespace {
constexpr TColor kTransparent = 0x00FF00;
constexpr TColor kTextColour = 0x00FFFFFF;
// The rows stand on the light panel of the page picture, the rest on its dark blue.
constexpr TColor kRowColour = 0x003A2A1B;
constexpr TColor kCaptionColour = 0x7D3200;
}  // namespace

TTopTenForm::TTopTenForm(TComponent* AOwner, const std::string& Game, int FirstRowTop)
    : TForm(AOwner), FGame(Game) {
  SetBorderStyle(bsNone);
  SetBounds(0, 0, 800, 600);
  SetCaption("Score");
  SetColor(clBlack);
  Font()->SetCharset(EASTEUROPE_CHARSET);
  Archive = new TZLBArchive(this);
  Archive->SetArchiveName(ProgramPath(vx::res::kInterfaceArchive));
  try {
    Archive->Activate();
  } catch (const Exception&) {
    // Without the pictures the page still lists the scores.
  }
  VxImage1 = new TVxImage(this);
  VxImage1->SetName("VxImage1");
  VxImage1->SetParent(this);
  VxImage1->SetBounds(0, 0, 800, 600);
  VxImage1->SetArchive(Archive);
  VxImage1->SetBitmapName("topten_bcg.bmp");
  LabelTopTen = MakeLabel("LabelTopTen", "dziesi\xEA\xE6 najlepszych wynik\xF3w:", 470, FirstRowTop - 49);
  LabelYourScore = MakeLabel("LabelYourScore", "tw\xF3j wynik:", 40, 60);
  ScoreLabel = MakeLabel("ScoreLabel", "0", 190, 125);
  for (int I = 0; I < 10; ++I) {
    TLabel* N = MakeLabel("Name" + std::to_string(I), "..", 180, FirstRowTop + 28 * I);
    N->Font()->SetColor(kRowColour);
    Names[static_cast<size_t>(I)] = N;
    TLabel* S = MakeLabel("Score" + std::to_string(I), "0", 520, FirstRowTop + 28 * I);
    S->Font()->SetColor(kRowColour);
    S->SetAutoSize(false);
    S->SetWidth(100);
    S->SetAlignment(taRightJustify);
    Scores[static_cast<size_t>(I)] = S;
  }
  struct {
    TVxButton** Field;
    const char* Name;
    const char* Picture;
    int X, Y;
    const char* Caption;
    std::function<void(TObject*)> Click;
  } Buttons[] = {
      {&BtnHelp, "BtnHelp", "BtnHelp", 58, 532, "pomoc", [this](TObject* S) { HelpButtonClick(S); }},
      {&BtnOK, "BtnOK", "BtnOK", 593, 531, "OK", [this](TObject* S) { BtnOKClick(S); }},
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
  // Enter closes the page: a default button placed off the page.
  EnterBtn = new TButton(this);
  EnterBtn->SetName("EnterBtn");
  EnterBtn->SetParent(this);
  EnterBtn->SetBounds(0, -50, 75, 25);
  EnterBtn->SetDefault(true);
  EnterBtn->OnClick = [this](TObject* S) { BtnOKClick(S); };
  OnShow = [this](TObject* S) { FormShow(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
}

TTopTenForm::~TTopTenForm() = default;

TLabel* TTopTenForm::MakeLabel(const std::string& Name, const std::string& Caption, int X, int Y) {
  auto* L = new TLabel(this);
  L->SetName(Name);
  L->SetParent(this);
  L->SetLeft(X);
  L->SetTop(Y);
  L->SetTransparent(true);
  L->SetParentFont(false);
  L->Font()->SetName("Arial");
  L->Font()->SetSize(14);
  L->Font()->SetStyle(fsBold);
  L->Font()->SetColor(kTextColour);
  L->Font()->SetCharset(EASTEUROPE_CHARSET);
  L->SetCaption(Caption);
  return L;
}

namespace {

struct TBestRow {
  std::string Name;
  int Score = 0;
};

// The first ten rows of the ordered join of the students and a score table, of the scores at or
// above Bound when it is set.
std::vector<TBestRow> BestRows(TVXDBQuery& Q, const std::string& Game, const int64_t* Bound) {
  Q.SQL()->SetText("select name, score from student, " + Game + " where student.id_student = " + Game +
                   ".id_student" + (Bound ? " and score >= :bound" : "") + " order by score desc");
  if (Bound) Q.ParamByName("bound")->SetAsInteger(static_cast<int32_t>(*Bound));
  Q.Open();
  std::vector<TBestRow> Rows;
  for (Q.First(); !Q.Eof() && Rows.size() < 10; Q.Next())
    Rows.push_back({Q.FieldByName("name")->AsString(), Q.FieldByName("score")->AsInteger()});
  Q.Close();
  return Rows;
}

// The ten best scores as the ordered join lists them. The join sorts every score of the school
// year to show ten, several times what the page may cost on a classroom's table; so it is first
// asked only for the scores at or above a bound that the table's spread puts a little below the
// tenth best, and the bound is lowered until ten rows pass it (with a student's scores left
// without a student row, or scores bunched together, it takes more than one go). The rows that
// pass come in the order the whole join gives them; when ten never do, the whole join answers.
std::vector<TBestRow> ReadBestRows(const std::string& SessionName, const std::string& Game) {
  TVXDBQuery Q(nullptr);
  Q.SetDatabaseName("db");
  Q.SetSessionName(SessionName);
  Q.SQL()->SetText("select count(*) n, min(score) lo, max(score) hi from " + Game);
  Q.Open();
  const bool Spread = !Q.Eof() && !Q.FieldByName("lo")->IsNull() && !Q.FieldByName("hi")->IsNull();
  const int64_t Count = Spread ? Q.FieldByName("n")->AsInteger() : 0;
  const int64_t Lo = Spread ? Q.FieldByName("lo")->AsInteger() : 0;
  const int64_t Hi = Spread ? Q.FieldByName("hi")->AsInteger() : 0;
  Q.Close();
  // On a small table the whole join is cheap.
  if (Count > 200) {
    int64_t Gap = std::max<int64_t>(1, (Hi - Lo) * 20 / Count);
    for (int Try = 0; Try < 4; ++Try, Gap *= 4) {
      const int64_t Bound = Hi - Gap;
      if (Bound <= Lo) break;
      std::vector<TBestRow> Rows = BestRows(Q, Game, &Bound);
      if (Rows.size() == 10) return Rows;
    }
  }
  return BestRows(Q, Game, nullptr);
}

}  // namespace

void TTopTenForm::FormShow(TObject*) {
  if (PageHost()) PageHost()->Ping(PingText());
  if (!DM) return;
  const std::vector<TBestRow> Best = ReadBestRows(DM->VXSession->SessionName(), FGame);
  for (size_t I = 0; I < Best.size(); ++I) {
    Names[I]->SetVisible(true);
    Names[I]->SetCaption(Best[I].Name);
    Scores[I]->SetVisible(true);
    Scores[I]->SetCaption(std::to_string(Best[I].Score));
  }
}

void TTopTenForm::BtnOKClick(TObject*) { Close(); }

void TTopTenForm::HelpButtonClick(TObject*) {
  if (ShowGameHelp) ShowGameHelp(FGame == "bomber" ? "help/help_topten_bom.htm" : "help/help_topten_gal.htm");
}

void TTopTenForm::FormClose(TObject*, TCloseAction& Action) {
  Action = caFree;
  if (PageHost()) PageHost()->ShowReturnPage();
}

TBomberTopTenForm::TBomberTopTenForm(TComponent* AOwner) : TTopTenForm(AOwner, "bomber", 214) {
  SetName("BomberTopTenForm");
  LabelLevel = MakeLabel("LabelLevel", "poziom:", 40, 95);
  LevelLabel = MakeLabel("LevelLabel", "1", 190, 95);
  LabelPonits = MakeLabel("LabelPonits", "punkty:", 40, 125);
}

std::string TBomberTopTenForm::PingText() const { return Translations ? Translations->Lookup("TOP10") : "TOP10"; }

void TBomberTopTenForm::SetResult(int Level, int Score) {
  LevelLabel->SetCaption(std::to_string(Level));
  ScoreLabel->SetCaption(std::to_string(Score));
}

TGalleryTopTenForm::TGalleryTopTenForm(TComponent* AOwner) : TTopTenForm(AOwner, "gallery", 216) {
  SetName("GalleryTopTenForm");
  Label4 = MakeLabel("Label4", "punkty:", 40, 125);
}

void TGalleryTopTenForm::SetResult(int Score) { ScoreLabel->SetCaption(std::to_string(Score)); }
