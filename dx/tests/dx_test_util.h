// Helpers of the framework's tests: WAVE images built byte by byte, and a stand-in form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/classes.h"

struct TChunk {
  std::string Id;    // 4 characters
  std::string Body;
  int64_t Length = -1;  // the length written in the header; -1: the body's length
};

// "RIFF" <length> "WAVE" followed by the chunks, unpadded.
std::string RiffImage(const std::vector<TChunk>& Chunks);
// A PCM format record (16 or 18 bytes).
std::string PcmFormat(int Channels, int Bits, int Rate, int RecordSize = 18);
std::string Pcm16(const std::vector<int>& Samples);
std::string U32(uint32_t V);

// A component that counts as a form for the sound component (installed by InstallTestForms).
class TTestForm : public TComponent {
 public:
  explicit TTestForm(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
};
void InstallTestForms();

// Sets SDL_AUDIODRIVER for the lifetime of the object.
class TAudioDriverScope {
 public:
  explicit TAudioDriverScope(const char* Driver);
  ~TAudioDriverScope();

 private:
  bool FHad = false;
  std::string FOld;
};
