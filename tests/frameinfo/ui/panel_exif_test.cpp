// The panel's EXIF button on an open frame: refused for a BMP, and for a camera JPEG the EXIF window
// opens and its copy button fills the panel's date, time and exposure.
#include <gtest/gtest.h>

#include <QAction>
#include <QBuffer>
#include <QImage>
#include <QLineEdit>
#include <QToolButton>

#include "../exif_jpeg_support.h"
#include "frameinfo/ui/frm_par.h"
#include "base/ui/file_dialog.h"
#include "desktop/main_window.h"
#include "test_paths.h"
#include "ui_test_support.h"

using testing_support::Find;

namespace {

// A decodable JPEG picture with the worked EXIF example spliced in after its start marker.
std::string CameraJpeg() {
  QImage image(64, 48, QImage::Format_RGB32);
  image.fill(QColor(10, 10, 10));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG");
  const std::string example = testing_support::MakeExampleJpeg(true);
  const std::size_t app1 = example.find("\xFF\xE1");
  const std::size_t length =
      (static_cast<unsigned char>(example[app1 + 2]) << 8) | static_cast<unsigned char>(example[app1 + 3]);
  std::string jpeg(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  jpeg.insert(2, example.substr(app1, length + 2));
  return jpeg;
}

TEST(PanelExif, RefusedForBmpAndCopiedForACameraJpeg) {
  testing_support::TempDir dir;
  testing_support::MessageRecorder recorder;
  testing_support::WriteFile(dir.path() / "bin8.dat", std::string(1200, '\0'));
  MainWindow window(QString::fromStdString(dir.path().string()));
  window.StartUp();
  auto* exifButton = Find<QToolButton>(window.Panel(), "ImageExif");
  exifButton->click();
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Кадр не открыт.")});

  auto open = [&](const std::string& name, const std::string& bytes) {
    const std::string path = (dir.path() / name).string();
    testing_support::WriteFile(path, bytes);
    SetFileDialogInterceptor(
        [path](const QString&, const QString&, const QString&) { return QString::fromStdString(path); });
    window.Action("mnuOpenIm")->trigger();
    SetFileDialogInterceptor({});
  };
  QImage bmp(32, 32, QImage::Format_RGB32);
  bmp.fill(Qt::black);
  bmp.save(QString::fromStdString((dir.path() / "plain.bmp").string()), "BMP");
  open("plain.bmp", testing_support::ReadFile(dir.path() / "plain.bmp"));
  ASSERT_TRUE(window.Frame().frameOpen);
  recorder.Clear();
  exifButton->click();
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Exif только у jpg-файлов")});

  open("camera.JPEG", CameraJpeg());
  ASSERT_TRUE(window.Frame().frameOpen);
  recorder.Clear();
  exifButton->click();
  EXPECT_TRUE(recorder.messages.empty());
  QWidget* exif = window.findChild<QWidget*>("FrmExif");
  ASSERT_NE(exif, nullptr);
  Find<QToolButton>(exif, "ImageCopy")->click();
  EXPECT_EQ(Find<QLineEdit>(window.Panel(), "txtp1")->text(), "23.04.2012");
  EXPECT_TRUE(Find<QLineEdit>(window.Panel(), "txtp2")->text().startsWith("21:30:15"))
      << Find<QLineEdit>(window.Panel(), "txtp2")->text().toStdString();
  EXPECT_FALSE(Find<QLineEdit>(window.Panel(), "txtp4")->text().isEmpty());
  FrameInfo info;
  EXPECT_TRUE(CollectFrameInfo(window.Panel()->Entries(), true, info).ok);
  EXPECT_NEAR(info.exposure, 0.008, 1e-9);  // 10/1250 s
}

}  // namespace
