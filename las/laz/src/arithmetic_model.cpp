// Construction and distribution rebuild of the multi-symbol model (the rare, non-inlined part).
#include "arithmetic_model.hpp"

#include <algorithm>
#include <cassert>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace laz::detail {

ArithmeticModel::ArithmeticModel(uint32_t symbols) : symbols_(symbols), last_symbol_(symbols - 1) {
  assert(symbols >= 2 && symbols <= 2048);
  // The decoder finds a symbol through a lookup table over the top bits of the cumulative
  // distribution, then bisects the few symbols a cell may hold. The table only speeds up
  // decoding, it never changes the coded bits, so it is sized for speed: four cells per
  // symbol, so that frequent symbols (which span many cells) need no bisection at all.
  uint32_t table_bits = 3;
  while ((1u << table_bits) < 4 * symbols_ && table_bits < 12) ++table_bits;
  table_size_ = 1u << table_bits;
  table_shift_ = kSymbolLengthShift - table_bits;
  decoder_table_.resize(table_size_ + 2);
  distribution_.resize(symbols_);
  symbol_count_.resize(symbols_);
  init();
}

void ArithmeticModel::init() {
  total_count_ = 0;
  update_cycle_ = symbols_;
  for (auto& c : symbol_count_) c = 1;
  update();
  update_cycle_ = (symbols_ + 6) >> 1;
  symbols_until_update_ = update_cycle_;
}

void ArithmeticModel::update() {
  total_count_ += update_cycle_;
  if (total_count_ > kSymbolMaxCount) {
    total_count_ = 0;
    for (auto& c : symbol_count_) {
      c = (c + 1) >> 1;
      total_count_ += c;
    }
  }
  const uint32_t scale = 0x80000000u / total_count_;
  uint32_t sum = 0;
  for (uint32_t k = 0; k < symbols_; ++k) {
    distribution_[k] = static_cast<uint16_t>((scale * sum) >> (31 - kSymbolLengthShift));
    sum += symbol_count_[k];
  }
  table_fresh_ = false;
  update_cycle_ = (5 * update_cycle_) >> 2;
  const uint32_t max_cycle = (symbols_ + 6) << 3;
  if (update_cycle_ > max_cycle) update_cycle_ = max_cycle;
  symbols_until_update_ = update_cycle_;
}

void ArithmeticModel::build_table() {
  // Cell t holds the last symbol whose distribution value (shifted to cell resolution) lies
  // below t, i.e. the count of such symbols minus one. Counting through a histogram and a
  // prefix sum avoids the data-dependent branches of a fill loop.
  // The members are read into locals first: the table stores could otherwise alias them.
  uint16_t* table = decoder_table_.data();
  const uint16_t* dist = distribution_.data();
  const uint32_t symbols = symbols_;
  const uint32_t shift = table_shift_;
  const uint32_t cells = table_size_ + 2;
  std::fill(table, table + cells, uint16_t{0});
  for (uint32_t k = 0; k < symbols; ++k) ++table[(dist[k] >> shift) + 1];
  // Prefix sum of the histogram, minus one. It is most of the rebuild's time, so with SSE2 it
  // runs eight cells at a time; `carry` holds the count so far, minus one, in every lane.
  uint32_t t = 1;
  uint32_t below = 0;
#if defined(__SSE2__)
  __m128i carry = _mm_set1_epi16(-1);
  for (; t + 8 <= cells; t += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + t));
    v = _mm_add_epi16(v, _mm_slli_si128(v, 2));
    v = _mm_add_epi16(v, _mm_slli_si128(v, 4));
    v = _mm_add_epi16(v, _mm_slli_si128(v, 8));
    v = _mm_add_epi16(v, carry);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(table + t), v);
    carry = _mm_shuffle_epi32(_mm_shufflehi_epi16(v, 0xFF), 0xFF);
  }
  below = (static_cast<uint32_t>(_mm_cvtsi128_si32(carry)) + 1u) & 0xFFFFu;
#endif
  for (; t < cells; ++t) {
    below += table[t];
    table[t] = static_cast<uint16_t>(below - 1);
  }
  table[0] = 0;
  table_fresh_ = true;
}

}  // namespace laz::detail
