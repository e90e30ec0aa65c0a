// The comment builder, exercised the way the tutor program uses it: the real libremarkor.so is
// opened by name with dlopen and Build is looked up with dlsym.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "remarkor/CommentBuildRec.h"

namespace {

// Expected sentences, typed in UTF-8 and converted with the C library's iconv, so that the check
// does not depend on the converter the library itself uses.
const char* const TooShort =
    "Przykro mi, ten tekst był zbyt krótki, aby sensowna była ocena Twoich wyników. Muszę poczekać, aż "
    "wybierzesz normalną lekcję lub dłuższy tekst (minimum 200 znaków). Do zobaczenia!";
const std::array<const char*, 9> AccuracyTexts = {
    "Robisz sobie jaja?",
    "Nie o to chodzi! Przede wszystkim trzeba pisać bezbłędnie. Szybkość jest na razie mniej ważna. Wróć do "
    "lekcji i pisz wolno, rytmicznie, ale bezbłędnie.",
    "Bardzo dużo błędów. Wróć do lekcji i pisz wolno, rytmicznie, ale bezbłędnie.",
    "Zdecydowanie za dużo błędów. Wróć do lekcji i postaraj się pisać wolniej, ale bez błędów.",
    "Sporo błędów. Warto by to poprawić przed przejściem do następnej lekcji.",
    "Bezbłędność niezła. Ale można by jeszcze nad nią popracować, zanim przejdziesz dalej.",
    "Bezbłędność bardzo dobra. Możesz spokojnie przejść do następnej lekcji.",
    "Bezbłędność rewelacyjna. Z tym nie masz problemu.",
    "Gratulacje! Bez jednego błędu! O to właśnie chodzi.",
};
const std::array<const char*, 8> SpeedTextsLowAccuracy = {
    "Piszesz strasznie wolno. Może jednak dałoby się trochę przyspieszyć. Byle nie kosztem bezbłędności",
    "Szybkość bardzo mała. Warto by trochę przyspieszyć, ale ważniejsza jest bezbłędność.",
    "Szybkość mała, ale tym się nie przejmuj. Najważniejsza jest bezbłędność i na niej się na razie "
    "skoncentruj!",
    "Szybkość umiarkowana, ale na tym etapie lepiej skoncentrować się na bezbłędności. Szybkość przyjdzie "
    "później!",
    "Szybkość dobra. Ważniejsza jednak jest w tym momencie poprawność, na której należy się skupić.",
    "Szybkość bardzo dobra, ale to na nic przy takiej ilości błędów. Zwolnij trochę, a za to popraw "
    "bezbłędność",
    "Szybkość wprawdzie znakomita, ale przy takiej ilości błędów nie ma się z czego cieszyć. Ważniejsza jest "
    "bezbłędność i musisz ją poprawić!",
    "To nie jest program do nauki bezmyślnego walenia w klawiaturę, choć robisz to nawet dość szybko.",
};
const std::array<const char*, 8> SpeedTextsGoodAccuracy = {
    "Piszesz na razie strasznie wolno. Nie dałoby się trochę przyspieszyć?",
    "Szybkość bardzo mała. Może spróbować jednak trochę szybciej?",
    "Szybkość mała. Można by spróbować przyspieszyć. Byle nie kosztem błędów!",
    "Szybkość umiarkowana. Ale to nie szkodzi. Znacznie ważniejsza jest bezbłędność.",
    "Szybkość dobra.",
    "Szybkość bardzo dobra. Tylko tak dalej, a możesz dojść do Zorbelina.",
    "Szybkość znakomita. Jesteś na najlepszej drodze do Zorbelina.",
    "Szybkość rewelacyjna. Jeśli tylko uda Ci się pisać w tym tempie bezbłędnie na całej klawiaturze, "
    "zostaniesz Zorbelinem",
};
const std::array<const char*, 6> RhythmTexts = {
    "Piszesz bardzo nierytmicznie. Bez dobrej rytmiki nie osiągniesz dobrej szybkości. Radzimy wrócić do "
    "lekcji, włączyć metronom i poprawić rytmikę pisania. Szybkość jest w tym momencie mniej ważna. Włącz "
    "przynajmniej metronom do kilku najbliższych lekcji.",
    "Piszesz mało rytmicznie. Pamiętaj, rytmika pisania jest bardzo ważna. Radzimy poprawić rytmikę pisania "
    "korzystając z metronomu. Możesz nawet pisać na razie trochę wolniej, starając się jednak uderzać "
    "klawisze w równych odstępach czasu.",
    "Piszesz niezbyt rytmicznie. Pamiętaj, że rytmika pisania jest kluczem do szybkości. Nie byłoby źle "
    "włączyć metronom  i poprawić trochę rytmikę nawet kosztem szybkości.",
    "Rytmika pisania nienajgorsza. Postaraj się jednak pisać trochę rytmiczniej. Polecamy ćwiczenia z "
    "metronomem.",
    "Rytmika pisania dobra! Staraj się utrzymać ją na takim poziomie.",
    "Piszesz bardzo rytmicznie. To dobrze! Rytmika jest kluczem do szybkości.",
};

std::string Cp1250(const char* Utf8) {
  iconv_t Cd = iconv_open("CP1250", "UTF-8");
  if (Cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv has no CP1250");
  std::string In(Utf8);
  std::string Out(In.size(), '\0');
  char* InP = In.data();
  char* OutP = Out.data();
  size_t InLeft = In.size(), OutLeft = Out.size();
  const size_t Rc = iconv(Cd, &InP, &InLeft, &OutP, &OutLeft);
  iconv_close(Cd);
  if (Rc == static_cast<size_t>(-1) || InLeft != 0)
    throw std::runtime_error("text not representable in CP1250");
  Out.resize(Out.size() - OutLeft);
  return Out;
}

struct TResult {
  std::vector<std::string> Lines;
  bool Passed;
};

class RemarkorLibrary : public ::testing::Test {
 protected:
  // Loaded per test (dlopen counts references), so that a library that cannot be found fails
  // every test loudly instead of skipping them.
  void SetUp() override {
    Handle = dlopen(RemarkorLibraryName, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(Handle, nullptr) << dlerror();
    Build = reinterpret_cast<TBuildProc>(dlsym(Handle, RemarkorBuildSymbol));
    ASSERT_NE(Build, nullptr) << dlerror();
  }
  void TearDown() override {
    if (Handle) dlclose(Handle);
  }

  // Runs Build on a list that already holds stale lines and a flag that starts out wrong, so that
  // a Build that forgets to clear or to set either is caught.
  TResult Run(double Cpm, double Accuracy, double F, double G, int Count, bool PassedBefore) {
    TCommBiuldRec Rec;
    Rec.Cpm = Cpm;
    Rec.Accuracy = Accuracy;
    Rec.AvErrRatio = F;
    Rec.AvIdx = G;
    Rec.Count = Count;
    Rec.Errors = 3;
    Rec.Duration = 60;
    TStringList List;
    List.Add("stale line");
    List.Add("another stale line");
    bool Passed = PassedBefore;
    Build(&List, &Rec, &Passed);
    TResult R{{}, Passed};
    for (int i = 0; i < List.Count(); ++i) R.Lines.push_back(List.Strings(i));
    return R;
  }

  void* Handle = nullptr;
  TBuildProc Build = nullptr;
};

TEST(CommentBuildRecord, StringHandlesResolveThroughTheCallersTable) {
  TCommStrTable Table;
  TCommBiuldRec Rec;
  Rec.Name = Table.Add("Kowalski");
  Rec.Sex = Table.Add("");
  EXPECT_EQ(Table.Get(Rec.Name), "Kowalski");
  EXPECT_EQ(Rec.Sex, 0u);
  EXPECT_EQ(Table.Get(Rec.Sex), "");
  EXPECT_EQ(Table.Get(99), "");
}

struct TEdgeCase {
  const char* What;
  double Cpm, Accuracy, F, G;
  int Count;
  std::vector<const char*> Expected;
  bool Passed;
};

TEST_F(RemarkorLibrary, GradesTheEdgeCases) {
  const auto& A = AccuracyTexts;
  const auto& S1 = SpeedTextsLowAccuracy;
  const auto& S2 = SpeedTextsGoodAccuracy;
  const auto& R = RhythmTexts;
  const std::vector<TEdgeCase> Cases = {
      {"count 199 gives only the too-short text", 500, 50, 0.9, 0.9, 199, {TooShort}, true},
      {"count 0 gives only the too-short text", 0, 0, 0, 0, 0, {TooShort}, true},
      {"count 200 is graded", 300, 98, 0.1, 0.1, 200, {A[5], S2[5], R[5]}, true},
      {"accuracy exactly 98: grade 5, second speed set, passed",
       300,
       98,
       0.1,
       0.1,
       250,
       {A[5], S2[5], R[5]},
       true},
      {"accuracy 97.99: grade 5, not passed", 300, 97.99, 0.1, 0.1, 250, {A[5], S2[5], R[5]}, false},
      {"accuracy 96: grade 4, first speed set", 300, 96, 0.1, 0.1, 250, {A[4], S1[5], R[5]}, false},
      {"accuracy exactly 100: grade 8", 300, 100, 0.1, 0.1, 250, {A[8], S2[5], R[5]}, true},
      {"accuracy 99.99: grade 7", 300, 99.99, 0.1, 0.1, 250, {A[7], S2[5], R[5]}, true},
      {"cpm exactly 400: speed grade 6", 400, 99, 0.1, 0.1, 250, {A[6], S2[6], R[5]}, true},
      {"cpm 400.01: speed grade 7", 400.01, 99, 0.1, 0.1, 250, {A[6], S2[7], R[5]}, true},
      {"f 0.1, g 0.25: rhythm 5", 300, 99, 0.1, 0.25, 250, {A[6], S2[5], R[5]}, true},
      {"f 0.25, g 0.1: rhythm 5", 300, 99, 0.25, 0.1, 250, {A[6], S2[5], R[5]}, true},
      {"f 0.3, g 0.2: rhythm 3", 300, 99, 0.3, 0.2, 250, {A[6], S2[5], R[3]}, true},
  };
  for (const TEdgeCase& C : Cases) {
    for (bool Before : {false, true}) {
      SCOPED_TRACE(std::string(C.What) + (Before ? " (flag true before)" : " (flag false before)"));
      const TResult Got = Run(C.Cpm, C.Accuracy, C.F, C.G, C.Count, Before);
      std::vector<std::string> Expected;
      for (const char* T : C.Expected) Expected.push_back(Cp1250(T));
      EXPECT_EQ(Got.Lines, Expected);
      EXPECT_EQ(Got.Passed, C.Passed);
    }
  }
}

// Figures that land in each grade, away from the boundaries.
const std::array<double, 9> AccuracyOfGrade = {50, 75, 85, 92, 95, 97, 99, 99.8, 100};
const std::array<double, 8> CpmOfGrade = {30, 100, 150, 200, 260, 300, 380, 450};
const std::array<std::pair<double, double>, 6> RhythmOfGrade = {
    {{0.8, 0.2}, {0.6, 0.3}, {0.5, 0.2}, {0.3, 0.2}, {0.12, 0.3}, {0.1, 0.1}}};

TEST_F(RemarkorLibrary, EveryTextIsTheExactCp1250Sentence) {
  {
    const TResult Got = Run(300, 99, 0.1, 0.1, 10, false);
    ASSERT_EQ(Got.Lines.size(), 1u);
    EXPECT_EQ(Got.Lines[0], Cp1250(TooShort));
  }
  for (int A = 0; A <= 8; ++A) {
    SCOPED_TRACE("accuracy grade " + std::to_string(A));
    const TResult Got = Run(CpmOfGrade[3], AccuracyOfGrade[A], 0.1, 0.1, 500, false);
    ASSERT_EQ(Got.Lines.size(), 3u);
    EXPECT_EQ(Got.Lines[0], Cp1250(AccuracyTexts[A]));
    EXPECT_EQ(Got.Lines[1], Cp1250(A <= 4 ? SpeedTextsLowAccuracy[3] : SpeedTextsGoodAccuracy[3]));
  }
  for (int S = 0; S <= 7; ++S) {
    SCOPED_TRACE("speed grade " + std::to_string(S));
    const TResult Low = Run(CpmOfGrade[S], AccuracyOfGrade[2], 0.1, 0.1, 500, false);
    const TResult Good = Run(CpmOfGrade[S], AccuracyOfGrade[6], 0.1, 0.1, 500, false);
    ASSERT_EQ(Low.Lines.size(), 3u);
    ASSERT_EQ(Good.Lines.size(), 3u);
    EXPECT_EQ(Low.Lines[1], Cp1250(SpeedTextsLowAccuracy[S]));
    EXPECT_EQ(Good.Lines[1], Cp1250(SpeedTextsGoodAccuracy[S]));
  }
  for (int R = 0; R <= 5; ++R) {
    SCOPED_TRACE("rhythm grade " + std::to_string(R));
    const TResult Got =
        Run(CpmOfGrade[3], AccuracyOfGrade[6], RhythmOfGrade[R].first, RhythmOfGrade[R].second, 500, false);
    ASSERT_EQ(Got.Lines.size(), 3u);
    EXPECT_EQ(Got.Lines[2], Cp1250(RhythmTexts[R]));
    if (R == 2) {
      EXPECT_NE(Got.Lines[2].find("metronom  i popraw"), std::string::npos);
    }
  }
}

}  // namespace
