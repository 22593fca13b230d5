// Elementary functions computed from IEEE additions, multiplications,
// divisions and square roots only.
//
// The content generators must write byte-identical files on every machine.
// The C library's sin, exp or log are free to differ in their last bit
// between versions and vendors, and one flipped bit can change a rounded
// pixel or sample. These replacements use range reduction and fixed
// polynomials, so their results depend on nothing but the inputs. They are
// accurate to about 1e-12 relative, far more than 8-bit pixels or 16-bit
// samples need. The generators are compiled with -ffp-contract=off so that
// no fused multiply-add changes a rounding behind our back.
#pragma once

namespace content::detmath {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 6.28318530717958647692;

// Non-finite arguments give 0 (Sin) and 1 (Cos) rather than NaN.
double Sin(double x);
double Cos(double x);
double Tan(double x);
double Exp(double x);
double Log(double x);        // natural logarithm; x must be > 0 (returns -1e300 otherwise)
double Pow(double base, double exponent);  // base must be > 0 (returns 0 otherwise)
double Atan(double x);
double Atan2(double y, double x);
double Tanh(double x);

// Small helpers used everywhere in the generators.
inline double Clamp(double x, double lo, double hi) { return x < lo ? lo : (x > hi ? hi : x); }
inline double Mix(double a, double b, double t) { return a + (b - a) * t; }
inline double SmoothStep(double e0, double e1, double x) {
    double t = Clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

}  // namespace content::detmath
