// The text form of a 64-bit float shared by the frustum's refusal messages and the Python reprs.
#pragma once

#include <string>

namespace quarrix_core::geometry {

// The shortest decimal that reads back to the same double, written out in full (never in exponent
// notation) and without ".0" for whole numbers: 10000.0 -> "10000", 1e21 -> "1" and 21 zeros,
// 1.5e-7 -> "0.00000015", -0.0 -> "-0". NaN (of either sign) -> "NaN", infinities -> "inf", "-inf".
[[nodiscard]] std::string float_text(double value);

}  // namespace quarrix_core::geometry
