// A tiny vector font drawn as strokes of round-capped line segments, enough
// for the demo's title. Text is laid out once and then queried for the
// distance from any point to the nearest stroke, which gives crisp letters,
// outlines and glows from one shape.
#pragma once

#include <string_view>
#include <vector>

namespace content {

class TextShape {
public:
    // Lays out `text` centred on (centreU, centreV) in picture coordinates
    // (u to the right, v down, both 0..1 across a square picture), with
    // capitals `capHeight` tall and lower-case letters 5/8 of that.
    // Throws std::invalid_argument for a character the font does not have.
    TextShape(std::string_view text, double centreU, double centreV, double capHeight);

    // Distance from (u, v) to the nearest stroke centre line, in picture
    // units. Points farther than `limit` may return any value >= limit,
    // which lets far-away pixels skip the exact search.
    double Distance(double u, double v, double limit = 1e9) const;

    // Bounding box of the stroke centre lines, in picture units.
    double left() const { return left_; }
    double right() const { return right_; }
    double top() const { return top_; }
    double bottom() const { return bottom_; }

    // Characters the font can draw.
    static bool Supports(char c);

private:
    struct Segment {
        double u0, v0, u1, v1;
    };
    struct Glyph {
        std::vector<Segment> segments;
        double left, right, top, bottom;
    };
    std::vector<Glyph> glyphs_;
    double left_ = 0, right_ = 0, top_ = 0, bottom_ = 0;
};

}  // namespace content
