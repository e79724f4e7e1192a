// The EXIF window and the panel's EXIF button, driven through their controls.
#include "frameinfo/ui/frm_exif.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QToolButton>
#include <array>
#include <memory>
#include <vector>

#include "../exif_jpeg_support.h"
#include "session/app_state.h"
#include "test_paths.h"
#include "ui_test_support.h"

namespace {

using namespace testing_support;

// Records every ValuesCopied emission of a window.
struct CopyRecorder {
  explicit CopyRecorder(FrmExif* window) {
    QObject::connect(window, &FrmExif::ValuesCopied, [this](const QString& d, const QString& t, const QString& e) {
      calls.push_back({d, t, e});
    });
  }
  std::vector<std::array<QString, 3>> calls;
};

QString FieldText(QWidget* window, const char* name) {
  auto* field = Find<QLineEdit>(window, name);
  return field ? field->text() : QStringLiteral("<missing>");
}

TEST(FrmExifTest, ShowsTheValuesAndCopiesThem) {
  TempDir dir;
  const auto path = dir.path() / "IMG_0001.JPG";
  WriteFile(path, MakeExampleJpeg(true));
  auto window = std::make_unique<FrmExif>(path.string());
  EXPECT_EQ(window->windowTitle(), "Exif");
  EXPECT_EQ(FieldText(window.get(), "txtDate"), "23.04.2012");
  EXPECT_EQ(FieldText(window.get(), "txtTime"), "21:30:15.500");
  EXPECT_EQ(FieldText(window.get(), "txtExposure"), "1/125");
  EXPECT_EQ(FieldText(window.get(), "txtAperture"), "f/2.8");
  EXPECT_EQ(FieldText(window.get(), "txtSize"), "4000 x 3000");
  EXPECT_EQ(FieldText(window.get(), "txtIso"), "800");

  auto* copy = Find<QToolButton>(window.get(), "ImageCopy");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->toolTip(), "Скопировать значения");
  CopyRecorder spy(window.get());
  copy->click();
  ASSERT_EQ(spy.calls.size(), 1u);
  EXPECT_EQ(spy.calls[0][0], "23.04.2012");
  EXPECT_EQ(spy.calls[0][1], "21:30:15.500");
  EXPECT_EQ(spy.calls[0][2], "0.008");
}

TEST(FrmExifTest, WithoutExifEverythingIsAbsentAndCopyingDoesNothing) {
  TempDir dir;
  const auto path = dir.path() / "plain.jpg";
  WriteFile(path, MakePlainJpeg());
  auto window = std::make_unique<FrmExif>(path.string());
  for (const char* name : {"txtDate", "txtTime", "txtExposure", "txtAperture", "txtSize", "txtIso"}) {
    EXPECT_EQ(FieldText(window.get(), name), "N/A") << name;
  }
  CopyRecorder spy(window.get());
  Find<QToolButton>(window.get(), "ImageCopy")->click();
  EXPECT_TRUE(spy.calls.empty());
}

TEST(FrmExifTest, CopiesOnlyTheKnownValues) {
  TempDir dir;
  const auto path = dir.path() / "exposure_only.jpeg";
  WriteFile(path, MakeExifJpeg(false, {RationalEntry(false, 0x829A, 300, 10)}));
  auto window = std::make_unique<FrmExif>(path.string());
  EXPECT_EQ(FieldText(window.get(), "txtExposure"), "30");
  CopyRecorder spy(window.get());
  Find<QToolButton>(window.get(), "ImageCopy")->click();
  ASSERT_EQ(spy.calls.size(), 1u);
  EXPECT_TRUE(spy.calls[0][0].isEmpty());
  EXPECT_TRUE(spy.calls[0][1].isEmpty());
  EXPECT_EQ(spy.calls[0][2], "30.000");
}

TEST(FrmExifTest, PanelButtonOpensOnlyForJpegFrames) {
  TempDir dir;
  const auto jpeg = dir.path() / "frame.JPEG";
  WriteFile(jpeg, MakeExampleJpeg(false));
  AppState app;
  FrameState frame;
  MessageRecorder recorder;

  app.catalogueReady = false;  // busy: nothing at all
  EXPECT_EQ(OpenExifWindow(app.catalogueReady, frame.frameOpen, frame.imagePath), nullptr);
  EXPECT_TRUE(recorder.messages.empty());

  app.catalogueReady = true;
  EXPECT_EQ(OpenExifWindow(app.catalogueReady, frame.frameOpen, frame.imagePath), nullptr);
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0].text, "Кадр не открыт.");
  EXPECT_EQ(recorder.messages[0].caption, "Сообщение");

  frame.frameOpen = true;
  frame.imagePath = (dir.path() / "frame.bmp").string();
  EXPECT_EQ(OpenExifWindow(app.catalogueReady, frame.frameOpen, frame.imagePath), nullptr);
  ASSERT_EQ(recorder.messages.size(), 2u);
  EXPECT_EQ(recorder.messages[1].text, "Exif только у jpg-файлов");

  frame.imagePath = jpeg.string();
  FrmExif* window = OpenExifWindow(app.catalogueReady, frame.frameOpen, frame.imagePath);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(FieldText(window, "txtIso"), "800");
  EXPECT_EQ(recorder.messages.size(), 2u);
  window->close();  // deletes itself
  ProcessEvents();
}

TEST(FrmExifTest, JpegNamesAreRecognisedByTheExtensionOnly) {
  EXPECT_TRUE(IsJpegName("frame.jpg"));
  EXPECT_TRUE(IsJpegName("/data/my.frame.JPEG"));
  EXPECT_FALSE(IsJpegName("frame.bmp"));
  EXPECT_FALSE(IsJpegName("/data/jobs.d/frame"));
  EXPECT_FALSE(IsJpegName("/data/frame."));
}

}  // namespace
