#include "tutor/core/TempStat.h"

#include <cmath>
#include <cstdlib>

#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "platform/data/variant.h"
#include "tutor/core/DataModule.h"

void ComputeKeyStats(const std::vector<TStatItem>& Items, TKeyStatsArray& Stats) {
  Stats = TKeyStatsArray{};
  const std::size_t N = Items.size();
  auto Add = [](TKeyStats& E, const TStatItem& It, double V, double VPrev) {
    E.Seconds += It.Interval / 1000.0;
    E.SumSpeed += V;
    E.SumSpeedSq += V * V;
    if (VPrev != 0) E.SumRhythm += std::fabs(1 - V / VPrev);
    E.Count += 1;
    if (It.Wrong != 0) E.Errors += 1;
  };
  double VPrev = 0;
  // The first keystroke has no interval of its own: it only starts the clock.
  for (std::size_t i = 1; i < N; ++i) {
    const TStatItem& It = Items[i];
    if (It.Interval <= 0) continue;
    const double V = 60000.0 / It.Interval;
    Add(Stats[0], It, V, VPrev);
    Add(Stats[static_cast<unsigned char>(It.Key)], It, V, VPrev);
    VPrev = V;
  }
  // Second walk: deviations from the mean. The variance is summed from the deviations too, so
  // that rounding cannot make it negative (the sum-of-squares formula can, and its square root
  // is then not a number).
  std::array<double, 256> SumDevSq{};
  for (std::size_t i = 1; i < N; ++i) {
    const TStatItem& It = Items[i];
    if (It.Interval <= 0) continue;
    const double V = 60000.0 / It.Interval;
    for (unsigned C : {0u, static_cast<unsigned>(static_cast<unsigned char>(It.Key))}) {
      TKeyStats& E = Stats[C];
      const double Mean = E.SumSpeed / E.Count;
      E.AvErr += std::fabs(Mean - V) / E.Count;
      SumDevSq[C] += (V - Mean) * (V - Mean);
      if (C == static_cast<unsigned char>(It.Key) && C == 0) break;
    }
  }
  for (std::size_t C = 0; C < 256; ++C) {
    TKeyStats& E = Stats[C];
    if (E.Count <= 0) continue;
    E.Cpm = E.Seconds > 0 ? E.Count * 60 / E.Seconds : 0;
    // A key typed once has an accuracy too: right is 100 %, wrong 0 %.
    E.Accuracy = (E.Count - E.Errors) * 100 / E.Count;
    E.AvIdx = E.SumRhythm / E.Count;
    if (E.Count > 1) {
      E.Variance = std::max(0.0, SumDevSq[C] / (E.Count - 1));
      if (E.Variance != 0) E.StdDev = std::sqrt(E.Variance);
    }
  }
}

void MergeKeyHistory(const TKeyStatsArray& Stats, const TKeyHistoryArray& Old, TKeyHistoryArray& New) {
  New = Old;
  New[0] = TKeyHistory{};
  for (std::size_t C = 1; C < 256; ++C) {
    double NCount = Stats[C].Count;
    double OCount = Old[C].Cnt;
    const double T = NCount + OCount;
    if (T <= 0) continue;
    if (NCount > kHistoryWindow) NCount = kHistoryWindow;
    if (NCount + OCount > kHistoryWindow) OCount = kHistoryWindow - NCount;
    if (OCount < 0) OCount = 0;
    if (NCount + OCount <= 0) continue;  // only a corrupt negative history gets here
    const double WNew = NCount / (NCount + OCount), WOld = OCount / (NCount + OCount);
    New[C].Cnt = static_cast<int32_t>(std::lround(T));
    New[C].Cpm = Stats[C].Cpm * WNew + Old[C].Cpm * WOld;
    New[C].Acc = Stats[C].Accuracy * WNew + Old[C].Acc * WOld;
  }
}

TStatList::TStatList(int ALessonId, int AKind, const std::string& AParameters, const std::string& AFileName,
                     const std::string& ADesc)
    : LessonId(ALessonId), Kind(AKind), Parameters(AParameters), FileName(AFileName), Desc(ADesc) {
  FItems.reserve(4096);
}

void TStatList::AddKeystroke(char Expected, char Typed, int32_t Interval) {
  FItems.push_back(TStatItem{Expected, Typed == Expected ? '\0' : Typed, Interval});
}

namespace {

// The engine's error text starts with "VXDB Engine Error # <code> "; the lock codes are those
// of a table, a lock slot or a record held by another copy (0x2801, 0x2809, 0x2812).
bool IsLockConflict(const std::exception& E) {
  static const std::string Prefix = "VXDB Engine Error # ";
  const std::string Text = E.what();
  const std::size_t At = Text.find(Prefix);
  if (At == std::string::npos) return false;
  const int Code = std::atoi(Text.c_str() + At + Prefix.size());
  return Code == 0x2801 || Code == 0x2809 || Code == 0x2812;
}

// A table component of the module's database and session over TableName, owned by Owner.
TVXDBTable* SideTable(TComponent* Owner, const TVXDBTable* Like, const std::string& TableName) {
  auto* T = new TVXDBTable(Owner);
  T->SetSessionName(Like->SessionName());
  T->SetDatabaseName(Like->DatabaseName());
  T->SetTableName(TableName);
  return T;
}

// The student's latest practice that has a complete netstat snapshot, read into Old. The engine
// commits a transaction's tables all together through its journal; where tables are committed
// one after another (netstat before practice) a save can be torn, and then a practice row that
// exists still has all its netstat rows, while netstat rows without their practice row are what
// the torn save left behind: they are passed over (a few of them in a row at most).
// The snapshot is found at the end of the student's range of the netstat index (student,
// practice), so the cost does not grow with the history.
void ReadLatestSnapshot(TDM* Dm, int Student, TKeyHistoryArray& Old) {
  TComponent Owner(nullptr);
  // The student's rows only (a detail of the current student row), ordered by practice.
  TVXDBTable* N = SideTable(&Owner, Dm->TbNetstat, Dm->TbNetstat->TableName());
  N->SetIndexName("netstat");
  N->SetMasterSource(Dm->DsStudent);
  N->SetMasterFields("ID_STUDENT");
  TVXDBTable* P = SideTable(&Owner, Dm->TbPractice, Dm->TbPractice->TableName());
  N->Open();
  P->Open();
  TField* FStudent = N->FieldByName("ID_STUDENT");
  TField* FPractice = N->FieldByName("ID_PRACTICE");
  N->Last();
  for (int Tries = 0; Tries < 8; ++Tries) {
    if (N->IsEmpty() || FStudent->AsInteger() != Student) return;
    const int Practice = FPractice->AsInteger();
    const bool Complete =
        P->Locate("ID_PRACTICE", Practice, 0) && P->FieldByName("ID_STUDENT")->AsInteger() == Student;
    // Back over the rows of that practice, read when its snapshot is complete.
    bool More = true;
    while (More && FPractice->AsInteger() == Practice) {
      if (Complete) {
        const int Key = N->FieldByName("KEY")->AsInteger();
        if (Key > 0 && Key < 256) {
          TKeyHistory& H = Old[static_cast<std::size_t>(Key)];
          H.Cnt = N->FieldByName("CNT")->AsInteger();
          H.Cpm = N->FieldByName("CPM")->AsFloat();
          H.Acc = N->FieldByName("ACC")->AsFloat();
        }
      }
      More = N->MoveBy(-1) != 0;
    }
    if (Complete || !More) return;
  }
}

// The practice table hands out an id again when the row that had it never landed. Rows of
// netstat and statcalc that carry the new practice's id can therefore only be what a torn save
// left behind: they go before the new rows come, so that a snapshot is never a mix of two.
void RemoveLeftovers(TDM* Dm, int Practice) {
  TVXDBTable* SC = Dm->TbStatCalc;  // a detail of the new practice row: its rows are all leftovers
  SC->First();
  while (!SC->IsEmpty()) SC->Delete();
  TComponent Owner(nullptr);
  TVXDBTable* N = SideTable(&Owner, Dm->TbNetstat, Dm->TbNetstat->TableName());
  N->SetIndexName("netstat");
  N->SetMasterSource(Dm->DsStudent);
  N->SetMasterFields("ID_STUDENT");
  N->Open();
  // The new id is the highest that landed; only leftovers of torn saves can lie above it, at the
  // end of the student's range next to the rows to remove.
  TField* FPractice = N->FieldByName("ID_PRACTICE");
  N->Last();
  while (!N->IsEmpty() && FPractice->AsInteger() > Practice)
    if (N->MoveBy(-1) == 0) break;
  while (!N->IsEmpty() && FPractice->AsInteger() == Practice) {
    N->Delete();
    // Delete leaves the cursor on the row that followed, or on the new last row: step back
    // onto the rows of lower ids still to look at.
    while (!N->IsEmpty() && FPractice->AsInteger() > Practice)
      if (N->MoveBy(-1) == 0) break;
  }
}

}  // namespace

void TStatList::SaveOnce(TDM* Dm, const TKeyStatsArray& Stats, TSaveOutcome& Outcome) {
  auto Step = [this](const char* Name) {
    if (OnSaveStep) OnSaveStep(Name);
  };
  const TKeyStats& All = Stats[0];
  const int S = Dm->TbStudent->FieldByName("ID_STUDENT")->AsInteger();
  const int G = Dm->TbStudent->FieldByName("ID_GROUP")->AsInteger();
  const TDateTime When = Now();

  Step("practice");
  TVXDBTable* P = Dm->TbPractice;
  P->Append();
  P->FieldByName("ID_STUDENT")->SetAsInteger(S);
  P->FieldByName("ID_GROUP")->SetAsInteger(G);
  P->FieldByName("DATE")->SetAsDateTime(When);
  P->FieldByName("PARAMETERS")->SetAsString(Parameters);
  P->FieldByName("TYPE")->SetAsString(IntToStr(Kind));
  P->FieldByName("FILENAME")->SetAsString(FileName);
  P->FieldByName("DESC")->SetAsString(Desc);
  P->FieldByName("ID_LESSON")->SetAsInteger(LessonId);
  P->FieldByName("ACCURACY")->SetAsFloat(All.Accuracy);
  P->FieldByName("CPM")->SetAsFloat(All.Cpm);
  P->FieldByName("VARIANCE")->SetAsFloat(All.Variance);
  P->FieldByName("STDEV")->SetAsFloat(All.StdDev);
  P->FieldByName("ERRORS")->SetAsFloat(All.Errors);
  P->FieldByName("COUNT")->SetAsInteger(static_cast<int32_t>(All.Count));
  P->FieldByName("DURATION")->SetAsFloat(All.Seconds);
  P->FieldByName("AVERR")->SetAsFloat(All.AvErr);
  P->FieldByName("AVIDX")->SetAsFloat(All.AvIdx);
  P->Post();
  const int N = P->FieldByName("ID_PRACTICE")->AsInteger();

  Step("results");
  TVXDBTable* R = Dm->TbResults;
  if (R->Locate("ID_GROUP;ID_STUDENT", VarArrayOf({Variant(G), Variant(S)}), 0))
    R->Edit();
  else
    R->Append();
  R->FieldByName("ID_STUDENT")->SetAsInteger(S);
  R->FieldByName("ID_GROUP")->SetAsInteger(G);
  R->FieldByName("DATE")->SetAsDateTime(When);
  R->FieldByName("CPM")->SetAsFloat(All.Cpm);
  R->FieldByName("ERRORS")->SetAsFloat(All.Errors);
  R->FieldByName("ACCURACY")->SetAsFloat(All.Accuracy);
  R->FieldByName("DURATION")->SetAsFloat(All.Seconds);
  R->FieldByName("ID_PRACTICE")->SetAsInteger(N);
  R->Post();

  Step("statcalc");
  RemoveLeftovers(Dm, N);
  TVXDBTable* SC = Dm->TbStatCalc;
  for (int C = 1; C < 256; ++C) {
    const TKeyStats& E = Stats[static_cast<std::size_t>(C)];
    if (E.Count <= 0) continue;
    SC->Append();
    SC->FieldByName("ID_PRACTICE")->SetAsInteger(N);
    SC->FieldByName("KEY")->SetAsInteger(C);
    SC->FieldByName("ACCURACY")->SetAsFloat(E.Accuracy);
    SC->FieldByName("CPM")->SetAsFloat(E.Cpm);
    SC->FieldByName("VARIANCE")->SetAsFloat(E.Variance);
    SC->FieldByName("STDEV")->SetAsFloat(E.StdDev);
    SC->FieldByName("ERRORS")->SetAsFloat(E.Errors);
    SC->FieldByName("COUNT")->SetAsFloat(E.Count);
    SC->FieldByName("ID_STUDENT")->SetAsInteger(S);
    SC->Post();
  }

  Step("history");
  TKeyHistoryArray Old{}, New{};
  ReadLatestSnapshot(Dm, S, Old);
  MergeKeyHistory(Stats, Old, New);

  Step("netstat");
  TVXDBTable* NS = Dm->TbNetstat;
  for (int C = 1; C < 256; ++C) {
    const TKeyHistory& H = New[static_cast<std::size_t>(C)];
    if (H.Cnt <= 0) continue;
    NS->Append();
    NS->FieldByName("ID_STUDENT")->SetAsInteger(S);
    NS->FieldByName("ID_PRACTICE")->SetAsInteger(N);
    NS->FieldByName("KEY")->SetAsInteger(C);
    NS->FieldByName("KEY_NAME")->SetAsString(std::string(1, static_cast<char>(C)));
    NS->FieldByName("ACC")->SetAsFloat(H.Acc);
    NS->FieldByName("CPM")->SetAsFloat(H.Cpm);
    NS->FieldByName("CNT")->SetAsInteger(H.Cnt);
    NS->Post();
  }
  Step("commit");
  Outcome.PracticeId = N;
}

TSaveOutcome TStatList::SaveStatistics(TDM* Dm) {
  TSaveOutcome Outcome;
  TKeyStatsArray Stats;
  ComputeKeyStats(Stats);
  if (!Dm || !Dm->DB || !Dm->TbStudent) {
    Outcome.Error = "no database";
    return Outcome;
  }
  try {
    // Without a current student row the rows would be stored for nobody.
    if (!Dm->TbStudent->Active() || Dm->TbStudent->IsEmpty()) {
      Outcome.Error = "no current student";
      return Outcome;
    }
  } catch (const std::exception& E) {
    Outcome.Error = E.what();
    return Outcome;
  }
  const int Attempts = MaxAttempts < 1 ? 1 : MaxAttempts;
  for (int Attempt = 1; Attempt <= Attempts; ++Attempt) {
    ++Outcome.Attempts;
    Outcome.PracticeId = -1;
    try {
      // Starting the transaction locks every open table of the directory and fails when another
      // copy holds one: that is inside the error handling too.
      Dm->DB->StartTransaction();
      SaveOnce(Dm, Stats, Outcome);
      Dm->DB->Commit();
      Outcome.Saved = true;
      Outcome.Error.clear();
      return Outcome;
    } catch (const std::exception& E) {
      Outcome.Error = E.what();
      Outcome.PracticeId = -1;
      // Datasets left in insert or edit state by the failed step would otherwise post their
      // half-made row with the next change.
      for (TVXDBTable* T : {Dm->TbPractice, Dm->TbResults, Dm->TbStatCalc, Dm->TbNetstat}) {
        try {
          if (T && T->Active() && (T->State() == dsInsert || T->State() == dsEdit)) T->Cancel();
        } catch (...) {
        }
      }
      try {
        if (Dm->DB->InTransaction()) Dm->Rollback();
      } catch (const std::exception& RollbackError) {
        Outcome.Error += std::string("; rollback: ") + RollbackError.what();
      }
      if (!IsLockConflict(E) || Attempt == Attempts) break;
      Sleep(RetryWait);
    }
  }
  return Outcome;
}
