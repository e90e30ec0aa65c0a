// The comment builder: grades one finished exercise on accuracy, speed and rhythm and writes the
// Polish comment sentences and the passed flag. Stateless; reads no file.
#include <array>
#include <string>

#include "platform/core/classes.h"
#include "platform/core/cp1250.h"
#include "remarkor/CommentBuildRec.h"

namespace {

// The sentences are written here in UTF-8 for readability and converted to CP1250 once, on first use.
const char* const TooShortUtf8 =
    "Przykro mi, ten tekst był zbyt krótki, aby sensowna była ocena Twoich wyników. Muszę poczekać, aż "
    "wybierzesz normalną lekcję lub dłuższy tekst (minimum 200 znaków). Do zobaczenia!";

// Indexed by the accuracy grade 0..8.
const std::array<const char*, 9> AccuracyUtf8 = {
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

// Indexed by the speed grade 0..7; this set when the accuracy grade is 4 or lower.
const std::array<const char*, 8> SpeedLowAccuracyUtf8 = {
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

// Indexed by the speed grade 0..7; this set when the accuracy grade is 5 or higher.
const std::array<const char*, 8> SpeedGoodAccuracyUtf8 = {
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

// Indexed by the rhythm grade 0..5. Text 2 has two blanks after "metronom", as the program
// has always shown it.
const std::array<const char*, 6> RhythmUtf8 = {
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

template <std::size_t N>
std::array<std::string, N> ToCp1250(const std::array<const char*, N>& Utf8) {
  std::array<std::string, N> Out;
  for (std::size_t i = 0; i < N; ++i) Out[i] = Utf8ToCp1250(Utf8[i]);
  return Out;
}

struct TTexts {
  std::string TooShort = Utf8ToCp1250(TooShortUtf8);
  std::array<std::string, 9> Accuracy = ToCp1250(AccuracyUtf8);
  std::array<std::string, 8> SpeedLowAccuracy = ToCp1250(SpeedLowAccuracyUtf8);
  std::array<std::string, 8> SpeedGoodAccuracy = ToCp1250(SpeedGoodAccuracyUtf8);
  std::array<std::string, 6> Rhythm = ToCp1250(RhythmUtf8);
};

const TTexts& Texts() {
  static const TTexts T;
  return T;
}

int AccuracyGrade(double Accuracy) {
  if (Accuracy == 100) return 8;
  if (Accuracy > 99.5) return 7;
  if (Accuracy > 98) return 6;
  if (Accuracy > 96) return 5;
  if (Accuracy > 93) return 4;
  if (Accuracy > 90) return 3;
  if (Accuracy > 80) return 2;
  if (Accuracy > 70) return 1;
  return 0;
}

int SpeedGrade(double Cpm) {
  if (Cpm > 400) return 7;
  if (Cpm > 350) return 6;
  if (Cpm > 280) return 5;
  if (Cpm > 240) return 4;
  if (Cpm > 180) return 3;
  if (Cpm > 120) return 2;
  if (Cpm > 60) return 1;
  return 0;
}

// F is the speed deviation relative to the speed, G the mean change between consecutive keystrokes.
int RhythmGrade(double F, double G) {
  if ((F + G) / 2 < 0.2) return 5;
  const double X = F + G / 2;
  if (X < 0.3) return 4;
  if (X < 0.5) return 3;
  if (X < 0.7) return 2;
  if (X < 0.8) return 1;
  return 0;
}

}  // namespace

extern "C" void Build(TStrings* List, const TCommBiuldRec* Rec, bool* Passed) {
  const TTexts& T = Texts();
  *Passed = true;
  List->Clear();
  if (Rec->Count < 200) {
    List->Add(T.TooShort);
    return;
  }
  const int A = AccuracyGrade(Rec->Accuracy);
  const int S = SpeedGrade(Rec->Cpm);
  const int R = RhythmGrade(Rec->AvErrRatio, Rec->AvIdx);
  List->Add(T.Accuracy[A]);
  List->Add(A <= 4 ? T.SpeedLowAccuracy[S] : T.SpeedGoodAccuracy[S]);
  List->Add(T.Rhythm[R]);
  *Passed = Rec->Accuracy >= 98;
}
