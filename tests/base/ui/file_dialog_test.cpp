// Filters of the open-file dialog as Qt's dialog applies them on a case-sensitive file system.
#include "base/ui/file_dialog.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>

namespace {

// What Qt's dialog does with a filter: the text in the last parentheses, split at blanks, each a
// wildcard matched with letter case (as on Linux).
bool DialogShows(const QString& filter, const QString& fileName) {
  const QRegularExpression group("^(.*)\\(([^()]*)\\)$");
  const QRegularExpressionMatch match = group.match(filter);
  const QString patterns = match.hasMatch() ? match.captured(2) : filter;
  for (const QString& pattern : patterns.split(' ', Qt::SkipEmptyParts)) {
    const QRegularExpression wildcard(QRegularExpression::wildcardToRegularExpression(pattern));
    if (wildcard.match(fileName).hasMatch()) return true;
  }
  return false;
}

TEST(QtNameFilter, FrameAndTextFiltersShowTheirFilesInEitherLetterCase) {
  const QString frames = QtNameFilter(QStringLiteral("jpg, bmp (*.jpg;*jpeg;*.bmp)"));
  EXPECT_TRUE(frames.startsWith(QStringLiteral("jpg, bmp (")));
  for (const char* name : {"IMG_0123.JPG", "frame.jpg", "my.frame.jpeg", "scan.BMP", "x.JPEG"})
    EXPECT_TRUE(DialogShows(frames, name)) << name;
  for (const char* name : {"frame.png", "notes.txt", "jpg"}) EXPECT_FALSE(DialogShows(frames, name)) << name;

  const QString texts = QtNameFilter(QStringLiteral("txt(*.txt)"));
  EXPECT_TRUE(DialogShows(texts, "IMG_0123_2012-04-23_21-07.txt"));
  EXPECT_TRUE(DialogShows(texts, "SSR.TXT"));
  EXPECT_FALSE(DialogShows(texts, "frame.jpg"));

  // "*.*" is every file, also one without any point in its name.
  const QString all = QtNameFilter(QStringLiteral("*.*"));
  for (const char* name : {"vislist", "vislist.txt", "a.b.c"}) EXPECT_TRUE(DialogShows(all, name)) << name;
}

TEST(ChooseOpenFile, ReturnsThePathWithoutSurroundingBlanks) {
  SetFileDialogInterceptor(
      [](const QString&, const QString&, const QString&) { return QStringLiteral("  /a/b c.jpg \t"); });
  EXPECT_EQ(ChooseOpenFile(nullptr, "t", "/", "*.*"), QStringLiteral("/a/b c.jpg"));
  SetFileDialogInterceptor([](const QString&, const QString&, const QString&) { return QStringLiteral("   "); });
  EXPECT_TRUE(ChooseOpenFile(nullptr, "t", "/", "*.*").isEmpty());
  SetFileDialogInterceptor({});
}

}  // namespace
