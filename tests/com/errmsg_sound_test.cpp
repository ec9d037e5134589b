// getErrMsg, the timing methods and the sound methods, early- and late-bound.
#include "com_support.h"

#include <algorithm>

using namespace vtest;

namespace {
::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

// What the platform's own call did on this thread, and what a sound method answers for it:
// the empty string after success; after a failure the system's text for the error code, or the
// code in decimal without one.
struct Outcome {
  BOOL ok;
  DWORD code;
  std::u16string answer() const {
    if (ok) return u"";
    std::u16string text = systemText(code);
    if (!text.empty()) return text;
    std::string digits = std::to_string(code);
    return std::u16string(digits.begin(), digits.end());
  }
};
template <class Call>
Outcome outcomeOf(Call call) {
  SetLastError(0);
  const BOOL ok = call();
  return {ok, GetLastError()};
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
  EXPECT_EQ(zero.view(), systemText(0));
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
  EXPECT_EQ(utils->getTickCount(nullptr), E_POINTER);
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
    invoke(utils.Get(), L"sleep", {ui4(0)}, zero);
    EXPECT_EQ(zero.hr, S_OK);
    quickest = std::min(quickest, zeroWatch.ms());
  }
  EXPECT_LT(quickest, 50.0);
}

// Whether a sound can be made is the machine's own: Windows' Beep, MessageBeep and
// sndPlaySound fail where no device answers (a remote session, a virtual machine without
// sound), Wine's Beep and MessageBeep never fail. So each case first asks the platform the
// same question on this thread, and the method must answer what that outcome means: the empty
// string after success, the failure text of the error code after a failure.

TEST(Sound, BeepWithDefaultsAnswersThePlatformsOutcome) {
  auto utils = createUtils();
  const Outcome played = outcomeOf([] { return Beep(300, 10); });
  CallResult r;
  invoke(utils.Get(), L"beep", {}, r);  // 300 Hz for 10 ms
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_EQ(V_VT(r.value.get()), VT_BSTR);
  EXPECT_EQ(r.string(), played.answer());
}

TEST(Sound, BeepOutsideTheDocumentedFrequenciesIsNeverAnEmptyFailure) {
  // 20 Hz lies below the documented range (37 to 32767 Hz): whether the platform refuses it
  // is its own affair, but a refusal comes back as a text, never as the empty string.
  auto utils = createUtils();
  const Outcome played = outcomeOf([] { return Beep(20, 10); });
  Bstr msg;
  ASSERT_EQ(utils->beep(20, 10, msg.out()), S_OK);
  EXPECT_EQ(msg.view(), played.answer());
  if (!played.ok) {
    EXPECT_FALSE(msg.view().empty());
  }
}

TEST(Sound, MessageBeepOfTheSimpleBeepAndTheDefaultSound) {
  auto utils = createUtils();
  const Outcome simpleBeep = outcomeOf([] { return MessageBeep(0xFFFFFFFFu); });
  Bstr simple;
  SetLastError(0);
  ASSERT_EQ(utils->msgBeep(0xFFFFFFFFu, simple.out()), S_OK);
  EXPECT_EQ(simple.view(), simpleBeep.answer());
  if (simpleBeep.ok) {
    EXPECT_EQ(simple.get(), nullptr) << "success is a null BSTR";
  }

  const Outcome standard = outcomeOf([] { return MessageBeep(MB_OK); });
  CallResult r;
  SetLastError(0);
  invoke(utils.Get(), L"msgBeep", {}, r);  // the default sound, type 0
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.string(), standard.answer());
}

TEST(Sound, MissingFileWithNoDefaultFailsWithTheSystemText) {
  auto utils = createUtils();
  std::u16string missing = tempDir() + u"\\no-such-sound.wav";
  // With SND_NODEFAULT a missing file plays nothing and the call fails, on every system. The
  // error code is the platform's: Wine sets 6 (the handle is invalid), Windows its own.
  const Outcome failed = outcomeOf([&] { return sndPlaySoundW(w(missing), SND_NODEFAULT); });
  ASSERT_FALSE(failed.ok);
  Bstr msg;
  SetLastError(0);
  ASSERT_EQ(utils->sndPlaySound(Bstr(missing).get(), SND_NODEFAULT, msg.out()), S_OK);
  EXPECT_FALSE(msg.view().empty());
  EXPECT_EQ(msg.view(), failed.answer());
}

TEST(Sound, LoopingSoundPlaysAsynchronouslyAndAnEmptyPathStopsIt) {
  auto utils = createUtils();
  Bstr loop, stop;
  std::u16string missing = tempDir() + u"\\no-such-loop.wav";
  // Without SND_NODEFAULT the platform plays its default sound in place of a missing file,
  // where it has one; the looping request is made asynchronous (as with SND_ASYNC given
  // explicitly), so it returns at once and an empty path stops it.
  const Outcome looped = outcomeOf([&] { return sndPlaySoundW(w(missing), SND_LOOP | SND_ASYNC); });
  sndPlaySoundW(nullptr, 0);
  Stopwatch watch;
  SetLastError(0);
  ASSERT_EQ(utils->sndPlaySound(Bstr(missing).get(), SND_LOOP, loop.out()), S_OK);
  EXPECT_LT(watch.ms(), 2000.0);
  EXPECT_EQ(loop.view(), looped.answer());

  const Outcome stopped = outcomeOf([] { return sndPlaySoundW(nullptr, 0); });
  SetLastError(0);
  ASSERT_EQ(utils->sndPlaySound(nullptr, 0, stop.out()), S_OK);
  EXPECT_EQ(stop.view(), stopped.answer());
  CallResult r;
  SetLastError(0);
  invoke(utils.Get(), L"sndPlaySound", {}, r);
  EXPECT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.string(), stopped.answer());
}
