#include "stroke_font.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "det_math.h"

namespace content {
namespace {

// Glyphs are designed in font units: baseline at y = 0, y up, capitals
// 8 units tall, lower case 5 units (x-height), stems at x = 0.
struct Point {
    double x, y;
};
using Stroke = std::vector<Point>;

struct GlyphDesign {
    std::vector<Stroke> strokes;
    double advance;
};

// Points of an elliptical arc from angle a0 to a1 (degrees, counter-clockwise
// from the positive x axis), in `steps` segments.
Stroke Arc(double cx, double cy, double rx, double ry, double a0, double a1, int steps) {
    Stroke s;
    for (int i = 0; i <= steps; ++i) {
        double a = (a0 + (a1 - a0) * i / steps) * detmath::kPi / 180.0;
        s.push_back({cx + rx * detmath::Cos(a), cy + ry * detmath::Sin(a)});
    }
    return s;
}

Stroke Then(Stroke a, const Stroke &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool Design(char c, GlyphDesign &g) {
    switch (c) {
        case 'V':
            g = {{{{0, 8}, {2.7, 0}, {5.4, 8}}}, 5.4};
            return true;
        case 'a':  // round bowl with a stem on the right
            g = {{Arc(2.2, 2.5, 2.2, 2.5, 0, 360, 48), {{4.4, 5}, {4.4, 0}}}, 4.4};
            return true;
        case 'd':  // the same bowl with a tall stem
            g = {{Arc(2.2, 2.5, 2.2, 2.5, 0, 360, 48), {{4.4, 8}, {4.4, 0}}}, 4.4};
            return true;
        case 'n':
            g = {{{{0, 5}, {0, 0}}, Then(Arc(2.2, 2.9, 2.2, 2.1, 180, 0, 24), {{4.4, 0}})}, 4.4};
            return true;
        case 'r':
            g = {{{{0, 5}, {0, 0}}, Arc(2.6, 2.6, 2.6, 2.4, 180, 60, 20)}, 3.6};
            return true;
        case 'e':  // crossbar, then the bowl round the top and down to the lower right
            g = {{Then({{0.0, 2.5}, {4.4, 2.5}}, Arc(2.2, 2.5, 2.2, 2.5, 0, 318, 44))}, 4.4};
            return true;
        case 'l':  // tall stem with a small foot
            g = {{Then({{0, 8}, {0, 1.2}}, Arc(1.2, 1.2, 1.2, 1.2, 180, 270, 8))}, 1.4};
            return true;
        case ' ':
            g = {{}, 3.0};
            return true;
        default:
            return false;
    }
}

constexpr double kLetterGap = 1.6;  // font units between advances

double SegmentDistanceSquared(double px, double py, double x0, double y0, double x1, double y1) {
    double dx = x1 - x0, dy = y1 - y0;
    double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - x0) * dx + (py - y0) * dy) / len2 : 0.0;
    t = detmath::Clamp(t, 0.0, 1.0);
    double ex = px - (x0 + t * dx), ey = py - (y0 + t * dy);
    return ex * ex + ey * ey;
}

}  // namespace

bool TextShape::Supports(char c) {
    GlyphDesign g;
    return Design(c, g);
}

TextShape::TextShape(std::string_view text, double centreU, double centreV, double capHeight) {
    std::vector<GlyphDesign> designs;
    double width = 0;
    for (char c : text) {
        GlyphDesign g;
        if (!Design(c, g)) throw std::invalid_argument(std::string("the title font has no glyph for '") + c + "'");
        if (!designs.empty()) width += kLetterGap;
        width += g.advance;
        designs.push_back(std::move(g));
    }
    const double scale = capHeight / 8.0;
    // Centre the block between the baseline and the cap height.
    const double originU = centreU - width * scale / 2.0;
    const double baselineV = centreV + capHeight / 2.0;

    left_ = top_ = 1e300;
    right_ = bottom_ = -1e300;
    double penX = 0;
    for (const GlyphDesign &d : designs) {
        Glyph glyph{{}, 1e300, -1e300, 1e300, -1e300};
        for (const Stroke &s : d.strokes) {
            for (size_t i = 0; i + 1 < s.size(); ++i) {
                Segment seg{originU + (penX + s[i].x) * scale, baselineV - s[i].y * scale,
                            originU + (penX + s[i + 1].x) * scale, baselineV - s[i + 1].y * scale};
                glyph.left = std::min({glyph.left, seg.u0, seg.u1});
                glyph.right = std::max({glyph.right, seg.u0, seg.u1});
                glyph.top = std::min({glyph.top, seg.v0, seg.v1});
                glyph.bottom = std::max({glyph.bottom, seg.v0, seg.v1});
                glyph.segments.push_back(seg);
            }
        }
        penX += d.advance + kLetterGap;
        if (glyph.segments.empty()) continue;
        left_ = std::min(left_, glyph.left);
        right_ = std::max(right_, glyph.right);
        top_ = std::min(top_, glyph.top);
        bottom_ = std::max(bottom_, glyph.bottom);
        glyphs_.push_back(std::move(glyph));
    }
    if (glyphs_.empty()) left_ = right_ = top_ = bottom_ = 0;
}

double TextShape::Distance(double u, double v, double limit) const {
    double best2 = limit * limit;
    bool found = false;
    for (const Glyph &g : glyphs_) {
        // Distance to the glyph's box bounds the distance to its strokes.
        double du = std::max({g.left - u, 0.0, u - g.right});
        double dv = std::max({g.top - v, 0.0, v - g.bottom});
        if (du * du + dv * dv >= best2) continue;
        for (const Segment &s : g.segments) {
            double d2 = SegmentDistanceSquared(u, v, s.u0, s.v0, s.u1, s.v1);
            if (d2 < best2) {
                best2 = d2;
                found = true;
            }
        }
    }
    return found ? std::sqrt(best2) : limit;
}

}  // namespace content
