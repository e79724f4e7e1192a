// The application directory's lock between programs, the start-up sweep that leaves running processes'
// temporary files alone, and an information file changed by another program while a frame was open.

#include "session/app_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/ini.h"
#include "session/frame_session.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(AppDirLock, OneHolderAtATimeNamedToTheOthersAndTakenOverFromTheDead) {
  TempDir dir;
  AppDirLock first, second;
  ASSERT_TRUE(first.Take(dir.appDir(), "orvia").taken);
  // The same directory by another spelling is the same lock.
  const AppLockAttempt refused = second.Take(dir.path().string() + "/./", "orvia-cli", std::chrono::milliseconds(120));
  EXPECT_FALSE(refused.taken);
  EXPECT_EQ(HolderText(refused.holder), "orvia, pid " + std::to_string(getpid()));
  first.Release();
  EXPECT_TRUE(second.Take(dir.appDir(), "orvia-cli").taken);
  second.Release();

  // A holder killed in the middle of its work leaves no lock behind.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    AppDirLock held;
    (void)!write(ready[1], held.Take(dir.appDir(), "orvia-cli").taken ? "1" : "0", 1);
    pause();
  }
  char answer = 0;
  ASSERT_TRUE(read(ready[0], &answer, 1) == 1 && answer == '1');
  EXPECT_EQ(first.Take(dir.appDir(), "orvia").holder.pid, child);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(first.Take(dir.appDir(), "orvia", std::chrono::seconds(2)).taken);

  // The sweep leaves a running process's temporary file and removes those of ended runs.
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const std::string mine = TemporaryPathFor((dir.path() / "25544.tle").string());
  const fs::path dead = dir.path() / (".orvia-" + std::to_string(ended) + "-0123456789abcdef-3.tmp");
  for (const fs::path& p : {fs::path(mine), dead}) WriteFile(p, "half");
  EXPECT_EQ(RemoveLeftoverTemporaries(dir.path().string()), 1);
  EXPECT_TRUE(fs::exists(mine));
}

// The desktop program held a frame open while another program wrote its plate, track and satellite.
TEST(FrameSessionSave, KeepsWhatAnotherProgramWroteMeanwhile) {
  TempDir dir;
  AppState app;
  app.appDir = dir.appDir();
  const fs::path frame = dir.path() / "IMG_0001.jpg", framed = dir.path() / "b" / "IMG_0001.jpg";
  for (const fs::path& p : {frame, framed}) WriteFile(p, "pixels");
  const DecodedImage decoded{40, 30, std::vector<std::uint32_t>(40 * 30), FrameRefusal::None};
  FrameState state, otherState;
  FrameSession desktop(app, state), other(app, otherState);
  desktop.Open(frame.string(), decoded);
  other.Open(frame.string(), decoded);
  otherState.identifiedNorad = 43229;
  ASSERT_TRUE(other.Save().Ok());
  const std::string path = state.infoFilePath;

  // Closing a frame where nothing changed keeps the other's work without a word; circumstances typed
  // afterwards go in beside it, and the user is told.
  EXPECT_TRUE(desktop.Save().messages.empty());
  state.info.exposure = 12.5;
  const StepResult saved = desktop.Save();
  ASSERT_EQ(saved.messages.size(), 1u);
  EXPECT_NE(saved.messages[0].find("User Info"), std::string::npos);
  IniDocument doc = ReadIniFile(path);
  EXPECT_EQ(IniGetValue(doc, "Satellite Info", "Norad", ""), "43229");
  EXPECT_EQ(IniGetValue(doc, "User Info", "Exposition", ""), "12.5");

  // Another frame of the same name took the file: this frame's values go to a file of their own.
  IniSetValue(doc, "User Info", "FileName", framed.string());
  ASSERT_TRUE(WriteIniFile(path, doc));
  const std::string taken = ReadFile(path);
  ASSERT_TRUE(desktop.Save().Ok() && ReadFile(path) == taken);
  EXPECT_EQ(IniGetValue(ReadIniFile(state.infoFilePath), "User Info", "Exposition", ""), "12.5");
}
