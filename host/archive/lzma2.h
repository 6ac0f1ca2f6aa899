// LZMA2 decoder: the chunked wrapper around LZMA used as the last filter of
// an xz block. Pull-style: each call produces as much output as asked for or
// up to the end of the LZMA2 data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/archive/source.h"

namespace host::archive {

// The sliding window grows with the data and never beyond this size, so a
// declared dictionary size (up to 4 GiB in the format) costs nothing until
// the data really needs it. Matches reaching further back fail cleanly.
constexpr std::size_t kMaxWindowSize = std::size_t{256} << 20;

class Lzma2Decoder {
 public:
  Lzma2Decoder();
  // Prepares for a new block whose filter declared dict_size.
  void reset(std::uint64_t dict_size);
  // Decodes up to size bytes into out and returns how many were produced.
  // finished becomes true once the end-of-data control byte was consumed.
  // On corrupt or truncated input returns 0 with error set.
  std::size_t decode(ByteReader& in, unsigned char* out, std::size_t size, bool& finished,
                     std::string& error);

  // Decodes the dictionary-size byte of the filter properties; false when invalid.
  static bool dict_size_from_props(unsigned char props, std::uint64_t& dict_size);

 private:
  struct Window {
    std::vector<unsigned char> buf;
    std::size_t limit = 0;  // min(declared dictionary, kMaxWindowSize)
    std::size_t pos = 0;
    bool full = false;
    std::uint64_t total = 0;  // bytes since the last dictionary reset

    void reset() {
      pos = 0;
      full = false;
      total = 0;
    }
    std::size_t filled() const { return full ? limit : pos; }
    void put(unsigned char byte) {
      if (pos == buf.size()) make_room();
      buf[pos++] = byte;
      ++total;
    }
    // Byte dist positions back (1 = the last byte); dist <= filled().
    unsigned char back(std::size_t dist) const {
      return buf[pos >= dist ? pos - dist : pos + buf.size() - dist];
    }
    // Copies the count bytes that end count_back bytes before the end.
    void copy_out(unsigned char* out, std::size_t count_back, std::size_t count) const;
    void make_room();
  };

  struct RangeDecoder {
    const unsigned char* next = nullptr;
    const unsigned char* end = nullptr;
    std::uint32_t range = 0;
    std::uint32_t code = 0;
    bool overrun = false;

    bool init(const unsigned char* data, std::size_t size);
    unsigned char fetch() {
      if (next < end) return *next++;
      overrun = true;
      return 0;
    }
    void normalize() {
      if (range < (1u << 24)) {
        range <<= 8;
        code = (code << 8) | fetch();
      }
    }
    unsigned bit(std::uint16_t& prob);
    unsigned tree(std::uint16_t* probs, int bits);
    unsigned reverse_tree(std::uint16_t* probs, int bits);
    std::uint32_t direct(int bits);
  };

  struct LengthDecoder {
    std::uint16_t choice;
    std::uint16_t choice2;
    std::uint16_t low[16][8];
    std::uint16_t mid[16][8];
    std::uint16_t high[256];
    void reset();
    unsigned decode(RangeDecoder& rc, unsigned pos_state);
  };

  bool start_chunk(ByteReader& in, std::string& error);
  bool set_props(unsigned char props);
  void reset_state();
  // Decodes one literal or match into the window; false on corrupt data.
  bool decode_symbol(std::string& error);
  bool check_distance(std::uint32_t dist, std::string& error) const;

  Window window_;
  RangeDecoder rc_;
  std::vector<unsigned char> packed_;

  bool need_dict_reset_ = true;
  bool need_props_ = true;
  bool in_lzma_chunk_ = false;
  bool end_seen_ = false;
  std::size_t chunk_left_ = 0;   // uncompressed bytes still due from the chunk
  std::size_t pending_out_ = 0;  // newest window bytes not yet handed out

  unsigned lc_ = 0, lp_ = 0, pb_ = 0;
  unsigned state_ = 0;
  std::uint32_t rep_[4] = {0, 0, 0, 0};

  std::uint16_t is_match_[12 << 4];
  std::uint16_t is_rep_[12];
  std::uint16_t is_rep_g0_[12];
  std::uint16_t is_rep_g1_[12];
  std::uint16_t is_rep_g2_[12];
  std::uint16_t is_rep0_long_[12 << 4];
  std::uint16_t pos_slot_[4][64];
  std::uint16_t pos_special_[1 + 128 - 14];
  std::uint16_t align_[16];
  std::uint16_t literal_[0x300 << 4];
  LengthDecoder len_;
  LengthDecoder rep_len_;
};

}  // namespace host::archive
