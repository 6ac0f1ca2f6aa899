#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "archive_fixtures.h"
#include "files.h"
#include "host/archive/archive.h"
#include "scratch_dir.h"

using archive_fixtures::fixture;
using archive_fixtures::fixture_dir;
using host::archive::Result;
using host::archive::unpack;
using testing::Contains;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;
using testing::StartsWith;
using testing_support::Bytes;
using testing_support::list_tree;
using testing_support::read_file;
using testing_support::same_contents;
using testing_support::ScratchDir;
using testing_support::TarBuilder;
using testing_support::to_bytes;

namespace {

Result unpack_bytes(const ScratchDir& dir, const Bytes& archive, const std::string& dest) {
  const std::string path = dir.file("archive.tar");
  testing_support::write_file(path, archive);
  return unpack(path, dir.file(dest));
}

const std::string kLongDir = "ispell-w32/" + std::string(95, 'd');
const std::string kLongName = "ispell-w32/dic/" + std::string(120, 'n') + ".txt";

}  // namespace

TEST(Unpack, ArchivesFromTheRealTarInEveryFormat) {
  const std::string tree = fixture_dir() + "tree/";
  for (const char* format : {"ustar", "gnu", "pax"}) {
    SCOPED_TRACE(format);
    ScratchDir dir("archive");
    const Result r = unpack(fixture_dir() + "tree-" + format + ".tar.xz", dir.file("out/nested"));
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_THAT(r.refused, IsEmpty());
    const std::string out = dir.file("out/nested/");
    for (const char* file : {"ispell-w32/bin/ispell.exe", "ispell-w32/dic/english.hash"}) {
      EXPECT_TRUE(same_contents(out + file, tree + file));
      EXPECT_THAT(r.written, Contains(file));
    }
    // The hard link becomes a copy of the file it names.
    EXPECT_TRUE(same_contents(out + "ispell-w32/dic/english-link.hash",
                              tree + "ispell-w32/dic/english.hash"));
    EXPECT_THAT(r.written, Contains("ispell-w32/empty"));
    EXPECT_THAT(list_tree(out), Contains("ispell-w32/empty"));
    // ustar keeps this path in its prefix field, gnu in a long-name header, pax in "path".
    // Compared with the texts make_fixtures.sh wrote: in a deep build tree the fixture's own
    // copies lie beyond the 260-character path limit.
    EXPECT_EQ("short name under a long directory\n", read_file(out + kLongDir + "/f.txt"));
    if (std::string(format) != "ustar") {
      EXPECT_EQ("long name\n", read_file(out + kLongName));
      EXPECT_THAT(r.written, Contains(kLongName));
    }
    EXPECT_THAT(r.skipped, Contains(HasSubstr("ispell-symlink")));
    EXPECT_THAT(list_tree(out), Not(Contains("ispell-w32/dic/ispell-symlink")));
  }
}

TEST(Unpack, PlainTarAndUnknownFiles) {
  ScratchDir dir("archive");
  // The host is handed directories with a trailing separator ("...\\ispell\\").
#ifdef _WIN32
  const std::string dest = dir.file("tar\\");
#else
  const std::string dest = dir.file("tar/");
#endif
  const Result tar = unpack(fixture_dir() + "tree-ustar.tar", dest);
  EXPECT_TRUE(tar.ok) << tar.error;
  EXPECT_TRUE(
      same_contents(dir.file("tar/ispell-w32/bin/ispell.exe"), fixture_dir() + "mixed.bin"));

  const Result text = unpack(fixture_dir() + "text.bin", dir.file("text"));
  EXPECT_FALSE(text.ok);
  EXPECT_THAT(text.error, HasSubstr("not a .tar.xz or tar archive"));
  const Result missing = unpack(dir.file("no-such.tar.xz"), dir.file("missing"));
  EXPECT_FALSE(missing.ok);
  EXPECT_FALSE(missing.error.empty());
  // Compressed data that is not a tar archive.
  const Result not_tar = unpack(fixture_dir() + "text-crc32.xz", dir.file("not-tar"));
  EXPECT_FALSE(not_tar.ok);
  EXPECT_THAT(not_tar.error, HasSubstr("checksum"));
}

// The archive is verified before anything is written, so damage anywhere,
// even in the last block's check, leaves the destination untouched.
TEST(Unpack, DamagedArchiveWritesNothing) {
  const Bytes good = fixture("tree-gnu.tar.xz");
  ASSERT_GT(good.size(), 1000u);
  std::vector<Bytes> damaged;
  for (std::size_t i = 0; i < 12; ++i) {
    Bytes bad = good;
    bad[(i * 6151 + 7) % good.size()] ^= 0x10;
    damaged.push_back(bad);
  }
  Bytes bad_check = good;
  bad_check[good.size() - 12 - 12] ^= 0x01;  // inside the check, before index and footer
  damaged.push_back(bad_check);
  for (std::size_t len : {good.size() / 4, good.size() / 2, good.size() - 1, good.size() - 30}) {
    damaged.push_back(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len)));
  }
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    ScratchDir dir("archive");
    const Result r = unpack_bytes(dir, damaged[i], "out");
    EXPECT_FALSE(r.ok) << "case " << i;
    EXPECT_FALSE(r.error.empty()) << "case " << i;
    EXPECT_THAT(r.written, IsEmpty()) << "case " << i;
    EXPECT_THAT(list_tree(dir.path()), testing::ElementsAre("archive.tar")) << "case " << i;
  }
}

TEST(Unpack, RefusesEntriesThatWouldLeaveTheDestination) {
  TarBuilder::Options symlink;
  symlink.type = '2';
  TarBuilder::Options hardlink;
  hardlink.type = '1';
  TarBuilder tar;
  tar.add("good.txt", "good")
      .add("/abs.txt", "x")
      .add("\\win.txt", "x")
      .add("../x.txt", "x")
      .add("a/../../x.txt", "x")
      .add("a\\..\\..\\y.txt", "x")
      .add("C:x.txt", "x")
      .add("dir/C:\\z.txt", "x")
      .add("file.txt:stream", "x")
      .add("dots.../x", "x")
      .add("nul.txt", "x")
      .add("sub/COM1", "x");
  symlink.link = "/etc";
  tar.add("etc-link", "", symlink);
  symlink.link = "../..";
  tar.add("sub/up-link", "", symlink);
  symlink.link = "../good.txt";
  tar.add("sub/inside-link", "", symlink);
  hardlink.link = "../x.txt";
  tar.add("hard-out", "", hardlink);
  hardlink.link = "missing.txt";
  tar.add("hard-missing", "", hardlink);
  tar.add("after.txt", "still unpacked");

  // Both as a plain tar and wrapped in xz.
  const Bytes plain = tar.finish();
  for (const Bytes& archive : {plain, testing_support::StoredXz().build(plain)}) {
    ScratchDir dir("archive");
    const Result r = unpack_bytes(dir, archive, "dest");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.written, (std::vector<std::string>{"good.txt", "after.txt"}));
    EXPECT_EQ(r.refused.size(), 15u);
    for (const char* name :
         {"/abs.txt", "\\win.txt", "../x.txt", "a/../../x.txt", "a\\..\\..\\y.txt", "C:x.txt",
          "dir/C:\\z.txt", "file.txt:stream", "dots.../x", "nul.txt", "sub/COM1", "etc-link",
          "sub/up-link", "hard-out", "hard-missing"}) {
      EXPECT_THAT(r.refused, Contains(StartsWith(std::string(name) + ": ")));
    }
    EXPECT_THAT(r.refused, Contains("/abs.txt: absolute path"));
    EXPECT_THAT(r.refused, Contains("../x.txt: parent directory reference"));
    EXPECT_THAT(r.skipped, testing::ElementsAre("sub/inside-link: symbolic link not created"));
    // Nothing outside dest, and inside it only the two good files.
    EXPECT_THAT(list_tree(dir.path()),
                testing::ElementsAre("archive.tar", "dest", "dest/after.txt", "dest/good.txt"));
  }
}

TEST(TarParsing, HeaderVariants) {
  ScratchDir dir("archive");
  TarBuilder::Options base256;
  base256.base256_size = true;
  TarBuilder::Options prefixed;
  prefixed.prefix = "p/q";
  TarBuilder::Options gnu_long;
  gnu_long.type = 'L';
  TarBuilder::Options contiguous;
  contiguous.type = '7';
  TarBuilder::Options zero_size;  // the pax size must win over this
  zero_size.size = 0;
  TarBuilder::Options old_regular;
  old_regular.type = '\0';
  const std::string long_name = "long/" + std::string(150, 'x');
  const Result r = unpack_bytes(dir,
                                TarBuilder()
                                    .add("b256.txt", "base-256 size", base256)
                                    .add("name.txt", "prefixed", prefixed)
                                    .add("././@LongLink", long_name + '\0', gnu_long)
                                    .add("truncated-name", "gnu long name")
                                    .pax("18 path=pax/p.txt\n9 size=3\n")
                                    .add("ignored-name", "abc", zero_size)
                                    .add("seven.txt", "contiguous", contiguous)
                                    .add("nul-type.txt", "old regular", old_regular)
                                    .dir("d/e/")
                                    .finish(),
                                "out");
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.written, (std::vector<std::string>{"b256.txt", "p/q/name.txt", long_name, "pax/p.txt",
                                                 "seven.txt", "nul-type.txt", "d/e"}));
  EXPECT_EQ(read_file(dir.file("out/b256.txt")), "base-256 size");
  EXPECT_EQ(read_file(dir.file("out/" + long_name)), "gnu long name");
  EXPECT_EQ(read_file(dir.file("out/pax/p.txt")), "abc");
}

TEST(TarParsing, EndMarkerChecksumAndTypes) {
  ScratchDir dir("archive");
  const TarBuilder one = TarBuilder().add("a.txt", "a");
  // A single zero block before the end of the data is accepted; none is not.
  EXPECT_TRUE(unpack_bytes(dir, one.finish(1), "lone").ok);
  const Result no_end = unpack_bytes(dir, one.finish(0), "no-end");
  EXPECT_FALSE(no_end.ok);
  EXPECT_THAT(no_end.error, HasSubstr("end-of-archive"));
  EXPECT_THAT(list_tree(dir.path()), Not(Contains("no-end")));

  TarBuilder::Options bad;
  bad.break_checksum = true;
  const Result checksum =
      unpack_bytes(dir, TarBuilder().add("a.txt", "a").add("b.txt", "b", bad).finish(), "sum");
  EXPECT_FALSE(checksum.ok);
  EXPECT_THAT(checksum.error, HasSubstr("checksum"));

  // Data shorter than the size field says.
  TarBuilder::Options oversized;
  oversized.size = 4096;
  const Result short_data = unpack_bytes(
      dir, TarBuilder().add("a.txt", "a", oversized).raw(std::string(512, 'z')).finish(0), "short");
  EXPECT_FALSE(short_data.ok);
  EXPECT_FALSE(short_data.error.empty());

  TarBuilder::Options fifo;
  fifo.type = '6';
  TarBuilder::Options sparse;
  sparse.type = 'S';
  const Result types = unpack_bytes(
      dir,
      TarBuilder().add("fifo", "", fifo).add("sparse", "data", sparse).add("z.txt", "z").finish(),
      "types");
  EXPECT_FALSE(types.ok);
  EXPECT_TRUE(types.error.empty());
  EXPECT_EQ(types.refused, std::vector<std::string>{"sparse: unsupported entry type 'S'"});
  EXPECT_EQ(types.skipped, std::vector<std::string>{"fifo: device or FIFO not created"});
  EXPECT_EQ(types.written, std::vector<std::string>{"z.txt"});

  const Result bad_pax =
      unpack_bytes(dir, TarBuilder().pax("99 path=x\n").add("a.txt", "a").finish(), "pax");
  EXPECT_FALSE(bad_pax.ok);
  EXPECT_THAT(bad_pax.error, HasSubstr("pax"));
}

namespace {

#ifdef _WIN32
constexpr std::uint32_t kTimeStepNs = 100;  // FILETIME resolution
#else
constexpr std::uint32_t kTimeStepNs = 1;
#endif

void expect_mtime(const std::string& path, std::int64_t seconds, std::uint32_t nanoseconds) {
  std::int64_t got_seconds = 0;
  std::uint32_t got_nanoseconds = 0;
  ASSERT_TRUE(testing_support::file_mtime(path, got_seconds, got_nanoseconds));
  EXPECT_EQ(got_seconds, seconds) << path;
  EXPECT_EQ(got_nanoseconds, nanoseconds / kTimeStepNs * kTimeStepNs) << path;
}

}  // namespace

// The install procedure tells an older installed file from a newer unpacked one by these times.
TEST(Unpack, FilesKeepTheModificationTimesOfTheRealTar) {
  for (const char* format : {"ustar", "gnu", "pax"}) {
    SCOPED_TRACE(format);
    ScratchDir dir("archive");
    const Result r = unpack(fixture_dir() + "timed-" + format + ".tar.xz", dir.file("out"));
    ASSERT_TRUE(r.ok) << r.error;
    // Only pax records carry the fraction of a second.
    const std::uint32_t fraction = std::string(format) == "pax" ? 250000000 : 0;
    expect_mtime(dir.file("out/t/old.txt"), 1000000000, 0);
    expect_mtime(dir.file("out/t/old-link.txt"), 1000000000, 0);
    expect_mtime(dir.file("out/t/new.txt"), 1700000000, fraction);
  }
  // Past the octal field's range the gnu form stores the time in base 256.
  ScratchDir dir("archive");
  const Result far = unpack(fixture_dir() + "timed-far.tar.xz", dir.file("out"));
  ASSERT_TRUE(far.ok) << far.error;
  for (const char* file : {"old.txt", "old-link.txt", "new.txt"}) {
    expect_mtime(dir.file(std::string("out/t/") + file), 10000000000LL, 0);
  }
}

TEST(Unpack, ModificationTimeFieldsAndRecords) {
  TarBuilder::Options octal;
  octal.mtime = 1234567890;
  TarBuilder::Options base256;
  base256.mtime = 1234567891;
  base256.base256_mtime = true;
  TarBuilder::Options header_only;
  header_only.mtime = 42;
  TarBuilder::Options blank;
  blank.mtime = -1;
  TarBuilder::Options link;
  link.type = '1';
  link.link = "octal.txt";
  link.mtime = 1500000000;
  ScratchDir dir("archive");
  const Result r = unpack_bytes(dir,
                                TarBuilder()
                                    .add("octal.txt", "o", octal)
                                    .add("base256.txt", "b", base256)
                                    .pax("30 mtime=1500000000.123456789\n")
                                    .add("fraction.txt", "f", header_only)
                                    .add("after-pax.txt", "a", header_only)
                                    .pax("15 mtime=-1.25\n")
                                    .add("before-1970.txt", "n", header_only)
                                    .pax("15 mtime=12x45\n")
                                    .add("bad-record.txt", "x", header_only)
                                    .add("blank.txt", "z", blank)
                                    .add("link.txt", "", link)
                                    .finish(),
                                "out");
  ASSERT_TRUE(r.ok) << r.error;
  expect_mtime(dir.file("out/octal.txt"), 1234567890, 0);
  expect_mtime(dir.file("out/base256.txt"), 1234567891, 0);
  expect_mtime(dir.file("out/fraction.txt"), 1500000000, 123456789);
  // A pax record applies to the next entry only.
  expect_mtime(dir.file("out/after-pax.txt"), 42, 0);
  expect_mtime(dir.file("out/before-1970.txt"), -2, 750000000);
  // An unreadable record leaves the header's time; a blank field leaves the time of writing.
  expect_mtime(dir.file("out/bad-record.txt"), 42, 0);
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;
  ASSERT_TRUE(testing_support::file_mtime(dir.file("out/blank.txt"), seconds, nanoseconds));
  EXPECT_GT(seconds, 1700000000);
  // The copy made for a hard link takes the link entry's time, the original keeps its own.
  expect_mtime(dir.file("out/link.txt"), 1500000000, 0);
  expect_mtime(dir.file("out/octal.txt"), 1234567890, 0);
}
