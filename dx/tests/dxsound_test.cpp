#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "dx/dxsound.h"
#include "dx/tests/dx_test_util.h"
#include "platform/sound/sound.h"

namespace {

// A form owning a sound component and a wave list bound to it, on the dummy audio driver.
class SoundFixture : public testing::Test {
 protected:
  void SetUp() override {
    Driver = std::make_unique<TAudioDriverScope>("dummy");
    InstallTestForms();
    Form = new TTestForm();
    Sound = new TDXSound(Form);
    Sound->SetAutoInitialize(false);
    Sound->SetOptions(soExclusive);
    List = new TDXWaveList(Form);
    List->SetDXSound(Sound);
  }
  void TearDown() override {
    delete Form;
    Driver.reset();
  }

  // Initializes and stops the device's own mixing so the test mixes by hand.
  void InitializeManual() {
    Sound->Initialize();
    Device().SetPaused(true);
  }
  TSoundDevice& Device() { return Sound->DSound()->ISound(); }
  int Rate() { return Device().Rate(); }

  // Fills Item's wave with Count frames of 16-bit mono at the device rate; Value(i) gives sample i.
  template <class F>
  void Fill(TWaveCollectionItem* Item, int Count, F Value, int Rate) {
    std::vector<int> s(static_cast<size_t>(Count));
    for (int i = 0; i < Count; ++i) s[static_cast<size_t>(i)] = Value(i);
    TStringStream st(RiffImage({{"fmt ", PcmFormat(1, 16, Rate)}, {"data", Pcm16(s)}}));
    Item->Wave().LoadFromStream(&st);
  }
  TWaveCollectionItem* AddConstant(int Value, int Frames) {
    TWaveCollectionItem* item = List->Items()->Add();
    Fill(item, Frames, [Value](int) { return Value; }, Rate());
    return item;
  }

  std::unique_ptr<TAudioDriverScope> Driver;
  std::vector<std::string> Log;  // outlives the components, so listeners may write to it
  TTestForm* Form = nullptr;
  TDXSound* Sound = nullptr;
  TDXWaveList* List = nullptr;
};

}  // namespace

TEST_F(SoundFixture, InitializeNeedsAFormAndADevice) {
  TDXSound* orphan = new TDXSound(nullptr);
  try {
    orphan->Initialize();
    ADD_FAILURE() << "initialized without a form";
  } catch (const EDXSoundError& e) {
    EXPECT_EQ(e.Message(), "Form not found");
  }
  EXPECT_FALSE(orphan->Initialized());
  delete orphan;

  TWaveCollectionItem* item = List->Items()->Add();
  {
    TAudioDriverScope noDevice("no-such-driver");
    try {
      Sound->Initialize();
      ADD_FAILURE() << "initialized without a device";
    } catch (const EDirectSoundError& e) {
      EXPECT_EQ(e.Message(), "DirectSound cannot be initialized");
    }
  }
  // The caller goes on silent: nothing is initialized and playing does nothing.
  EXPECT_FALSE(Sound->Initialized());
  EXPECT_FALSE(item->Initialized());
  item->Play(false);
  EXPECT_EQ(item->BufferCount(), 0);
  Sound->Finalize();
  // With a device it works afterwards.
  Sound->Initialize();
  EXPECT_TRUE(Sound->Initialized());
  ASSERT_NE(Sound->Primary(), nullptr);
  EXPECT_TRUE(Sound->Primary()->IsPrimary());
  EXPECT_EQ(Sound->Primary()->Format().SamplesPerSec, static_cast<uint32_t>(Rate()));
  EXPECT_EQ(Sound->DSound()->CooperativeLevel(), dsLevelExclusive);
}

TEST_F(SoundFixture, NotificationsAndEventsComeInOrder) {
  std::vector<std::string>& log = Log;
  auto listener = [&log](const char* Who) {
    return [&log, Who](TCustomDXSound*, TDXSoundNotifyType t) { log.push_back(std::string(Who) + std::to_string(t)); };
  };
  int a = 0, b = 0;
  Sound->RegisterNotifyEvent(listener("a"), &a);
  Sound->RegisterNotifyEvent(listener("b"), &b);
  Sound->OnInitializing = [&](TObject*) { log.push_back("OnInitializing"); };
  Sound->OnInitialize = [&](TObject*) { log.push_back("OnInitialize"); };
  Sound->OnRestore = [&](TObject*) { log.push_back("OnRestore"); };
  Sound->OnFinalize = [&](TObject*) { log.push_back("OnFinalize"); };
  Sound->Initialize();
  // Last registered first; the wave list registered before both.
  EXPECT_EQ(log, (std::vector<std::string>{"b1", "a1", "OnInitializing", "b2", "a2", "OnInitialize", "b4", "a4",
                                           "OnRestore"}));
  log.clear();
  int c = 0;
  Sound->RegisterNotifyEvent(listener("c"), &c);  // joining an initialized component
  EXPECT_EQ(log, (std::vector<std::string>{"c2", "c4"}));
  log.clear();
  Sound->RegisterNotifyEvent(listener("c"), &c);  // again: the old pair is replaced, not doubled
  Sound->UnRegisterNotifyEvent(&c);
  EXPECT_EQ(log, (std::vector<std::string>{"c2", "c4", "c3"}));
  log.clear();
  Sound->Finalize();
  EXPECT_EQ(log, (std::vector<std::string>{"OnFinalize", "b3", "a3"}));
  log.clear();
  Sound->Restore();  // only while initialized
  EXPECT_TRUE(log.empty());
  delete Sound;
  Sound = nullptr;
  EXPECT_EQ(log, (std::vector<std::string>{"b0", "a0"}));
  EXPECT_EQ(List->DXSound(), nullptr);
}

TEST_F(SoundFixture, ExclusiveOptionWaitsForTheNextInitialize) {
  Sound->SetOptions(0);
  Sound->Initialize();
  EXPECT_EQ(Sound->DSound()->CooperativeLevel(), dsLevelNormal);
  Sound->SetOptions(soExclusive | soGlobalFocus);
  EXPECT_EQ(Sound->NowOptions(), static_cast<unsigned>(soGlobalFocus));
  EXPECT_TRUE(Sound->DSound()->GlobalFocus());  // focus follows at once
  Sound->Initialize();
  EXPECT_EQ(Sound->NowOptions(), static_cast<unsigned>(soExclusive | soGlobalFocus));
  EXPECT_EQ(Sound->DSound()->CooperativeLevel(), dsLevelExclusive);
}

// Four sounds; items 1 and 3 play at once and both are heard, each with its own pan and volume.
TEST_F(SoundFixture, OverlappingItemsAreMixedTogether) {
  InitializeManual();
  const int values[] = {1000, 4000, 2000, 8000};
  for (int v : values) AddConstant(v, Rate() / 10);
  List->Items()->Initialize(Sound);
  TWaveCollectionItem* one = List->Items()->Items(1);
  TWaveCollectionItem* three = List->Items()->Items(3);
  one->SetPan(-10000);   // left only
  three->SetPan(10000);  // right only
  three->SetVolume(-600);
  one->Play(false);
  three->Play(false);
  std::vector<float> out = Device().Mixer().Mix(8);
  const double gain = std::pow(10.0, -600 / 2000.0);
  EXPECT_NEAR(out[0], 4000 / 32768.0, 1e-5);
  EXPECT_NEAR(out[1], 8000 / 32768.0 * gain, 1e-5);
  EXPECT_EQ(Device().Mixer().PlayingCount(), 2);
  // Played to the end, the instances are free again and are reused; without pan both sounds add up
  // in each channel.
  Device().Mixer().Mix(Rate());
  EXPECT_EQ(Device().Mixer().PlayingCount(), 0);
  one->SetPan(0);
  three->SetPan(0);
  three->SetVolume(0);
  one->Play(false);
  three->Play(false);
  out = Device().Mixer().Mix(1);
  EXPECT_NEAR(out[0], 12000 / 32768.0, 1e-5);
  EXPECT_NEAR(out[1], 12000 / 32768.0, 1e-5);
  EXPECT_EQ(one->BufferCount(), 1);
  EXPECT_EQ(three->BufferCount(), 1);
}

// With a limit of two, a third play while both are busy restarts the oldest instance.
TEST_F(SoundFixture, PlayingCountLimitRestartsTheOldest) {
  InitializeManual();
  TWaveCollectionItem* ramp = List->Items()->Add();
  Fill(ramp, 1000, [](int i) { return i * 10; }, Rate());
  List->Items()->Initialize(Sound);
  ramp->SetMaxPlayingCount(2);
  ramp->Play(false);
  Device().Mixer().Mix(100);  // first instance at 100
  ramp->Play(false);
  Device().Mixer().Mix(100);  // first at 200, second at 100
  ramp->Play(false);          // the first starts over
  EXPECT_EQ(ramp->BufferCount(), 2);
  std::vector<float> out = Device().Mixer().Mix(1);
  EXPECT_NEAR(out[0], (0 + 100 * 10) / 32768.0, 1e-5);
  ramp->Play(false);  // now the second is the oldest
  out = Device().Mixer().Mix(1);
  EXPECT_NEAR(out[0], (1 * 10 + 0) / 32768.0, 1e-5);
}

TEST_F(SoundFixture, NoLimitAddsAnInstancePerBusyPlay) {
  InitializeManual();
  TWaveCollectionItem* item = AddConstant(1000, 500);
  List->Items()->Initialize(Sound);
  for (int i = 0; i < 3; ++i) item->Play(false);
  EXPECT_EQ(item->BufferCount(), 3);
  std::vector<float> out = Device().Mixer().Mix(1);
  EXPECT_NEAR(out[0], 3000 / 32768.0, 1e-5);
  Device().Mixer().Mix(1000);
  item->Play(false);  // a finished instance is reused
  EXPECT_EQ(item->BufferCount(), 3);
  item->SetMaxPlayingCount(-4);
  EXPECT_EQ(item->MaxPlayingCount(), 0);
  item->SetMaxPlayingCount(1);  // frees the duplicates
  EXPECT_EQ(item->BufferCount(), 0);
}

// A list bound to an initialized component gets its buffers at once.
TEST_F(SoundFixture, BindingToAnInitializedComponentMakesBuffers) {
  InitializeManual();
  TDXWaveList* late = new TDXWaveList(Form);
  TWaveCollectionItem* item = late->Items()->Add();
  Fill(item, 100, [](int) { return 1; }, Rate());
  const int before = Device().Mixer().VoiceCount();
  late->SetDXSound(Sound);
  EXPECT_TRUE(item->Initialized());
  EXPECT_EQ(Device().Mixer().VoiceCount(), before + 1);
  late->SetDXSound(nullptr);  // leaving finalizes the items
  EXPECT_FALSE(item->Initialized());
  EXPECT_EQ(Device().Mixer().VoiceCount(), before);
}

TEST_F(SoundFixture, LoopedItemLoopsUntilLoopedIsCleared) {
  InitializeManual();
  TWaveCollectionItem* item = AddConstant(500, 10);
  item->SetLooped(true);
  List->Items()->Initialize(Sound);
  item->Play(false);
  ASSERT_NE(item->Buffer(), nullptr);
  EXPECT_EQ(item->Buffer()->Status(), dsbStatusPlaying | dsbStatusLooping);
  std::vector<float> out = Device().Mixer().Mix(35);
  EXPECT_NEAR(out[2 * 34], 500 / 32768.0, 1e-6);
  item->SetLooped(false);
  EXPECT_FALSE(item->Buffer()->Playing());
}

TEST_F(SoundFixture, PlayWithWaitReturnsWhenTheSoundHasEnded) {
  Sound->Initialize();  // the device mixes on its own thread
  TWaveCollectionItem* item = AddConstant(100, Rate() / 50);
  List->Items()->Initialize(Sound);
  item->Play(true);
  EXPECT_EQ(item->BufferCount(), 1);
  EXPECT_EQ(Device().Mixer().PlayingCount(), 0);
}

// A wave the mixer cannot play is refused when the buffer is made.
TEST_F(SoundFixture, UnplayableWaveIsRefused) {
  InitializeManual();
  TWaveCollectionItem* item = List->Items()->Add();
  struct Case {
    const char* What;
    std::string Format;
  };
  std::string floatFormat = PcmFormat(1, 32, 44100);
  floatFormat[0] = 3;
  const Case cases[] = {{"24-bit", PcmFormat(1, 24, 44100)}, {"float", floatFormat}, {"six channels", PcmFormat(6, 16, 44100)},
                        {"rate 0", PcmFormat(1, 16, 0)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TStringStream st(RiffImage({{"fmt ", c.Format}, {"data", std::string(48, '\0')}}));
    item->Wave().LoadFromStream(&st);
    const int before = Device().Mixer().VoiceCount();
    try {
      item->Restore();
      ADD_FAILURE() << "restored";
    } catch (const EDirectSoundBufferError& e) {
      EXPECT_EQ(e.Message(), "Sound Buffer cannot be made");
    }
    EXPECT_EQ(Device().Mixer().VoiceCount(), before);
  }
}

// The lesson's way: items added and filled after the component is up, then the list initialized.
TEST_F(SoundFixture, ItemsLoadedAfterInitializePlayOnDemand) {
  InitializeManual();
  for (int i = 0; i < 4; ++i) AddConstant(100 * (i + 1), 50);
  List->Items()->Initialize(Sound);
  List->Items()->Items(2)->Play(false);
  std::vector<float> out = Device().Mixer().Mix(1);
  EXPECT_NEAR(out[0], 300 / 32768.0, 1e-6);
  // Re-initializing the component rebuilds every item's buffers.
  Sound->Initialize();
  Device().SetPaused(true);
  EXPECT_TRUE(List->Items()->Items(0)->Initialized());
  EXPECT_EQ(Device().Mixer().VoiceCount(), 4);
}

TEST_F(SoundFixture, FreeingInEitherOrderIsSafe) {
  Sound->Initialize();
  AddConstant(100, 50);
  List->Items()->Restore();
  List->Items()->Items(0)->Play(false);
  delete Sound;  // the list lets go of it
  Sound = nullptr;
  EXPECT_EQ(List->DXSound(), nullptr);
  EXPECT_FALSE(List->Items()->Items(0)->Initialized());
  delete List;
  List = nullptr;

  TDXSound* s = new TDXSound(Form);
  TDXWaveList* l = new TDXWaveList(Form);
  l->SetDXSound(s);
  s->Initialize();
  delete l;  // the component forgets the list
  int calls = 0;
  s->RegisterNotifyEvent([&calls](TCustomDXSound*, TDXSoundNotifyType) { ++calls; }, &calls);
  s->Finalize();
  EXPECT_EQ(calls, 3);  // 2 and 4 on joining, 3 on finalizing, nothing for the freed list
  s->UnRegisterNotifyEvent(&calls);
}

TEST_F(SoundFixture, BufferLockAssignAndStatus) {
  InitializeManual();
  TDirectSoundBuffer* b = new TDirectSoundBuffer(Sound->DSound());
  const std::string data = Pcm16({100, 200, 300, 400});
  b->LoadFromMemory(TWaveFormatEx::Pcm(1, 16, Rate()), data.data(), static_cast<int>(data.size()));
  EXPECT_EQ(b->Caps().BufferBytes, 8u);
  EXPECT_EQ(b->Caps().Flags, dsbCtrlFrequency | dsbCtrlPan | dsbCtrlVolume);
  void *p1, *p2, *q1, *q2;
  int s1, s2, t1, t2;
  ASSERT_TRUE(b->Lock(6, 4, p1, s1, p2, s2));
  EXPECT_EQ(s1, 2);
  EXPECT_EQ(s2, 2);
  EXPECT_FALSE(b->Lock(0, 2, q1, t1, q2, t2));  // one lock at a time
  std::memcpy(p2, Pcm16({-50}).data(), 2);
  b->Unlock();
  TDirectSoundBuffer* dup = new TDirectSoundBuffer(Sound->DSound());
  dup->Assign(b);  // shares the bytes
  dup->Play(false);
  EXPECT_EQ(dup->Status(), dsbStatusPlaying);
  EXPECT_FALSE(b->Playing());
  std::vector<float> out = Device().Mixer().Mix(2);
  EXPECT_NEAR(out[0], -50 / 32768.0, 1e-6);
  EXPECT_NEAR(out[2], 200 / 32768.0, 1e-6);
  dup->Assign(nullptr);
  EXPECT_FALSE(dup->HasInterface());
  EXPECT_THROW(dup->Play(false), EDirectSoundBufferError);
  // The device object frees the buffers still listed when it goes.
  EXPECT_EQ(Sound->DSound()->BufferCount(), 3);  // primary, b, dup
  Sound->Finalize();
}

TEST_F(SoundFixture, AutoInitializeOnLoad) {
  TDXSound* s = new TDXSound(Form);
  EXPECT_TRUE(s->AutoInitialize());
  s->SetLoading(true);
  EXPECT_FALSE(s->Initialized());
  s->SetLoading(false);  // loading done: initializes itself
  EXPECT_TRUE(s->Initialized());
  Sound->SetLoading(true);
  Sound->SetLoading(false);  // AutoInitialize off
  EXPECT_FALSE(Sound->Initialized());
}

// Assigning an item copies its settings and wave, and an initialized item gets its buffer again.
TEST_F(SoundFixture, ItemAssignCopiesAndRestores) {
  InitializeManual();
  TWaveCollectionItem* src = AddConstant(700, 20);
  src->SetName("bell");
  src->SetLooped(true);
  src->SetMaxPlayingCount(3);
  src->SetVolume(-100);
  src->SetPan(200);
  src->SetFrequency(Rate() / 2);
  TWaveCollectionItem* dst = List->Items()->Add();
  List->Items()->Initialize(Sound);
  dst->Assign(src);
  EXPECT_EQ(dst->Name(), "bell");
  EXPECT_TRUE(dst->Looped());
  EXPECT_EQ(dst->MaxPlayingCount(), 3);
  EXPECT_EQ(dst->Volume(), -100);
  EXPECT_EQ(dst->Pan(), 200);
  EXPECT_EQ(dst->Frequency(), Rate() / 2);
  EXPECT_EQ(dst->Wave().Size(), src->Wave().Size());
  EXPECT_TRUE(dst->Initialized());
  ASSERT_NE(dst->Buffer(), nullptr);
  EXPECT_EQ(dst->Buffer()->Volume(), -100);
  EXPECT_EQ(dst->Buffer()->Frequency(), Rate() / 2);
  EXPECT_EQ(List->Items()->Find("BELL"), dst);  // the newer of the two names
  TPersistent other;
  EXPECT_THROW(dst->Assign(&other), EConvertError);
}
