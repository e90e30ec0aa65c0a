#include "dx/tests/dx_test_util.h"

#include <cstdlib>

#include "dx/directx.h"

std::string U32(uint32_t V) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>(V >> (8 * i));
  return s;
}

static std::string U16(uint16_t V) { return std::string{static_cast<char>(V & 0xFF), static_cast<char>(V >> 8)}; }

std::string RiffImage(const std::vector<TChunk>& Chunks) {
  std::string body = "WAVE";
  for (const TChunk& c : Chunks)
    body += c.Id + U32(static_cast<uint32_t>(c.Length >= 0 ? c.Length : static_cast<int64_t>(c.Body.size()))) + c.Body;
  return "RIFF" + U32(static_cast<uint32_t>(body.size())) + body;
}

std::string PcmFormat(int Channels, int Bits, int Rate, int RecordSize) {
  const int align = Channels * Bits / 8;
  std::string f = U16(1) + U16(static_cast<uint16_t>(Channels)) + U32(static_cast<uint32_t>(Rate)) +
                  U32(static_cast<uint32_t>(Rate * align)) + U16(static_cast<uint16_t>(align)) +
                  U16(static_cast<uint16_t>(Bits));
  if (RecordSize >= 18) f += U16(0);
  return f;
}

std::string Pcm16(const std::vector<int>& Samples) {
  std::string s;
  for (int v : Samples) s += U16(static_cast<uint16_t>(static_cast<int16_t>(v)));
  return s;
}

void InstallTestForms() {
  SetDXFormTest([](const TComponent* C) { return dynamic_cast<const TTestForm*>(C) != nullptr; });
}

TAudioDriverScope::TAudioDriverScope(const char* Driver) {
  const char* old = std::getenv("SDL_AUDIODRIVER");
  FHad = old != nullptr;
  if (FHad) FOld = old;
  setenv("SDL_AUDIODRIVER", Driver, 1);
}

TAudioDriverScope::~TAudioDriverScope() {
  if (FHad)
    setenv("SDL_AUDIODRIVER", FOld.c_str(), 1);
  else
    unsetenv("SDL_AUDIODRIVER");
}
