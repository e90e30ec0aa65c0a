#include "games/GalleryScene.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "controls/ezrgnbtn.h"
#include "dbengine/storage/components/vxdb_table.h"
#include "dx/dib.h"
#include "dx/dxdraws.h"
#include "dx/dximagelist.h"
#include "dx/dxsound.h"
#include "dx/sprites.h"
#include "games/BomberStart.h"
#include "games/GameServices.h"
#include "games/MessageSprite.h"
#include "games/TopTen.h"
#include "platform/core/fileutils.h"
#include "platform/core/random.h"
#include "platform/core/sysutils.h"
#include "tutor/MsgDialog.h"
#include "tutor/ZLibPictures.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/Dictionary.h"
#include "tutor/core/PageHost.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/translations.h"

TGalleryScene* GalleryScene = nullptr;

std::function<int(TStrings*, const std::string&, const std::string&, int)> GalleryWordSource;
std::function<void(const std::string&)> ShowGalleryMessage = [](const std::string& Text) {
  TranslatedMessageDlg(Text, mtInformation, MsgDlgButton(mbOK), 0);
};

namespace {

constexpr int kFrameInterval = 40;
constexpr int kClockInterval = 100;
constexpr TColor kKeyGreen = 0x00FF00;
constexpr const char* kFrameItem = "obrazytlo.bmp";
constexpr const char* kBarItem = "bar.bmp";
constexpr const char* kPaintingItem = "Painting";

int32_t RoundEven(double V) { return static_cast<int32_t>(std::nearbyint(V)); }

struct TOpenArchive {
  TZLBArchive Archive;
  explicit TOpenArchive(const std::string& FileName) {
    if (!Archive.OpenArchive(FileName)) throw Exception("The archive " + FileName + " cannot be opened");
  }
  ~TOpenArchive() { Archive.CloseArchive(); }
};

void LoadBitmapItem(TZLBArchive& A, const std::string& Member, TPictureCollectionItem* Item) {
  auto Dib = std::make_unique<TDIB>();
  A.ExtractAndLoad(Member, [&](TStream* S) { Dib->LoadFromStream(S); });
  Item->Picture()->SetGraphic(std::move(Dib));
}

}  // namespace

TGalleryScene::TGalleryScene(TCustomDXDraw* ADXDraw, TCustomDXSound* ADXSound, TCustomDXSpriteEngine* ASpriteEngine,
                             TDXTimerHost* TimerHost, bool RealClock)
    : TGameScene(ADXDraw->Owner()), DXDraw(ADXDraw), DXSound(ADXSound), SpriteEngine(ASpriteEngine),
      FRealClock(RealClock) {
  DXDraw->FreeNotification(this);
  SpriteEngine->FreeNotification(this);
  ImageList = new TDXImageList(this);
  ImageList->SetDXDraw(DXDraw);
  Timer = new TDXTimer(this, TimerHost);
  Timer->SetEnabled(false);
  Timer->SetInterval(kFrameInterval);
  Timer->OnTimer = [this](TObject*, int LagCount) { FrameStep(LagCount); };
  Clock = new TTimer(this);
  Clock->SetEnabled(false);
  Clock->SetInterval(kClockInterval);
  Clock->OnTimer = [this](TObject*) { ClockTick(); };
  for (TEzRgnBtn** B : {&PauseButton, &EndButton, &NewButton, &RepeatButton}) {
    *B = new TEzRgnBtn(this);
    (*B)->SetVisible(false);
    // A space typed in the game must never click a button.
    (*B)->SetTabStop(false);
    // The window takes the shape of the picture, so the frame shows around it.
    (*B)->SetPaintMode(pmCrop);
  }
  PauseButton->OnClick = [this](TObject*) { TogglePause(); };
  EndButton->OnClick = [this](TObject*) { ExitGallery(); };
  NewButton->OnClick = [this](TObject*) {
    ChoosePicture();
    NewGame();
  };
  RepeatButton->OnClick = [this](TObject*) { NewGame(); };
  HookKeys();
  Randomize();
}

TGalleryScene::~TGalleryScene() {
  SetClockEnabled(false);
  if (Timer) {
    Timer->SetEnabled(false);
    Timer->OnTimer = nullptr;
  }
  RemoveMessage();
  RestoreHook();
  ThemeArchive.CloseArchive();
  if (GalleryScene == this) GalleryScene = nullptr;
}

void TGalleryScene::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == SpriteEngine) {
    SpriteEngine = nullptr;
    Message = nullptr;  // the engine frees its sprites itself
  }
  if (AComponent == DXDraw) DXDraw = nullptr;
}

void TGalleryScene::SetClockEnabled(bool On) {
  FClockOn = On;
  if (FRealClock && Clock) Clock->SetEnabled(On);
}

TPictureCollectionItem* TGalleryScene::FindItem(const std::string& Name) const {
  TPictureCollection* Items = ImageList->Items();
  for (int I = 0; I < Items->Count(); ++I)
    if (Items->Items(I)->Name() == Name) return Items->Items(I);
  return nullptr;
}

bool TGalleryScene::PrepareGame() {
  if (PageHost()) PageHost()->Ping("galeria", AllowedLetters, AllowedLetters);
  Words.Clear();
  const int Count = GalleryWordSource ? GalleryWordSource(&Words, AllowedLetters, PreferredLetters, WordsCnt)
                                      : GenerateWords(&Words, AllowedLetters, PreferredLetters, WordsCnt, 0);
  if (Count < 30) {
    if (ShowGalleryMessage) ShowGalleryMessage(Translate("ERR003"));
    return false;
  }
  LoadInterface();
  ThemeArchive.CloseArchive();
  if (!ThemeArchive.OpenArchive(ThemeFile)) throw Exception("The archive " + ThemeFile + " cannot be opened");
  TStringList Lines;
  ThemeArchive.ExtractToStrings(&Lines, GalleryParam("TitlesFile"));
  Titles = GalleryPictures(Lines);
  if (Titles.empty()) throw Exception("The picture theme " + ExtractFileName(ThemeFile) + " has no pictures");
  ChoosePicture();
  return true;
}

void TGalleryScene::LoadInterface() {
  TOpenArchive A(ProgramPath(vx::res::kGalleryInterfaceArchive));
  ImageList->Items()->Clear();
  TPictureCollectionItem* Frame = ImageList->Items()->Add();
  Frame->SetName(kFrameItem);
  LoadBitmapItem(A.Archive, kFrameItem, Frame);
  Frame->SetTransparent(true);
  Frame->SetTransparentColor(kKeyGreen);
  TPictureCollectionItem* Bar = ImageList->Items()->Add();
  Bar->SetName(kBarItem);
  LoadBitmapItem(A.Archive, kBarItem, Bar);
  Bar->SetTransparent(true);
  Bar->SetTransparentColor(kKeyGreen);
  Bar->SetPatternWidth(Bar->Picture()->Width() / 3);
  Bar->SetPatternHeight(Bar->Picture()->Height());
  Bar->SetSystemMemory(true);
  struct {
    TEzRgnBtn* Button;
    int X, Y;
    const char* Name;
  } Buttons[] = {{PauseButton, 640, 541, "pauza"},
                 {EndButton, 640, 571, "koniec"},
                 {NewButton, 0, 541, "nowy"},
                 {RepeatButton, 0, 571, "powtorz"}};
  TWinControl* Host = DXDraw->Parent();
  for (const auto& B : Buttons) {
    B.Button->SetParent(Host);
    B.Button->SetVisible(false);
    B.Button->SetLeft(B.X);
    B.Button->SetTop(B.Y);
    TPicture Pic;
    const std::string Base = std::string("button-") + B.Name + "-";
    LoadPictureFromArchive(&Pic, Base + "zga.bmp", &A.Archive);
    B.Button->SetPicIdle(&Pic);
    LoadPictureFromArchive(&Pic, Base + "zap.bmp", &A.Archive);
    B.Button->SetPicUp(&Pic);
    LoadPictureFromArchive(&Pic, Base + "zap-in.bmp", &A.Archive);
    B.Button->SetPicDown(&Pic);
  }
}

void TGalleryScene::ChoosePicture() {
  if (Titles.empty()) throw Exception("The picture theme has no pictures");
  const TGalleryPicture& P = Titles[static_cast<size_t>(Random(static_cast<int32_t>(Titles.size())))];
  PictureFile = P.Member;
  PictureTitle = P.Title;
  TPicture Pic;
  LoadPictureFromArchive(&Pic, PictureFile, &ThemeArchive);
  if (TPictureCollectionItem* Old = FindItem(kPaintingItem)) ImageList->Items()->Delete(Old->Index());
  TPictureCollectionItem* Item = ImageList->Items()->Add();
  Item->SetName(kPaintingItem);
  Item->Picture()->SetGraphic(Pic.Graphic());
  Item->SetSystemMemory(true);
  // Cells are drawn on the black-cleared display, where a black pixel looks the same drawn or
  // keyed out; drawn opaque they cost a plain copy.
  Item->SetTransparent(false);
}

void TGalleryScene::NewGame() {
  Paused = true;
  State = 3;
  CellsDone = PlayTime = CorrectKeys = TimeLeft = CellsLost = Lock = 0;
  Score = 0;
  SpeedText.clear();
  std::fill(std::begin(CellState), std::end(CellState), 0);
  // Nothing of the previous game may reach the new one: a finished game leaves no current cell,
  // and a stale word or lock would write to it.
  Word.clear();
  WordLength = 0;
  Position = 1;
  CurrentCell = -1;
  SetClockEnabled(false);
  Rows = std::clamp(RowCnt, 1, kMaxCells);
  Cols = std::clamp(ColCnt, 1, kMaxCells);
  CellWidth = kAreaWidth / Cols;
  CellHeight = kAreaHeight / Rows;
  TPictureCollectionItem* Painting = ImageList->Items()->ItemByName(kPaintingItem);
  Painting->SetPatternWidth(CellWidth);
  Painting->SetPatternHeight(CellHeight);
  PatternColumns = Painting->Picture()->Width() / CellWidth;
  PatternRows = Painting->Picture()->Height() / CellHeight;
  if (DXDraw && DXDraw->Initialized()) ImageList->Items()->Initialize(DXDraw);
  ImageList->Items()->Restore();
  DXDraw->SetVisible(true);
  for (TEzRgnBtn* B : {PauseButton, EndButton, NewButton, RepeatButton}) B->SetVisible(true);
  TPictureCollectionItem* Bar = FindItem(kBarItem);
  TitleY = -(Bar ? Bar->PatternHeight() : 0);
  if (DXDraw->CanFocus()) DXDraw->SetFocus();
  Timer->SetEnabled(true);
  ShowMessage(Translate("press space"));
}

int TGalleryScene::CellPattern(int I) const {
  const int Row = I / Cols, Col = I % Cols;
  if (Col >= PatternColumns || Row >= PatternRows) return -1;
  return Row * PatternColumns + Col;
}

TPoint TGalleryScene::CellOrigin(int I) const {
  return TPoint{kAreaLeft + (I % Cols) * CellWidth, kAreaTop + (I / Cols) * CellHeight};
}

int TGalleryScene::Percent() const { return (CellsDone - CellsLost) * 100 / (Rows * Cols); }

void TGalleryScene::NewWord() {
  const int32_t Count = Words.Count();
  Word = Count == 0 ? std::string("error") : Words.Strings(Random(Count - 1));
  WordLength = static_cast<int32_t>(Word.size());
  TimeLeft = MaxTimePerChar * WordLength;
  WordStart = GetTickCount();
  const int32_t N = Rows * Cols;
  const int32_t K = Random(N - 1) + 1;
  int32_t I = 0;
  for (int32_t Step = 0; Step < K && I >= 0; ++Step) {
    int32_t Tried = 0;
    do {
      I = I + 1 == N ? 0 : I + 1;
      ++Tried;
    } while (CellState[I] != 0 && Tried < N);
    if (CellState[I] != 0) I = -1;
  }
  CurrentCell = I;
  Position = 1;
}

void TGalleryScene::CheckFinished() {
  if (CellsDone == Rows * Cols) Finish();
}

void TGalleryScene::Finish() {
  State = 4;
  CurrentCell = -1;
  SetClockEnabled(false);
  SaveGalleryScore();
}

void TGalleryScene::ClockTick() {
  if (!FClockOn || State != 1) return;
  if (Lock >= 1) {
    --Lock;
    if (Lock == 0 && CurrentCell >= 0) {
      ++CellsDone;
      ++CellsLost;
      CellState[CurrentCell] = 2;
      NewWord();
      CheckFinished();
    }
  } else if (TimeLeft < 0) {
    NewWord();  // the old cell stays covered and may come again
  }
  if (State == 1) {
    PlayTime += kClockInterval;
    TimeLeft -= kClockInterval;
  }
}

void TGalleryScene::CharMessage(uint8_t Code) {
  if (State != 1 || Lock != 0 || Paused || Word.empty() || CurrentCell < 0) return;
  if (Code == ' ') return;
  if (PlayTime > 0) {
    SpeedText = FloatToStrF(CorrectKeys * 60000.0 / PlayTime, ffFixed, 5, 2);
  }
  if (Code == static_cast<uint8_t>(Word[static_cast<size_t>(Position - 1)])) {
    Lock = 0;
    ++CorrectKeys;
    if (Position != WordLength) {
      ++Position;
    } else {
      // A word typed within the clock's resolution counts as one millisecond.
      const uint32_t Elapsed = std::max<uint32_t>(GetTickCount() - WordStart, 1);
      Score += WordLength * 60000.0 / Elapsed;
      ++CellsDone;
      CellState[CurrentCell] = 1;
      NewWord();
      CheckFinished();
    }
  } else {
    Lock = 5;
  }
}

void TGalleryScene::KeyDownMessage(uint16_t Key) {
  if (State != 4) {
    if (Key == VK_PAUSE || Key == VK_F10 || Key == VK_SPACE) {
      TogglePause();
    } else if (Key == VK_ESCAPE) {
      ExitGallery();
    } else if (Key == VK_RETURN) {
    } else if (State == 3) {
      TogglePause();
    }
  } else if (Key == VK_RETURN || Key == VK_ESCAPE || Key == VK_SPACE) {
    ExitGallery();
  }
}

void TGalleryScene::TogglePause() {
  if (State != 1 && State != 3) return;
  if (Paused) {
    SetClockEnabled(true);
    State = 1;
    Paused = false;
    RemoveMessage();
  } else {
    SetClockEnabled(false);
    State = 3;
    Paused = true;
    RemoveMessage();
    ShowMessage(Translate("PAUSE"));
  }
}

void TGalleryScene::ShowMessage(const std::string& Text) {
  RemoveMessage();
  if (!SpriteEngine) return;
  Message = new TMessageSprite(DXDraw, SpriteEngine, Text, 24, "Arial", fsBold, -1, [this](TMessageSprite* Gone) {
    if (Message == Gone) Message = nullptr;
  });
}

void TGalleryScene::RemoveMessage() {
  TMessageSprite* M = Message;
  Message = nullptr;
  delete M;
}

void TGalleryScene::FrameStep(int LagCount) {
  if (FExited || !DXDraw || !SpriteEngine || !DXDraw->ReadyToDraw() || !DXDraw->Surface()) return;
  DXDraw->Surface()->Fill(0);
  if (State == 4 && TitleY < 24) TitleY += static_cast<double>(Timer->Interval()) / 50;
  DrawScene();
  SpriteEngine->Move(Timer->Interval() * LagCount);
  SpriteEngine->FreeDead();
  SpriteEngine->Draw();
  DXDraw->Flip();
}

void TGalleryScene::DrawScene() {
  TDirectDrawSurface* Surface = DXDraw->Surface();
  TPictureCollectionItem* Painting = FindItem(kPaintingItem);
  const int N = Rows * Cols;
  if (Painting)
    for (int I = 0; I < N; ++I) {
      if (CellState[I] != 1) continue;
      const int P = CellPattern(I);
      if (P < 0) continue;
      const TPoint O = CellOrigin(I);
      Painting->Draw(Surface, O.X, O.Y, P);
    }
  if (TPictureCollectionItem* Frame = FindItem(kFrameItem)) Frame->Draw(Surface, 0, 0, 0);
  TCanvas* C = Surface->Canvas();
  C->Brush()->SetStyle(bsClear);
  C->Font()->SetSize(10);
  C->Font()->SetStyle(fsBold);
  C->Font()->SetColor(0xFFFFFF);
  C->Font()->SetCharset(238);
  C->SetTextAlign(TA_RIGHT | TA_TOP);
  C->TextOut(403, 553, std::to_string(Percent()));
  C->TextOut(543, 553, std::to_string(RoundEven(Score)));
  C->TextOut(403, 575, SpeedText);
  C->TextOut(543, 575, std::to_string(CellsLost));
  if (CurrentCell >= 0 && CurrentCell < N) {
    C->Font()->SetSize(12);
    C->SetTextAlign(TA_LEFT | TA_TOP);
    const TSize Ext = C->TextExtent(Word);
    const TPoint O = CellOrigin(CurrentCell);
    int X = O.X + (CellWidth - Ext.cx) / 2;
    if (X < kAreaLeft) X = kAreaLeft;
    else if (X + Ext.cx > kAreaLeft + kAreaWidth) X = kAreaLeft + kAreaWidth - Ext.cx;
    int Y = O.Y + (CellHeight - Ext.cy) / 2;
    if (Y < kAreaTop) Y = kAreaTop;
    else if (Y + Ext.cy > kAreaTop + kAreaHeight) Y = kAreaTop + kAreaHeight - Ext.cy;
    C->Brush()->SetStyle(bsSolid);
    C->Brush()->SetColor(0);
    C->FillRect(TRect(X, Y, X + Ext.cx, Y + Ext.cy));
    C->Brush()->SetStyle(bsClear);
    C->TextOut(X, Y, Word);
    const size_t Typed = static_cast<size_t>(std::clamp(Position - 1, 0, WordLength));
    if (Lock > 0) {
      C->Font()->SetColor(255);
      C->TextOut(X, Y, Word.substr(0, std::min(Typed + 1, Word.size())));
    }
    if (Typed > 0) {
      C->Font()->SetColor(0xFF0000);
      C->TextOut(X, Y, Word.substr(0, Typed));
    }
  }
  Surface->ReleaseCanvas();
  if (State == 4) DrawTitleBar(PictureTitle, Surface->Width() / 2, RoundEven(TitleY));
}

void TGalleryScene::DrawTitleBar(const std::string& Title, int CenterX, int Y) {
  TPictureCollectionItem* Bar = FindItem(kBarItem);
  if (!Bar) return;
  const int W = Bar->PatternWidth();
  if (W <= 0) return;  // a bar too narrow to hold its three pieces
  TDirectDrawSurface* Surface = DXDraw->Surface();
  TCanvas* C = Surface->Canvas();
  C->Font()->SetSize(10);
  C->Font()->SetStyle(0);
  C->Font()->SetColor(0xFFFFFF);
  C->Font()->SetCharset(238);
  const TSize Ext = C->TextExtent(Title);
  Surface->ReleaseCanvas();
  const int N = Ext.cx / W;
  int X = CenterX - (W * (N + 3)) / 2;
  Bar->Draw(Surface, X, Y, 0);
  for (int I = 0; I < N + 1; ++I) {
    X += W;
    Bar->Draw(Surface, X, Y, 1);
  }
  X += W;
  Bar->Draw(Surface, X, Y, 2);
  C = Surface->Canvas();
  C->Brush()->SetStyle(bsClear);
  C->Font()->SetSize(10);
  C->Font()->SetStyle(0);
  C->Font()->SetColor(0xFFFFFF);
  C->Font()->SetCharset(238);
  C->SetTextAlign(TA_CENTER | TA_TOP);
  C->TextOut(CenterX, Y + (Bar->PatternHeight() - Ext.cy) / 2, Title);
  Surface->ReleaseCanvas();
}

void TGalleryScene::FreeSprites() {
  RemoveMessage();
  if (!SpriteEngine) return;
  FClearing = true;
  SpriteEngine->Engine()->Clear();
  FClearing = false;
  Message = nullptr;
}

void TGalleryScene::ExitGallery() {
  if (FExited) return;
  FExited = true;
  SetVisible(false);
  FreeSprites();
  Timer->SetEnabled(false);
  // Nothing may count on after the player left: a pending lock would otherwise finish the last
  // cell and save a score.
  SetClockEnabled(false);
  if (DXDraw && DXDraw->ReadyToDraw() && DXDraw->Surface()) {
    DXDraw->Surface()->Fill(0);
    DXDraw->Flip();
  }
  for (TEzRgnBtn* B : {PauseButton, EndButton, NewButton, RepeatButton}) B->SetVisible(false);
  RestoreHook();
  // The scene is freed later; from now on it is not the running game, so a game started from
  // here on (the next course step) does not free it a second time.
  if (Application) Application->ReleaseObject(this);
  if (GalleryScene == this) GalleryScene = nullptr;
  if (TPageHost* Host = PageHost()) {
    if (State == 4) {
      Host->ShowPage(TPageId::GalleryTopTen);
      if (auto* Page = dynamic_cast<TGalleryTopTenForm*>(Host->FindPage(TPageId::GalleryTopTen)))
        Page->SetResult(RoundEven(Score));
    } else {
      Host->ShowReturnPage();
    }
  }
  if (GameNextExercise) GameNextExercise();
}

void TGalleryScene::SaveGalleryScore() {
  if (!DM) throw Exception("There is no database to store the score in");
  auto Table = std::make_unique<TVXDBTable>(nullptr);
  Table->SetDatabaseName("db");
  Table->SetSessionName(DM->VXSession->SessionName());
  Table->SetTableName("gallery.DAT");
  Table->Open();
  Table->InsertRecord(std::vector<Variant>{Variant(DM->CurrentStudent), Variant(static_cast<int>(RoundEven(Score)))});
  Table->Close();
}

bool StartGalleryGame(const TGalleryStart& Start) {
  TPageHost* Host = PageHost();
  auto Fail = [](const std::string& Text) {
    if (ReportGameError) ReportGameError(Text);
    return false;
  };
  if (!Host || !Host->Display() || !Host->SpriteEngine()) return Fail("The game display is not available");
  if (Start.ThemeFile.empty()) return Fail(Translate("There is no picture theme to play with"));
  delete GalleryScene;
  GalleryScene = nullptr;
  TGalleryScene* Scene = nullptr;
  try {
    const TGalleryLevel L = ReadGalleryLevel(Start.LevelIndex);
    Scene = new TGalleryScene(Host->Display(), Host->Sound(), Host->SpriteEngine(), Start.TimerHost, Start.RealClock);
    Scene->AllowedLetters = Start.AllowedLetters;
    Scene->PreferredLetters = Start.PreferredLetters;
    Scene->ThemeFile = Start.ThemeFile;
    Scene->MaxTimePerChar = L.MaxTimePerChar;
    Scene->ColCnt = L.ColCnt;
    Scene->RowCnt = L.RowCnt;
    Scene->GameTime = L.GameTime;
    Scene->WordsCnt = L.WordsCnt;
    if (!Scene->PrepareGame()) {
      delete Scene;
      return false;
    }
    GalleryScene = Scene;
    Scene->SetParent(Host->HostForm());
    Scene->NewGame();
    Scene->SetVisible(true);
    return true;
  } catch (const std::exception& E) {
    // The scene's destructor puts the application's key hook back.
    delete Scene;
    GalleryScene = nullptr;
    return Fail(E.what());
  }
}
