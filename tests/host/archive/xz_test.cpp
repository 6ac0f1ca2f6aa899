#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "archive_builder.h"
#include "archive_fixtures.h"
#include "host/archive/archive.h"
#include "host/archive/checksum.h"

using archive_fixtures::fixture;
using host::archive::xz_decompress;
using testing_support::Bytes;
using testing_support::StoredXz;

namespace {

struct Decoded {
  bool ok;
  Bytes out;
  std::string error;
};

Decoded decode(const Bytes& in) {
  Decoded d;
  d.ok = xz_decompress(in, d.out, d.error);
  return d;
}

// Each failure must be reported with a reason and no output.
void expect_failure(const Bytes& in, const std::string& what) {
  const Decoded d = decode(in);
  EXPECT_FALSE(d.ok) << what;
  EXPECT_FALSE(d.error.empty()) << what;
  EXPECT_TRUE(d.out.empty()) << what;
}

std::string hex(const unsigned char* digest, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text += digits[digest[i] >> 4];
    text += digits[digest[i] & 15];
  }
  return text;
}

}  // namespace

TEST(XzChecksums, MatchPublishedValues) {
  const std::string text = "123456789";
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  EXPECT_EQ(host::archive::crc32_update(0, p, text.size()), 0xCBF43926u);
  EXPECT_EQ(host::archive::crc64_update(0, p, text.size()), 0x995DC9BBDF1939FAull);
  // Incremental use gives the same value as one call.
  EXPECT_EQ(host::archive::crc32_update(host::archive::crc32_update(0, p, 4), p + 4, 5),
            0xCBF43926u);

  unsigned char digest[32];
  host::archive::Sha256 empty;
  empty.finish(digest);
  EXPECT_EQ(hex(digest, 32), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  // 56 bytes: the padding spills into a second block.
  const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  host::archive::Sha256 sha;
  sha.update(reinterpret_cast<const unsigned char*>(two_blocks.data()), 20);
  sha.update(reinterpret_cast<const unsigned char*>(two_blocks.data()) + 20,
             two_blocks.size() - 20);
  sha.finish(digest);
  EXPECT_EQ(hex(digest, 32), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(XzDecode, ReproducesDataFromTheRealTool) {
  const Bytes mixed = fixture("mixed.bin");
  const Bytes text = fixture("text.bin");
  ASSERT_GT(mixed.size(), 1000000u);
  const std::vector<std::pair<std::string, const Bytes*>> cases = {
      {"mixed-0.xz", &mixed},      {"mixed-6.xz", &mixed},         {"mixed-9e.xz", &mixed},
      {"mixed-blocks.xz", &mixed}, {"mixed-lc0lp2pb0.xz", &mixed}, {"mixed-lc4pb4.xz", &mixed},
      {"mixed-lp4.xz", &mixed},    {"mixed-dict4k.xz", &mixed},    {"mixed-delta.xz", &mixed},
      {"text-none.xz", &text},     {"text-crc32.xz", &text},       {"text-crc64.xz", &text},
      {"text-sha256.xz", &text},   {"text-bigdict.xz", &text},
  };
  for (const auto& c : cases) {
    const Decoded d = decode(fixture(c.first));
    EXPECT_TRUE(d.ok) << c.first << ": " << d.error;
    EXPECT_TRUE(d.out == *c.second) << c.first << " decoded to different bytes";
  }
  const Decoded zeros = decode(fixture("zeros.xz"));
  EXPECT_TRUE(zeros.ok && zeros.out == fixture("zeros.bin")) << zeros.error;
  const Decoded random = decode(fixture("random.xz"));
  EXPECT_TRUE(random.ok && random.out == fixture("random.bin")) << random.error;
  const Decoded empty = decode(fixture("empty.xz"));
  EXPECT_TRUE(empty.ok && empty.out.empty()) << empty.error;
}

TEST(XzDecode, ConcatenatedStreamsAndStreamPadding) {
  const Bytes expected = fixture("multi.bin");
  const Decoded plain = decode(fixture("multi.xz"));
  EXPECT_TRUE(plain.ok && plain.out == expected) << plain.error;
  const Decoded padded = decode(fixture("multi-padded.xz"));
  EXPECT_TRUE(padded.ok && padded.out == expected) << padded.error;
  // Padding must come in groups of four zero bytes.
  expect_failure(fixture("bad-padding.xz"), "3 bytes of stream padding");
  Bytes garbage = fixture("text-crc32.xz");
  garbage.insert(garbage.end(), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  expect_failure(garbage, "garbage after the stream");
  expect_failure(Bytes(), "empty input");
  expect_failure(testing_support::to_bytes("plain text, not xz"), "no magic");
}

TEST(XzDecode, RejectsFiltersItCannotDecode) {
  const Decoded d = decode(fixture("text-x86.xz"));
  EXPECT_FALSE(d.ok);
  EXPECT_NE(d.error.find("unsupported filter"), std::string::npos) << d.error;
  EXPECT_NE(d.error.find("BCJ"), std::string::npos) << d.error;
}

TEST(XzDecode, EveryFlippedByteIsDetected) {
  for (const char* name : {"small-crc32.xz", "small-blocks-crc64.xz", "small-sha256.xz"}) {
    const Bytes good = fixture(name);
    ASSERT_FALSE(good.empty()) << name;
    ASSERT_TRUE(decode(good).ok) << name;
    for (std::size_t i = 0; i < good.size(); ++i) {
      for (unsigned char mask : {0x01, 0x80}) {
        Bytes bad = good;
        bad[i] ^= mask;
        expect_failure(bad, std::string(name) + " with byte " + std::to_string(i) + " flipped");
      }
    }
  }
}

TEST(XzDecode, EveryTruncationIsDetected) {
  for (const char* name : {"small-crc32.xz", "small-blocks-crc64.xz"}) {
    const Bytes good = fixture(name);
    for (std::size_t len = 0; len < good.size(); ++len) {
      expect_failure(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len)),
                     std::string(name) + " cut to " + std::to_string(len) + " bytes");
    }
  }
  // A large archive cut inside its compressed data.
  const Bytes big = fixture("mixed-6.xz");
  for (std::size_t len : {big.size() / 3, big.size() / 2, big.size() - 20}) {
    expect_failure(Bytes(big.begin(), big.begin() + static_cast<std::ptrdiff_t>(len)),
                   "mixed-6.xz cut to " + std::to_string(len));
  }
}

// Damaged LZMA data in a stream without a check: the decoder has only its
// own consistency checks to go on and must never misbehave.
TEST(XzDecode, RandomDamageWithoutCheckFailsCleanly) {
  const Bytes good = fixture("text-none.xz");
  std::mt19937 rng(12345);
  int failures = 0;
  for (int round = 0; round < 300; ++round) {
    Bytes bad = good;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) {
      // Keep away from the stream header so the LZMA data is exercised.
      bad[24 + rng() % (bad.size() - 24 - 64)] ^= static_cast<unsigned char>(1 + rng() % 255);
    }
    const Decoded d = decode(bad);
    if (!d.ok) {
      ++failures;
      EXPECT_FALSE(d.error.empty());
      EXPECT_TRUE(d.out.empty());
    }
  }
  // Nearly every damaged stream is caught by the range coder's end checks
  // and the index sizes even without a check value.
  EXPECT_GT(failures, 250);
}

TEST(XzDecode, HandMadeStreams) {
  const Bytes payload = testing_support::to_bytes(std::string(70000, 'a') + "tail");
  const Decoded stored = decode(StoredXz().build(payload));
  ASSERT_TRUE(stored.ok) << stored.error;
  EXPECT_TRUE(stored.out == payload);

  StoredXz sized;
  sized.declare_uncompressed = true;
  const Decoded declared = decode(sized.build(payload));
  EXPECT_TRUE(declared.ok) << declared.error;

  // The largest dictionary the format allows costs nothing for small data.
  StoredXz huge_dict;
  huge_dict.dict_props = 40;
  const Decoded huge = decode(huge_dict.build(payload));
  EXPECT_TRUE(huge.ok && huge.out == payload) << huge.error;

  struct Broken {
    const char* what;
    StoredXz xz;
  };
  std::vector<Broken> broken(8);
  broken[0] = {"invalid dictionary size", StoredXz()};
  broken[0].xz.dict_props = 41;
  broken[1] = {"first chunk without dictionary reset", StoredXz()};
  broken[1].xz.first_control = 0x02;
  broken[2] = {"invalid control byte", StoredXz()};
  broken[2].xz.first_control = 0x03;
  broken[3] = {"index record count", StoredXz()};
  broken[3].xz.index_count_adjust = 1;
  broken[4] = {"index uncompressed size", StoredXz()};
  broken[4].xz.index_size_adjust = 1;
  broken[5] = {"declared uncompressed size too small", StoredXz()};
  broken[5].xz.declare_uncompressed = true;
  broken[5].xz.declared_uncompressed_adjust = static_cast<std::uint64_t>(-1);
  broken[6] = {"declared uncompressed size too large", StoredXz()};
  broken[6].xz.declare_uncompressed = true;
  broken[6].xz.declared_uncompressed_adjust = 1;
  broken[7] = {"unsupported check type", StoredXz()};
  broken[7].xz.check_type = 2;
  for (const Broken& b : broken) expect_failure(b.xz.build(payload), b.what);

  const Decoded index = decode(broken[3].xz.build(payload));
  EXPECT_NE(index.error.find("index"), std::string::npos) << index.error;
}
