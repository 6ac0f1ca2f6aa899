// The installation's path helpers against the real (Wine) file system, Shift-JIS names
// included.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install/file_system.h"
#include "support/handles.h"
#include "test_support.h"

using testing_support::file_exists;
using testing_support::is_directory;
using testing_support::ScratchDir;
using testing_support::write_file;

namespace {

// "ソ" and "表" end in the byte 0x5C, the separator's value.
const std::string kSo = "ソ";
const std::string kHyou = "表";

// Names in a directory, without "." and "..", sorted.
std::vector<std::string> names_in(const std::string& directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  const orelib::find_handle find(FindFirstFileA((directory + "*").c_str(), &entry));
  if (!find) return names;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find.get(), &entry));
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> drain(FileFinder& finder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  while (finder.next(entry)) names.push_back(entry.cFileName);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(FileSystem, SourceLiteralsAreShiftJis) {
  ASSERT_EQ(kSo, std::string("\x83\x5C"));
  ASSERT_EQ(kHyou, std::string("\x95\x5C"));
}

// The scratch directories of these tests hold such names: they must go away again.
TEST(FileSystem, RemoveTreeTakesJapaneseNames) {
  ScratchDir root;
  const std::string top = root.file("ab" + kSo + "\\");
  ASSERT_TRUE(CreateDirectoryA(top.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((top + kHyou).c_str(), nullptr));
  write_file(top + kHyou + "\\" + kSo + ".txt", "x");
  testing_support::remove_tree(top);
  EXPECT_FALSE(file_exists(top));
}

TEST(MakeDirectories, CreatesMissingPartsAndKeepsExistingOnes) {
  ScratchDir root;
  CreateDirectoryA(root.file("a").c_str(), nullptr);
  write_file(root.file("a\\keep.txt"), "mine");

  EXPECT_TRUE(make_directories(root.file("a\\b\\c\\").c_str()));
  EXPECT_TRUE(is_directory(root.file("a\\b\\c")));
  EXPECT_EQ(testing_support::read_file(root.file("a\\keep.txt")), "mine");

  // Everything exists now: nothing to do, still a success.
  EXPECT_TRUE(make_directories(root.file("a\\b\\c\\").c_str()));
  EXPECT_EQ(names_in(root.file("a\\b\\")), std::vector<std::string>{"c"});
}

TEST(MakeDirectories, LastComponentOnlyWhenFollowedBySeparator) {
  ScratchDir root;
  EXPECT_TRUE(make_directories(root.file("x\\y").c_str()));
  EXPECT_TRUE(is_directory(root.file("x")));
  EXPECT_FALSE(file_exists(root.file("x\\y")));

  // Doubled final separator (the home directory is passed that way): same as one.
  EXPECT_TRUE(make_directories(root.file("h\\\\").c_str()));
  EXPECT_TRUE(is_directory(root.file("h")));
}

TEST(MakeDirectories, ForwardSlashesSeparateToo) {
  ScratchDir root;
  EXPECT_TRUE(make_directories(root.file("p/q\\r/").c_str()));
  EXPECT_TRUE(is_directory(root.file("p\\q\\r")));
}

TEST(MakeDirectories, TrailByte5CIsNoSeparator) {
  ScratchDir root;
  const std::string first = "ab" + kSo;
  const std::string second = "c" + kHyou;
  const std::string path = root.file(first + "\\" + second + "\\");
  EXPECT_TRUE(make_directories(path.c_str()));
  // Splitting at a trail byte would have made "ab" (or "ab" and a lone lead byte).
  EXPECT_EQ(names_in(root.path()), std::vector<std::string>{first});
  EXPECT_EQ(names_in(root.file(first + "\\")), std::vector<std::string>{second});
  EXPECT_TRUE(is_directory(path));
}

TEST(MakeDirectories, NetworkAndRootedPathsCreateNothing) {
  // The first prefix is empty: the platform neither finds nor creates it.
  EXPECT_FALSE(make_directories("\\\\nohost\\share\\ispell-test\\"));
  const std::string rooted = "\\ispell-make-directories-test\\";
  EXPECT_FALSE(make_directories(rooted.c_str()));
  EXPECT_FALSE(file_exists(rooted));
  EXPECT_FALSE(make_directories(nullptr));
  EXPECT_TRUE(make_directories(""));
}

TEST(MakeDirectories, FileInTheWayFailsAndStaysUntouched) {
  ScratchDir root;
  write_file(root.file("plain"), "data");
  EXPECT_FALSE(make_directories(root.file("plain\\sub\\").c_str()));
  EXPECT_EQ(testing_support::read_file(root.file("plain")), "data");
}

TEST(NormaliseDirectory, SlashesAndFinalSeparator) {
  std::string path = "D:/TeX/dic";
  normalise_directory(path);
  EXPECT_EQ(path, "D:\\TeX\\dic\\");
  normalise_directory(path);
  EXPECT_EQ(path, "D:\\TeX\\dic\\");

  std::string empty;
  normalise_directory(empty);
  EXPECT_EQ(empty, "");

  std::string doubled = "c:\\a\\\\";
  normalise_directory(doubled);
  EXPECT_EQ(doubled, "c:\\a\\\\");  // no other change
}

TEST(NormaliseDirectory, TrailByte5CIsNoFinalSeparator) {
  std::string path = "C:\\" + kSo;
  normalise_directory(path);
  EXPECT_EQ(path, "C:\\" + kSo + "\\");
  normalise_directory(path);
  EXPECT_EQ(path, "C:\\" + kSo + "\\");

  std::string slashed = "c:/" + kHyou + "/" + kSo;
  normalise_directory(slashed);
  EXPECT_EQ(slashed, "c:\\" + kHyou + "\\" + kSo + "\\");
}

TEST(BackslashesToSlashes, KeepsDoubleByteCharacters) {
  EXPECT_EQ(backslashes_to_slashes("D:\\tex\\dic\\"), "D:/tex/dic/");
  EXPECT_EQ(backslashes_to_slashes("C:\\" + kSo + "フト\\" + kHyou + "\\"),
            "C:/" + kSo + "フト/" + kHyou + "/");
  EXPECT_EQ(backslashes_to_slashes(""), "");
  // A lead byte cut off at the end is left as it is.
  EXPECT_EQ(backslashes_to_slashes("a\\\x83"), "a/\x83");
}

TEST(FileFinder, HandsOutEveryEntryButDotAndDotDot) {
  ScratchDir root;
  write_file(root.file("one.exe"), "1");
  write_file(root.file("two.exe"), "2");
  write_file(root.file(".hidden"), "h");
  write_file(root.file("readme.txt"), "r");
  CreateDirectoryA(root.file("sub.exe").c_str(), nullptr);

  FileFinder finder;
  ASSERT_TRUE(finder.open(root.file("*.exe").c_str()));
  EXPECT_EQ(drain(finder), (std::vector<std::string>{"one.exe", "sub.exe", "two.exe"}));

  // After the end, the end stays.
  WIN32_FIND_DATAA entry;
  EXPECT_FALSE(finder.next(entry));
  EXPECT_FALSE(finder.next(entry));

  // Closed, it can be opened again with another pattern.
  finder.close();
  EXPECT_FALSE(finder.next(entry));
  ASSERT_TRUE(finder.open(root.file("*.*").c_str()));
  EXPECT_EQ(drain(finder),
            (std::vector<std::string>{".hidden", "one.exe", "readme.txt", "sub.exe", "two.exe"}));
}

TEST(FileFinder, NothingToHandOutLeavesNoSearchOpen) {
  ScratchDir root;
  FileFinder finder;
  WIN32_FIND_DATAA entry;

  EXPECT_FALSE(finder.open(root.file("*.exe").c_str()));
  EXPECT_FALSE(finder.next(entry));

  // Only "." and "..": no search stays open, so the next open works.
  EXPECT_FALSE(finder.open(root.file("*.*").c_str()));
  EXPECT_FALSE(finder.next(entry));
  write_file(root.file("a.exe"), "a");
  EXPECT_TRUE(finder.open(root.file("*.exe").c_str()));

  EXPECT_FALSE(finder.open(root.file("missing\\*.*").c_str()));  // a search is open already
  EXPECT_FALSE(FileFinder().open(root.file("missing\\*.*").c_str()));
  EXPECT_FALSE(FileFinder().open(nullptr));
}

TEST(FileFinder, SecondOpenLeavesFirstSearchUndisturbed) {
  ScratchDir root;
  CreateDirectoryA(root.file("d").c_str(), nullptr);
  write_file(root.file("a.txt"), "a");
  write_file(root.file("b.txt"), "b");
  write_file(root.file("d\\c.dat"), "c");

  FileFinder finder;
  ASSERT_TRUE(finder.open(root.file("*.txt").c_str()));
  EXPECT_FALSE(finder.open(root.file("d\\*.*").c_str()));
  EXPECT_EQ(drain(finder), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(FileFinder, DoubleBytePatterns) {
  ScratchDir root;
  const std::string directory = root.file(kSo + "フト\\");
  ASSERT_TRUE(make_directories(directory.c_str()));
  write_file(directory + kHyou + ".hash", "x");
  FileFinder finder;
  ASSERT_TRUE(finder.open((directory + "*.*").c_str()));
  EXPECT_EQ(drain(finder), std::vector<std::string>{kHyou + ".hash"});
}
