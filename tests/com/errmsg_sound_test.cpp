// getErrMsg, the timing methods and the sound methods, early- and late-bound.
#include "com_support.h"

#include <algorithm>

using namespace vtest;

namespace {
::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

std::u16string systemText(DWORD code) {
  wchar_t buffer[2048] = {};
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 2047, nullptr);
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), n);
}

// Milliseconds by the performance counter: Wine's tick count moves in steps of about 16 ms,
// too coarse to time a pause with.
class Stopwatch {
 public:
  Stopwatch() { QueryPerformanceCounter(&start_); }
  double ms() const {
    LARGE_INTEGER now, f;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&f);
    return (now.QuadPart - start_.QuadPart) * 1000.0 / f.QuadPart;
  }

 private:
  LARGE_INTEGER start_;
};
}  // namespace

TEST(GetErrMsg, GivesTheSystemTextUnchangedWithItsLineBreak) {
  auto utils = createUtils();
  Bstr msg;
  ASSERT_EQ(utils->getErrMsg(ERROR_FILE_NOT_FOUND, msg.out()), S_OK);
  ASSERT_FALSE(msg.view().empty());
  EXPECT_EQ(msg.view(), systemText(ERROR_FILE_NOT_FOUND));
  ASSERT_GE(msg.view().size(), 2u);
  EXPECT_EQ(msg.view().substr(msg.view().size() - 2), u"\r\n");
}

TEST(GetErrMsg, CodeZeroHasTheSuccessTextAndAnUnknownCodeIsEmpty) {
  auto utils = createUtils();
  Bstr zero, unknown;
  ASSERT_EQ(utils->getErrMsg(0, zero.out()), S_OK);
  EXPECT_FALSE(zero.view().empty());
  ASSERT_EQ(utils->getErrMsg(0xFFFFFFFFu, unknown.out()), S_OK);
  EXPECT_EQ(unknown.get(), nullptr) << "an empty result is a null BSTR";
}

TEST(GetErrMsg, LeavesThePreviousStringOfTheResultLocationAlone) {
  auto utils = createUtils();
  Bstr previous(std::u16string(u"previous"));
  BSTR location = previous.get();  // the caller still owns "previous"
  ASSERT_EQ(utils->getErrMsg(0xFFFFFFFFu, &location), S_OK);
  EXPECT_EQ(location, nullptr);
  EXPECT_EQ(previous.view(), u"previous");
}

TEST(GetErrMsg, NullResultPointerIsRefused) {
  auto utils = createUtils();
  EXPECT_EQ(utils->getErrMsg(2, nullptr), E_POINTER);
}

TEST(Timing, TickCountFollowsTheSystemClockAndSleepPauses) {
  auto utils = createUtils();
  UINT before = 0, after = 0;
  ASSERT_EQ(utils->getTickCount(&before), S_OK);
  Stopwatch watch;
  ASSERT_EQ(utils->sleep(200), S_OK);
  double elapsed = watch.ms();
  ASSERT_EQ(utils->getTickCount(&after), S_OK);
  EXPECT_GE(elapsed, 199.0);
  // The counter agrees with the clock within its step; the unsigned difference is right
  // across the wrap too.
  EXPECT_NEAR(static_cast<double>(after - before), elapsed, 40.0);
}

TEST(Timing, LateBoundSleepWithoutArgumentPausesTheDefault100Milliseconds) {
  auto utils = createUtils();
  CallResult r;
  Stopwatch watch;
  invoke(utils.Get(), L"sleep", {}, r);
  double elapsed = watch.ms();
  EXPECT_EQ(r.hr, S_OK);
  EXPECT_GE(elapsed, 99.0);
  EXPECT_LT(elapsed, 2000.0);
  // sleep 0 only gives up the time slice; the quickest of a few tries shows it, however busy
  // the machine is.
  double quickest = 1e9;
  for (int i = 0; i < 5; ++i) {
    CallResult zero;
    Stopwatch zeroWatch;
    invoke(utils.Get(), L"sleep", {Arg::ui4(0)}, zero);
    EXPECT_EQ(zero.hr, S_OK);
    quickest = std::min(quickest, zeroWatch.ms());
  }
  EXPECT_LT(quickest, 50.0);
}

TEST(Sound, BeepWithDefaultsSucceedsWithAnEmptyText) {
  auto utils = createUtils();
  CallResult r;
  invoke(utils.Get(), L"beep", {}, r);
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_EQ(V_VT(r.value.get()), VT_BSTR);
  EXPECT_EQ(r.string(), u"");
}

TEST(Sound, MessageBeepOfTheSimpleBeepAndTheDefaultSound) {
  auto utils = createUtils();
  Bstr simple, standard;
  ASSERT_EQ(utils->msgBeep(0xFFFFFFFFu, simple.out()), S_OK);
  EXPECT_EQ(simple.get(), nullptr);
  CallResult r;
  invoke(utils.Get(), L"msgBeep", {}, r);
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.string(), u"");
}

TEST(Sound, MissingFileWithNoDefaultFailsWithTheSystemText) {
  auto utils = createUtils();
  Bstr msg;
  std::u16string missing = tempDir() + u"\\no-such-sound.wav";
  ASSERT_EQ(utils->sndPlaySound(Bstr(missing).get(), SND_NODEFAULT, msg.out()), S_OK);
  ASSERT_FALSE(msg.view().empty());
  // Wine reports the failure with error 6; the text is the system's for that code.
  DWORD code = GetLastError();
  EXPECT_EQ(msg.view(), systemText(code).empty() ? std::u16string(u"?") : systemText(code));
}

TEST(Sound, LoopingSoundPlaysAsynchronouslyAndAnEmptyPathStopsIt) {
  auto utils = createUtils();
  Bstr loop, stop, stopAgain;
  std::u16string missing = tempDir() + u"\\no-such-loop.wav";
  // A looping request returns at once, as with SND_ASYNC given explicitly; without a file the
  // platform plays the default sound and reports success.
  Stopwatch watch;
  ASSERT_EQ(utils->sndPlaySound(Bstr(missing).get(), SND_LOOP, loop.out()), S_OK);
  EXPECT_LT(watch.ms(), 2000.0);
  EXPECT_EQ(loop.get(), nullptr);
  ASSERT_EQ(utils->sndPlaySound(nullptr, 0, stop.out()), S_OK);
  EXPECT_EQ(stop.get(), nullptr);
  CallResult r;
  invoke(utils.Get(), L"sndPlaySound", {}, r);
  EXPECT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.string(), u"");
}
