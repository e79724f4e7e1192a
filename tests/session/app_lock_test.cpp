// The application directory's lock between programs, the start-up sweep that leaves running processes'
// temporary files alone, and an information file changed by another program while a frame was open.

#include "session/app_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "base/file_utils.h"
#include "base/ini.h"
#include "session/frame_session.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// A process that has ended: its id is free (until the system hands it out again).
long DeadPid() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

}  // namespace

TEST(AppDirLock, OneHolderAtATimeNamedToTheOthersAndTakenOverFromTheDead) {
  TempDir dir;
  AppDirLock first;
  ASSERT_TRUE(first.Take(dir.appDir(), "orvia").taken);
  // The same directory by another spelling is the same lock.
  AppDirLock second;
  const AppLockAttempt refused = second.Take(dir.path().string() + "/./", "orvia-cli", std::chrono::milliseconds(120));
  EXPECT_FALSE(refused.taken);
  EXPECT_EQ(refused.holder.pid, getpid());
  EXPECT_EQ(refused.holder.program, "orvia");
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
    const bool taken = held.Take(dir.appDir(), "orvia-cli").taken;
    (void)!write(ready[1], taken ? "1" : "0", 1);
    pause();
    _exit(0);
  }
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  ASSERT_EQ(answer, '1');
  AppDirLock waiting;
  EXPECT_EQ(waiting.Take(dir.appDir(), "orvia").holder.pid, child);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(waiting.Take(dir.appDir(), "orvia", std::chrono::seconds(2)).taken);
  close(ready[0]);
  close(ready[1]);
}

TEST(RemoveLeftoverTemporaries, LeavesTheFilesOfRunningProcesses) {
  TempDir dir;
  const std::string mine = TemporaryPathFor((dir.path() / "25544.tle").string());
  EXPECT_EQ(TemporaryFileOwner(fs::path(mine).filename().string()), getpid());
  const fs::path dead = dir.path() / (".orvia-" + std::to_string(DeadPid()) + "-0123456789abcdef-3.tmp");
  const fs::path older = dir.path() / ".orvia-0123456789abcdef-3.tmp";  // names no process
  for (const fs::path& p : {fs::path(mine), dead, older}) WriteFile(p, "half");
  EXPECT_EQ(RemoveLeftoverTemporaries(dir.path().string()), 2);
  EXPECT_TRUE(fs::exists(mine));
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_FALSE(fs::exists(older));
}

// The desktop program held a frame open while another program wrote its plate, track and satellite.
TEST(FrameSessionSave, KeepsWhatAnotherProgramWroteMeanwhile) {
  TempDir dir;
  AppState app;
  app.appDir = dir.appDir();
  const fs::path frame = dir.path() / "IMG_0001.jpg";
  WriteFile(frame, "pixels");
  DecodedImage decoded;
  decoded.width = 40;
  decoded.height = 30;
  decoded.pixels.assign(40 * 30, 0u);
  FrameState state;
  FrameSession desktop(app, state);
  desktop.Open(frame.string(), decoded);
  const std::string path = state.infoFilePath;

  // The other program's session on the same frame finishes first.
  FrameState otherState;
  FrameSession other(app, otherState);
  other.Open(frame.string(), decoded);
  otherState.identifiedNorad = 43229;
  otherState.identifiedName = "SAT";
  otherState.plate.mxArcsec = otherState.plate.myArcsec = 30.0;
  ASSERT_TRUE(other.Save().Ok());

  // Closing a frame where nothing changed keeps the other's work without a word.
  StepResult saved = desktop.Save();
  ASSERT_TRUE(saved.Ok());
  EXPECT_TRUE(saved.messages.empty());
  IniDocument doc = ReadIniFile(path);
  EXPECT_EQ(IniGetValue(doc, "Satellite Info", "Norad", ""), "43229");
  EXPECT_EQ(IniGetValue(doc, "Program Info", "Mx", ""), "30");

  // Circumstances typed here afterwards go in beside it, and the user is told.
  state.info.exposure = 12.5;
  saved = desktop.Save();
  ASSERT_TRUE(saved.Ok());
  ASSERT_EQ(saved.messages.size(), 1u);
  EXPECT_NE(saved.messages[0].find("User Info"), std::string::npos);
  doc = ReadIniFile(path);
  EXPECT_EQ(IniGetValue(doc, "Satellite Info", "Norad", ""), "43229");
  EXPECT_EQ(IniGetValue(doc, "User Info", "Exposition", ""), "12.5");

  // Another frame of the same name took the file: this frame's values go to a file of their own.
  WriteFile(dir.path() / "b" / "IMG_0001.jpg", "pixels");
  IniSetValue(doc, "User Info", "FileName", (dir.path() / "b" / "IMG_0001.jpg").string());
  ASSERT_TRUE(WriteIniFile(path, doc));
  const std::string taken = ReadFile(path);
  ASSERT_TRUE(desktop.Save().Ok());
  EXPECT_EQ(ReadFile(path), taken);
  EXPECT_NE(state.infoFilePath, path);
  EXPECT_EQ(IniGetValue(ReadIniFile(state.infoFilePath), "User Info", "Exposition", ""), "12.5");
}
