#include <gtest/gtest.h>

#include <string_view>
#include <utility>

#include "engine/library/FileCategory.h"

namespace P2P::Shared::File {
namespace {

TEST(FileCategory, TypeWords) {
  const std::pair<std::string_view, int> cases[] = {
      {"Audio", 1}, {"VIDEO", 2}, {"image", 3}, {"Pro", 4},    {"dOC", 5}, {"Arc", 6},
      {"ISO", 7},   {"", 0},      {"All", 0},   {"Audios", 0}, {"Aud", 0}, {"Program", 0}};
  for (const auto& [word, category] : cases)
    EXPECT_EQ(CategoryFromTypeWord(word), category) << word;

  for (int category = 1; category <= 7; ++category)
    EXPECT_EQ(CategoryFromTypeWord(CategoryTypeWord(category)), category);
  EXPECT_EQ(CategoryTypeWord(2), "Video");
  EXPECT_TRUE(CategoryTypeWord(0).empty());
  EXPECT_TRUE(CategoryTypeWord(8).empty());
  EXPECT_TRUE(CategoryTypeWord(-1).empty());
}

TEST(FileCategory, FileNames) {
  const std::pair<std::string_view, int> cases[] = {
      {"movie.MKV", 2}, {"noextension", 0},  {"archive.tar.gz", 6},
      {"song.OGG", 1},  {".mp3", 1},         {"file.", 0},
      {"a.mp3.txt", 5}, {"disc.toast", 7},   {"scan.Tiff", 3},
      {"setup.exe", 4}, {"x.t", 0},          {"x.zipx", 0},
      {"x.669", 1},     {"x.7z", 6},         {"x.zip", 6},
      {"x.xvid", 2},    {"dir.avi/name", 0}, {"name.m\xC3\xA9", 0}};
  for (const auto& [name, category] : cases)
    EXPECT_EQ(CategoryFromFileName(name), category) << name;
}

}  // namespace
}  // namespace P2P::Shared::File
