// The soundtrack's composition: its melody notation, its sections against
// the demo's scene changes, and its notes.
#include "tools/content/song.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using content::MelodyNote;
using content::ParseMelody;

namespace {

// Seconds at which the demo changes scene.
const double kSceneChanges[] = {0, 10, 15, 25, 35, 42, 48, 52, 57, 70, 75, 85, 90, 95, 100, 105, 110, 115};

TEST(MelodyNotation, ReadsNamesAccidentalsOctavesLengthsAndRests) {
    std::vector<MelodyNote> notes = ParseMelody("E5:4 D5:2  r:2 C#5:8 Bb3:1 A4:64 C0:16");
    ASSERT_EQ(notes.size(), 7u);
    const int pitches[] = {76, 74, -1, 73, 58, 69, 12};
    const int lengths[] = {4, 2, 2, 8, 1, 64, 16};
    for (size_t i = 0; i < notes.size(); ++i) {
        EXPECT_EQ(notes[i].pitch, pitches[i]) << i;
        EXPECT_EQ(notes[i].sixteenths, lengths[i]) << i;
    }
    EXPECT_TRUE(ParseMelody("").empty());
}

TEST(MelodyNotation, RejectsMalformedNotes) {
    for (const char *bad : {"H4:4", "C4", "C4:", ":4", "C4:0", "C4:65", "C4:999999999999", "C9:1", "C#:2",
                            "C4:x", "c4:4", "C##4:4", "r:0", "C4:4:4"})
        EXPECT_THROW(ParseMelody(bad), std::invalid_argument) << bad;
}

TEST(SongSections, TileThePieceAndTurnAtEverySceneChange) {
    const auto &sections = content::SongSections();
    ASSERT_FALSE(sections.empty());
    EXPECT_EQ(sections.front().start, 0.0);
    EXPECT_EQ(sections.back().end, content::kSongSeconds);
    EXPECT_GE(content::kSongSeconds, 125.0);
    for (size_t i = 0; i + 1 < sections.size(); ++i) EXPECT_EQ(sections[i].end, sections[i + 1].start);
    for (double change : kSceneChanges) {
        bool found = std::any_of(sections.begin(), sections.end(), [&](const auto &s) { return s.start == change; });
        EXPECT_TRUE(found) << "no section starts at " << change << " s";
    }
    for (const auto &s : sections) {
        EXPECT_FALSE(s.name.empty());
        EXPECT_FALSE(s.music.empty());
    }
}

TEST(Composition, EverySectionHasNotesAndNothingStartsOutsideThePiece) {
    const std::vector<content::NoteEvent> notes = content::ComposeSong();
    for (const auto &n : notes) {
        EXPECT_GE(n.start, 0.0);
        EXPECT_LT(n.start, content::kSongSeconds);
        EXPECT_GE(n.duration, 0.0);
        EXPECT_GT(n.velocity, 0.0);
        EXPECT_LE(n.velocity, 1.0);
    }
    for (const auto &s : content::SongSections()) {
        int count = 0;
        for (const auto &n : notes) count += n.start >= s.start && n.start < s.end;
        EXPECT_GT(count, 3) << s.name;
    }
}

TEST(Composition, DrumsStayOutOfTheQuietSections) {
    // The title, the breakdown and the empty scene are drum-free, the
    // grooves between them are not.
    const std::vector<content::NoteEvent> notes = content::ComposeSong();
    auto drumsBetween = [&](double from, double to) {
        int count = 0;
        for (const auto &n : notes)
            if (n.start >= from && n.start < to &&
                (n.instrument == content::Instrument::Kick || n.instrument == content::Instrument::Snare))
                ++count;
        return count;
    };
    EXPECT_EQ(drumsBetween(0, 10), 0);
    EXPECT_EQ(drumsBetween(42, 48), 0);
    EXPECT_EQ(drumsBetween(52, 57), 0);
    EXPECT_GT(drumsBetween(15, 25), 20);
    EXPECT_GT(drumsBetween(57, 70), 20);
}

TEST(Composition, EveryVoiceStaysInItsRegister) {
    // Catches octave slips in transposition and melody shifts.
    struct Range {
        content::Instrument instrument;
        int low, high;
    };
    const Range ranges[] = {{content::Instrument::Lead, 55, 89},  // G3..F6
                            {content::Instrument::Bell, 60, 93},  // C4..A6
                            {content::Instrument::Pad, 48, 72},   // C3..C5
                            {content::Instrument::Bass, 28, 64},  // E1..E4
                            {content::Instrument::Drone, 28, 52}};
    for (const auto &n : content::ComposeSong())
        for (const Range &r : ranges)
            if (n.instrument == r.instrument) {
                EXPECT_GE(n.pitch, r.low) << "at " << n.start << " s";
                EXPECT_LE(n.pitch, r.high) << "at " << n.start << " s";
            }
}

}  // namespace
