#include "det_math.h"

#include <cmath>

namespace content::detmath {
namespace {

constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kLn2 = 0.69314718055994530942;

// sin on [-pi/4, pi/4]: Taylor series to x^15 (error below 1e-16 there).
double SinKernel(double x) {
    double x2 = x * x;
    double r = -1.0 / 1307674368000.0;
    r = 1.0 / 6227020800.0 + x2 * r;
    r = -1.0 / 39916800.0 + x2 * r;
    r = 1.0 / 362880.0 + x2 * r;
    r = -1.0 / 5040.0 + x2 * r;
    r = 1.0 / 120.0 + x2 * r;
    r = -1.0 / 6.0 + x2 * r;
    return x + x * x2 * r;
}

// cos on [-pi/4, pi/4]: Taylor series to x^16.
double CosKernel(double x) {
    double x2 = x * x;
    double r = 1.0 / 20922789888000.0;
    r = -1.0 / 87178291200.0 + x2 * r;
    r = 1.0 / 479001600.0 + x2 * r;
    r = -1.0 / 3628800.0 + x2 * r;
    r = 1.0 / 40320.0 + x2 * r;
    r = -1.0 / 720.0 + x2 * r;
    r = 1.0 / 24.0 + x2 * r;
    r = -0.5 + x2 * r;
    return 1.0 + x2 * r;
}

// Splits x into a quadrant number q and a remainder in [-pi/4, pi/4] with
// x = q * pi/2 + r. Two-part pi/2 keeps the remainder accurate for the
// arguments the generators use (|x| up to a few thousand).
void Reduce(double x, long long &q, double &r) {
    constexpr double kHalfPiHi = 1.5707963267341256e+00;  // 33 significant bits
    constexpr double kHalfPiLo = 6.0771005065061922e-11;  // kHalfPi - kHalfPiHi
    double n = std::floor(x / kHalfPi + 0.5);
    q = static_cast<long long>(n);
    r = (x - n * kHalfPiHi) - n * kHalfPiLo;
}

}  // namespace

double Sin(double x) {
    if (!std::isfinite(x)) return 0.0;
    long long q;
    double r;
    Reduce(x, q, r);
    switch (q & 3) {
        case 0: return SinKernel(r);
        case 1: return CosKernel(r);
        case 2: return -SinKernel(r);
        default: return -CosKernel(r);
    }
}

double Cos(double x) {
    if (!std::isfinite(x)) return 1.0;
    long long q;
    double r;
    Reduce(x, q, r);
    switch (q & 3) {
        case 0: return CosKernel(r);
        case 1: return -SinKernel(r);
        case 2: return -CosKernel(r);
        default: return SinKernel(r);
    }
}

double Tan(double x) {
    double c = Cos(x);
    if (c == 0.0) return x > 0 ? 1e300 : -1e300;
    return Sin(x) / c;
}

double Exp(double x) {
    if (x != x) return 0.0;
    if (x > 700.0) return 1e300;
    if (x < -700.0) return 0.0;
    // x = k ln2 + r with |r| <= ln2/2, then exp(r) by Taylor series to r^13.
    double k = std::floor(x / kLn2 + 0.5);
    constexpr double kLn2Hi = 6.9314718036912382e-01;
    constexpr double kLn2Lo = 1.9082149292705877e-10;
    double r = (x - k * kLn2Hi) - k * kLn2Lo;
    double p = 1.0 / 6227020800.0;
    p = 1.0 / 479001600.0 + r * p;
    p = 1.0 / 39916800.0 + r * p;
    p = 1.0 / 3628800.0 + r * p;
    p = 1.0 / 362880.0 + r * p;
    p = 1.0 / 40320.0 + r * p;
    p = 1.0 / 5040.0 + r * p;
    p = 1.0 / 720.0 + r * p;
    p = 1.0 / 120.0 + r * p;
    p = 1.0 / 24.0 + r * p;
    p = 1.0 / 6.0 + r * p;
    p = 0.5 + r * p;
    p = 1.0 + r * p;
    p = 1.0 + r * p;
    return std::ldexp(p, static_cast<int>(k));
}

double Log(double x) {
    if (!(x > 0.0)) return -1e300;
    if (std::isinf(x)) return 1e300;
    int e;
    double m = std::frexp(x, &e);  // x = m * 2^e, m in [0.5, 1)
    if (m < 0.70710678118654752440) {
        m *= 2.0;
        e -= 1;
    }
    // log(m) = 2 atanh(s) with s = (m-1)/(m+1), |s| <= 0.172.
    double s = (m - 1.0) / (m + 1.0);
    double s2 = s * s;
    double p = 1.0 / 21.0;
    p = 1.0 / 19.0 + s2 * p;
    p = 1.0 / 17.0 + s2 * p;
    p = 1.0 / 15.0 + s2 * p;
    p = 1.0 / 13.0 + s2 * p;
    p = 1.0 / 11.0 + s2 * p;
    p = 1.0 / 9.0 + s2 * p;
    p = 1.0 / 7.0 + s2 * p;
    p = 1.0 / 5.0 + s2 * p;
    p = 1.0 / 3.0 + s2 * p;
    p = 1.0 + s2 * p;
    return 2.0 * s * p + static_cast<double>(e) * kLn2;
}

double Pow(double base, double exponent) {
    if (!(base > 0.0)) return 0.0;
    return Exp(exponent * Log(base));
}

double Atan(double x) {
    if (x != x) return 0.0;
    bool negative = x < 0.0;
    if (negative) x = -x;
    bool inverted = x > 1.0;
    if (inverted) x = 1.0 / x;
    // Now 0 <= x <= 1. Shift by pi/8 steps: atan(x) = pi/4 + atan((x-1)/(x+1)).
    double offset = 0.0;
    if (x > 0.41421356237309504880) {  // tan(pi/8)
        x = (x - 1.0) / (x + 1.0);
        offset = kPi / 4.0;
    }
    // |x| <= tan(pi/8): Taylor series to x^31 (error about 1e-13).
    double x2 = x * x;
    // Horner form of sum (-1)^n x^(2n+1) / (2n+1).
    double r = 0.0;
    for (int n = 15; n >= 0; --n) {
        double c = 1.0 / static_cast<double>(2 * n + 1);
        r = (n % 2 == 0 ? c : -c) + x2 * r;
    }
    double result = offset + x * r;
    if (inverted) result = kHalfPi - result;
    return negative ? -result : result;
}

double Atan2(double y, double x) {
    if (x > 0.0) return Atan(y / x);
    if (x < 0.0) return y >= 0.0 ? Atan(y / x) + kPi : Atan(y / x) - kPi;
    if (y > 0.0) return kHalfPi;
    if (y < 0.0) return -kHalfPi;
    return 0.0;
}

double Tanh(double x) {
    if (x > 20.0) return 1.0;
    if (x < -20.0) return -1.0;
    if (x > -1e-4 && x < 1e-4) return x - x * x * x / 3.0;
    double e = Exp(2.0 * x);
    return (e - 1.0) / (e + 1.0);
}

}  // namespace content::detmath
