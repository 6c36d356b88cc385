#pragma once
// The number formatting core: edit descriptors and free-format fields.
// Every routine writes into a caller's buffer and never allocates.
// Rounding is to nearest on the exact binary value, ties to even; the sign
// of the binary value is always written (negative zero gets its minus).
#include <cstdint>
#include <string_view>

namespace rio {

// Widest numeric field (Iw, Fw.d, Ew.d) the core formats; a wider numeric
// field is filled with asterisks. Layouts refuse wider numeric items.
inline constexpr int kMaxNumericWidth = 1000;

// Iw: integer right-justified in w characters; w asterisks when it does not fit.
void editI(char* out, int w, std::int32_t v);

// Fw.d: fixed point with d decimals, right-justified in w characters; the
// zero before the point is left out when that makes the value fit;
// w asterisks when it still does not fit. The float overload gives the
// same characters as the double one (a float widens exactly), only faster.
// Infinity and NaN are written "Infinity" / "Inf" / "NaN" (with a minus for
// minus infinity), right-justified, or asterisks when even that does not fit.
void editF(char* out, int w, int d, double v);
void editF(char* out, int w, int d, float v);

// Ew.d: 0.d1..ddE+ee right-justified in w characters; the leading zero is
// left out when the field is one character too narrow; an exponent beyond
// 99 in magnitude is written as three digits after its sign without the E.
// Needs d >= 1 (w asterisks otherwise). Infinity and NaN as for Fw.d.
void editE(char* out, int w, int d, double v);
void editE(char* out, int w, int d, float v);

// Aw: the first w characters of text, or text right-justified after blanks.
void editA(char* out, int w, std::string_view text);

// Free-format fields; each returns the number of characters written.
int listFieldInt(char* out, std::int32_t v);   // 12 characters
int listFieldReal(char* out, float v);         // 15 characters
int listFieldDouble(char* out, double v);      // 25 characters

}  // namespace rio
