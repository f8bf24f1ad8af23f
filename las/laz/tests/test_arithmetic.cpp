// Round trips of random symbols, bits, raw bits and integers through the arithmetic encoder
// and decoder, plus the exact bytes the encoder ends a stream with.
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "arithmetic_decoder.hpp"
#include "arithmetic_encoder.hpp"
#include "arithmetic_model.hpp"
#include "byte_streams.hpp"
#include "integer_compressor.hpp"

namespace laz::detail {
namespace {

enum class Op : uint8_t { Symbol, Bit, RawBits, Short, Int, Int64, Integer };

struct Step {
  Op op;
  uint32_t model;  // which model (or raw bit count, or context)
  uint64_t value;
  int32_t pred;
};

// Mixed streams exercise the interaction of the coding operations and carries.
std::vector<Step> make_steps(uint32_t seed, size_t n, uint32_t skew) {
  std::mt19937 engine(seed);
  auto rng = [&engine] { return static_cast<uint32_t>(engine()); };
  std::vector<Step> steps;
  steps.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t which = rng() % 7;
    Step s{static_cast<Op>(which), 0, 0, 0};
    switch (s.op) {
      case Op::Symbol: {
        s.model = rng() % 4;
        const uint32_t symbols = std::array<uint32_t, 4>{2, 16, 256, 2048}[s.model];
        // Skewed distributions make the models adapt, uniform ones stress the carries.
        s.value = skew != 0 && rng() % skew != 0 ? rng() % 3 : rng() % symbols;
        s.value %= symbols;
        break;
      }
      case Op::Bit:
        s.model = rng() % 2;
        s.value = skew != 0 ? (rng() % skew == 0) : (rng() & 1u);
        break;
      case Op::RawBits:
        s.model = 1 + rng() % 32;
        s.value = s.model == 32 ? rng() : rng() & ((1u << s.model) - 1u);
        break;
      case Op::Short:
        s.value = rng() & 0xFFFFu;
        break;
      case Op::Int:
        s.value = rng();
        break;
      case Op::Int64:
        s.value = (static_cast<uint64_t>(rng()) << 32) | rng();
        break;
      case Op::Integer: {
        s.model = rng() % 3;
        s.pred = static_cast<int32_t>(rng());
        const uint32_t spread = rng() % 4;
        const int32_t delta = spread == 0   ? static_cast<int32_t>(rng() % 3) - 1
                              : spread == 1 ? static_cast<int32_t>(rng() % 2001) - 1000
                              : spread == 2 ? static_cast<int32_t>(rng() % 2000001) - 1000000
                                            : static_cast<int32_t>(rng());
        s.value = static_cast<uint32_t>(s.pred) + static_cast<uint32_t>(delta);
        if (s.model == 1) {
          // The 16-bit compressor codes values in [0, 2^16).
          s.pred &= 0xFFFF;
          s.value &= 0xFFFFu;
        }
        break;
      }
    }
    steps.push_back(s);
  }
  return steps;
}

struct Models {
  std::vector<ArithmeticModel> symbols{ArithmeticModel(2), ArithmeticModel(16),
                                       ArithmeticModel(256), ArithmeticModel(2048)};
  std::vector<BitModel> bits{BitModel(), BitModel()};
  std::vector<IntegerCompressor> integers{IntegerCompressor(32, 3), IntegerCompressor(16, 3),
                                          IntegerCompressor(32, 3, 8, 0)};
};

std::vector<uint8_t> encode(const std::vector<Step>& steps) {
  std::vector<uint8_t> out;
  VectorSink sink{&out};
  ArithmeticEncoder<VectorSink> enc(sink);
  Models m;
  for (const Step& s : steps) {
    switch (s.op) {
      case Op::Symbol:
        enc.encode_symbol(m.symbols[s.model], static_cast<uint32_t>(s.value));
        break;
      case Op::Bit:
        enc.encode_bit(m.bits[s.model], static_cast<uint32_t>(s.value));
        break;
      case Op::RawBits:
        enc.write_bits(s.model, static_cast<uint32_t>(s.value));
        break;
      case Op::Short:
        enc.write_short(static_cast<uint16_t>(s.value));
        break;
      case Op::Int:
        enc.write_int(static_cast<uint32_t>(s.value));
        break;
      case Op::Int64:
        enc.write_int64(s.value);
        break;
      case Op::Integer: {
        // 16-bit compressors code values modulo 2^16.
        auto& ic = m.integers[s.model];
        ic.compress(enc, s.pred, static_cast<int32_t>(static_cast<uint32_t>(s.value)), 1);
        break;
      }
    }
  }
  enc.done();
  return out;
}

void decode_and_check(const std::vector<Step>& steps, const std::vector<uint8_t>& bytes) {
  MemorySource src{bytes.data(), bytes.data() + bytes.size()};
  ArithmeticDecoder<MemorySource> dec(src);
  dec.init();
  Models m;
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& s = steps[i];
    uint64_t got = 0;
    const uint64_t want = s.value;
    switch (s.op) {
      case Op::Symbol:
        got = dec.decode_symbol(m.symbols[s.model]);
        break;
      case Op::Bit:
        got = dec.decode_bit(m.bits[s.model]);
        break;
      case Op::RawBits:
        got = dec.read_bits(s.model);
        break;
      case Op::Short:
        got = dec.read_short();
        break;
      case Op::Int:
        got = dec.read_int();
        break;
      case Op::Int64:
        got = dec.read_int64();
        break;
      case Op::Integer: {
        auto& ic = m.integers[s.model];
        got = static_cast<uint32_t>(ic.decompress(dec, s.pred, 1));
        break;
      }
    }
    ASSERT_EQ(got, want) << "step " << i << " op " << static_cast<int>(s.op);
  }
  // The decoder reads exactly the bytes the encoder wrote, no more.
  EXPECT_FALSE(src.overrun);
}

TEST(Arithmetic, RoundTripsMixedStreams) {
  const struct {
    uint32_t seed;
    size_t steps;
    uint32_t skew;
  } kCases[] = {
      {1, 1, 0}, {2, 10, 0}, {3, 1000, 0}, {4, 100000, 0}, {5, 100000, 8}, {6, 300000, 50},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "seed " << c.seed << " steps " << c.steps);
    const auto steps = make_steps(c.seed, c.steps, c.skew);
    const auto bytes = encode(steps);
    decode_and_check(steps, bytes);
  }
}

TEST(Arithmetic, EmptyStreamIsFourBytes) {
  // Nothing coded: the interval is wide, so the end writes one byte plus three zeros.
  std::vector<uint8_t> out;
  VectorSink sink{&out};
  ArithmeticEncoder<VectorSink> enc(sink);
  enc.done();
  EXPECT_EQ(out, (std::vector<uint8_t>{0x01, 0x00, 0x00, 0x00}));
}

TEST(Arithmetic, LongRunsOfCertainBitsRoundTrip) {
  // A model driven to near-certainty makes long runs without output, then a rare symbol:
  // the carry path and the buffer flushing get exercised.
  std::vector<uint32_t> bits(2'000'000, 1);
  for (size_t i = 0; i < bits.size(); i += 99'991) bits[i] = 0;
  std::vector<uint8_t> out;
  {
    VectorSink sink{&out};
    ArithmeticEncoder<VectorSink> enc(sink);
    BitModel m;
    for (uint32_t b : bits) enc.encode_bit(m, b);
    enc.done();
  }
  MemorySource src{out.data(), out.data() + out.size()};
  ArithmeticDecoder<MemorySource> dec(src);
  dec.init();
  BitModel m;
  for (size_t i = 0; i < bits.size(); ++i) ASSERT_EQ(dec.decode_bit(m), bits[i]) << i;
  EXPECT_FALSE(src.overrun);
}

TEST(Arithmetic, CorruptStreamStaysInBounds) {
  // Garbage decodes to garbage, but symbols stay within their alphabets.
  std::mt19937 engine(7);
  std::vector<uint8_t> junk(4096);
  for (auto& b : junk) b = static_cast<uint8_t>(engine());
  for (uint32_t fill : {0x00u, 0xFFu}) {
    std::vector<uint8_t> bytes = junk;
    for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(fill);
    MemorySource src{bytes.data(), bytes.data() + bytes.size()};
    ArithmeticDecoder<MemorySource> dec(src);
    dec.init();
    ArithmeticModel big(300);
    ArithmeticModel small(5);
    IntegerCompressor ic(32, 1);
    for (int i = 0; i < 20000; ++i) {
      ASSERT_LT(dec.decode_symbol(big), 300u);
      ASSERT_LT(dec.decode_symbol(small), 5u);
      (void)ic.decompress(dec, 0);
    }
  }
}

}  // namespace
}  // namespace laz::detail
