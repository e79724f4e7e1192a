// The places file read back after writing (names with quotes and commas included), files written by
// earlier versions, the limits that make a file unusable, the list line and the degrees-minutes-seconds
// split and join at their carries.

#include "frameinfo/places.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "test_paths.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(Places, FileRoundTripKeepsEveryField) {
  TempDir dir;
  const std::vector<ObserverSite> sites = {
      {"Москва", 37.617, 55.756, 1234}, {"Дача \"Заря\", у реки", -30.5, -10.25, 0}, {"\"", 0.000125, 89.99999, -5}};
  ASSERT_TRUE(SavePlaces(dir.appDir(), sites));
  const std::string text = ReadFile(PlacesFileName(dir.appDir()));
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), "\"Москва\",37.617,55.756,1234\r\n");
  const PlacesLoad load = LoadPlaces(dir.appDir());
  ASSERT_TRUE(load.ok);
  ASSERT_EQ(load.sites.size(), 3u);
  for (std::size_t i = 0; i < sites.size(); ++i) {
    EXPECT_EQ(load.sites[i].name, sites[i].name);
    EXPECT_EQ(load.sites[i].longitude, sites[i].longitude);
    EXPECT_EQ(load.sites[i].latitude, sites[i].latitude);
    EXPECT_EQ(load.sites[i].code, sites[i].code);
  }
}

TEST(Places, UnwritableFolderGivesTheSystemsReason) {
  TempDir dir;
  WriteFile(dir.path() / "program_files", "a file where the folder should be");
  const WriteResult saved = SavePlaces(dir.appDir(), {{"Москва", 37.617, 55.756, 1234}});
  ASSERT_FALSE(saved);
  EXPECT_EQ(saved.reason, std::generic_category().message(ENOTDIR));
  const std::string path = PlacesFileName(dir.appDir());
  EXPECT_EQ(PlacesSaveError(path, saved.reason), "Не удалось записать файл списка мест наблюдения " + path + ": " +
                                                     saved.reason +
                                                     ". Новое место не сохранено, прежний список не изменён");
}

TEST(Places, EarlierFilesReadAsWritten) {
  // Records as the earlier program wrote them, LF or CR LF, blanks after commas, a final blank line.
  const PlacesLoad load = ParsePlaces("\"Obs 1\",37.617,55.756,1234\r\n\"Obs 2\", -.5, 10.25, 7\n\r\n");
  ASSERT_TRUE(load.ok);
  ASSERT_EQ(load.sites.size(), 2u);
  EXPECT_EQ(load.sites[1].name, "Obs 2");
  EXPECT_EQ(load.sites[1].longitude, -0.5);
  EXPECT_EQ(load.sites[1].latitude, 10.25);
  EXPECT_EQ(load.sites[1].code, 7);
  TempDir dir;
  EXPECT_TRUE(LoadPlaces(dir.appDir()).ok);  // no file: an empty list, no error
  EXPECT_TRUE(LoadPlaces(dir.appDir()).sites.empty());
}

TEST(Places, HeightIsAFifthFieldWrittenOnlyAboveSeaLevel) {
  TempDir dir;
  ASSERT_TRUE(SavePlaces(dir.appDir(), {{"Гора", 41.44, 43.6467, 115, 2070.5}, {"Берег", 1, 2, 3, 0.0}}));
  // The place at sea level keeps the four fields an earlier reader takes.
  EXPECT_EQ(ReadFile(PlacesFileName(dir.appDir())), "\"Гора\",41.44,43.6467,115,2070.5\r\n\"Берег\",1,2,3\r\n");
  EXPECT_EQ(LoadPlaces(dir.appDir()).sites.at(0).heightM, 2070.5);
  EXPECT_EQ(PlaceListLine(LoadPlaces(dir.appDir()).sites.at(0)),
            "Гора    41.440° E   43.647° N   Код=115   Высота=2071 м");
  EXPECT_EQ(ParsePlaces("\"Obs\",1,2,3,12000\r\n").problems,
            std::vector<std::string>{"строка 1: Высота места 12000 м вне пределов -500..9000 м"});
}

TEST(Places, UnusableFilesAreErrors) {
  for (const char* text :
       {"", "\r\n", "\"Obs\",1,2\r\n", "\"Obs\",1,2,3,4,5\r\n", "\"Obs,1,2,3\r\n", "\"Obs\",x,2,3\r\n",
        "\"Obs\",1,2,40000\r\n", "\"Obs\",500,2,3\r\n", "\"Obs\",1,-200,3\r\n"}) {
    const PlacesLoad load = ParsePlaces(text);
    EXPECT_FALSE(load.ok) << text;
    EXPECT_TRUE(load.sites.empty());
  }
  std::string many;
  for (int i = 0; i < kMaxPlaces; ++i) many += "\"P" + std::to_string(i) + "\",1,2,3\r\n";
  EXPECT_EQ(ParsePlaces(many).sites.size(), 255u);
  const PlacesLoad tooMany = ParsePlaces(many + "\"One more\",1,2,3\r\n");
  EXPECT_EQ(tooMany.sites.size(), 255u);  // the first 255 still load; the rest is reported
  EXPECT_EQ(tooMany.problems, std::vector<std::string>{"строка 256: больше 255 мест не загружается"});
}

TEST(Places, OneBadLineHidesNoPlaceAndAddingKeepsEveryLine) {
  TempDir dir;
  const std::string path = PlacesFileName(dir.appDir());
  const std::string old =
      "\"Москва\",37.617,55.756,1234\r\n\"Дача\",500,55,7\r\n\"Obs\",x,1,2\r\n\"Юг\",30.5,-200,0\r\n"
      "\"Пулково\",30.326,59.772,84\r\n";
  WriteFile(path, old);
  const PlacesLoad load = LoadPlaces(dir.appDir());
  ASSERT_TRUE(load.ok);
  ASSERT_EQ(load.sites.size(), 2u);
  EXPECT_EQ(load.sites[1].name, "Пулково");
  const std::vector<std::string> problems = {"Файл " + path + ", строка 2: долгота 500 вне пределов -180..360",
                                             "Файл " + path + ", строка 3: поле «долгота» = «x» не число",
                                             "Файл " + path + ", строка 4: широта -200 вне пределов -90..90"};
  EXPECT_EQ(load.problems, problems);
  EXPECT_EQ(PlacesLoadMessage(load),
            std::string(kPlacesFileError) + "\n" + problems[0] + "\n" + problems[1] + "\n" + problems[2]);

  // Adding a place to the readable ones keeps the unreadable lines as they stand.
  std::vector<ObserverSite> sites = load.sites;
  sites.push_back({"Новое", -30.5, -10.25, 5});
  ASSERT_TRUE(SavePlaces(dir.appDir(), sites));
  EXPECT_EQ(ReadFile(path), old + "\"Новое\",-30.5,-10.25,5\r\n");
  // A caller that lost the list (an unreadable file shown empty) still adds without losing a line.
  ASSERT_TRUE(SavePlaces(dir.appDir(), {{"Ещё", 1, 2, 3}}));
  // A place outside the ranges is not stored; every line stays.
  const WriteResult refused = SavePlaces(dir.appDir(), {{"Далеко", 500, 0, 1}});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.reason, "место «Далеко»: долгота 500 вне пределов -180..360");
  EXPECT_EQ(ReadFile(path), old + "\"Новое\",-30.5,-10.25,5\r\n\"Ещё\",1,2,3\r\n");
}

TEST(Places, AFileThatCannotBeReadIsNeverReplaced) {
  TempDir dir;
  const std::filesystem::path path = PlacesFileName(dir.appDir());
  std::filesystem::create_directories(path);  // a folder where the file should be
  const PlacesLoad load = LoadPlaces(dir.appDir());
  EXPECT_FALSE(load.ok);
  ASSERT_EQ(load.problems.size(), 1u);
  EXPECT_EQ(load.problems[0], "Файл " + path.string() + " не читается");
  const WriteResult saved = SavePlaces(dir.appDir(), {{"Москва", 37.617, 55.756, 1234}});
  ASSERT_FALSE(saved);
  EXPECT_EQ(saved.reason, "файл не читается");
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(Places, ListLineShowsMagnitudesWithHemispheres) {
  EXPECT_EQ(PlaceListLine({"Obs", -30.5, -10.25, 12}), "Obs    30.500° W   10.250° S   Код=12");
  EXPECT_EQ(PlaceListLine({"Obs", 137.6174, 5.0, 0}), "Obs    137.617° E   05.000° N   Код=0");
}

TEST(Places, DmsSplitAndJoinCarry) {
  DmsParts p = SplitDms(55.75);
  EXPECT_EQ(p.degrees, 55);
  EXPECT_EQ(p.minutes, 45);
  EXPECT_EQ(p.seconds, 0.0);
  p = SplitDms(-37.617);  // 37 deg 37' 1.2"
  EXPECT_EQ(p.degrees, 37);
  EXPECT_EQ(p.minutes, 37);
  EXPECT_DOUBLE_EQ(p.seconds, 1.2);
  p = SplitDms(10.0 + 59.0 / 60 + 59.97 / 3600);  // 59.97" is truncated to 59.9", not rounded up
  EXPECT_EQ(p.minutes, 59);
  EXPECT_DOUBLE_EQ(p.seconds, 59.9);
  p = SplitDms(12.9999999);  // 59' 59.99964": truncation keeps it below 13 deg
  EXPECT_EQ(p.degrees, 12);
  EXPECT_EQ(p.minutes, 59);
  EXPECT_DOUBLE_EQ(p.seconds, 59.9);
  EXPECT_DOUBLE_EQ(JoinDms(37, 37, 1.2), 37.617);
  EXPECT_DOUBLE_EQ(JoinDms(-10, 29.5, -36), 10.0 + 30.0 / 60 + 0.01);  // magnitudes; 29.5 rounds to even 30
}

}  // namespace
