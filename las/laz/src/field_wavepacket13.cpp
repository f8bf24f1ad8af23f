// Model set-up of the wave-packet codecs; the per-point code is in the header (templates on the
// byte source and sink).
#include "field_wavepacket13.hpp"

namespace laz::detail {

namespace {
// Sizes LASzip gives the wave-packet models: a full byte for the descriptor index, four offset
// kinds, and 32-bit integer compressors (three contexts for the x/y/z direction).
constexpr uint32_t kPacketIndexSymbols = 256;
constexpr uint32_t kOffsetKindSymbols = 4;
constexpr uint32_t kBits = 32;
constexpr uint32_t kXyzContexts = 3;
}  // namespace

WavePacketCoder::WavePacketCoder()
    : packet_index_(kPacketIndexSymbols),
      offset_kind_{ArithmeticModel(kOffsetKindSymbols), ArithmeticModel(kOffsetKindSymbols),
                   ArithmeticModel(kOffsetKindSymbols), ArithmeticModel(kOffsetKindSymbols)},
      offset_delta_(kBits),
      packet_size_(kBits),
      return_point_(kBits),
      xyz_(kBits, kXyzContexts) {}

void WavePacketCoder::reset() {
  packet_index_.init();
  for (auto& model : offset_kind_) model.init();
  offset_delta_.init();
  packet_size_.init();
  return_point_.init();
  xyz_.init();
  last_offset_delta_ = 0;
  last_offset_kind_ = kSameOffset;
}

void WavePacket13V1Decoder::init(const uint8_t* first_item) {
  coder_.reset();
  std::copy_n(first_item, kWavePacketSize, last_.begin());
}

void WavePacket13V1Encoder::init(const uint8_t* first_item) {
  coder_.reset();
  std::copy_n(first_item, kWavePacketSize, last_.begin());
}

}  // namespace laz::detail
