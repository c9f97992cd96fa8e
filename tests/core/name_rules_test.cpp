#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "io/audio_tags.h"
#include "rename/naming_rule.h"
#include "shell/paths.h"
#include "support/temp_dir.h"
#include "support/tiny_jpeg.h"

namespace brindle {
namespace {

using namespace std::chrono;

std::string NameOf(const NamingRule& rule, const std::string& fileName, std::string* why = nullptr,
                   const std::string& key = "") {
    std::vector<RenameRow> rows{RenameRow{true, key, fileName, "", {}, ""}};
    if (!GenerateNewNames(rule, rows, why)) {
        return "<failed>";
    }
    return rows[0].newFileName;
}

NamingRule Replacing(const char* find, const char* with, bool regex, bool matchCase = true) {
    NamingRule rule = InitialNamingRule(year{2026} / March / 5);
    rule.Replace = {find, with, regex, matchCase};
    return rule;
}

TEST(FindReplace, ReplacesEveryMatchInTheBaseNameOnly) {
    const struct {
        const char* find;
        const char* with;
        bool regex;
        bool matchCase;
        const char* from;
        const char* to;
    } cases[] = {
        {"_", " ", false, true, "a_b_c.txt_x", "a b c.txt_x"},
        {"IMG", "Photo", false, true, "img_IMG.jpg", "img_Photo.jpg"},
        {"IMG", "Photo", false, false, "img_IMG.jpg", "Photo_Photo.jpg"},
        {"a.c", "X", false, true, "abc a.c.txt", "abc X.txt"},  // plain: the dot is a dot
        {"(\\d+)-(\\d+)", "$2-$1", true, true, "12-34 and 5-6.txt", "34-12 and 6-5.txt"},
        {"(?<y>\\d{4})", "[${y}]$$", true, true, "x2019.mp3", "x[2019]$.mp3"},
        {"zzz", "y", true, true, "keep.txt", "keep.txt"},
        {"^.*$", "", true, true, "gone.txt", ".txt"},  // a match that empties the name
        {"é", "e", true, false, "CAFÉ.txt", "CAFe.txt"},
        {"x", "y", true, true, "bad\xff" "x.txt", "bad\xff" "y.txt"},  // not UTF-8: still works
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NameOf(Replacing(c.find, c.with, c.regex, c.matchCase), c.from), c.to) << c.find;
    }
}

TEST(FindReplace, ABadOrHostilePatternStopsTheRunWithItsReason) {
    const NamingRule bad = Replacing("(ab", "", true);
    EXPECT_NE(RuleProblem(bad).find("offset 3"), std::string::npos) << RuleProblem(bad);
    std::string why;
    std::vector<RenameRow> rows{RenameRow{true, "", "ab.txt", "old", {}, ""}};
    EXPECT_FALSE(GenerateNewNames(bad, rows, &why));
    EXPECT_EQ(why, RuleProblem(bad));
    EXPECT_EQ(rows[0].newFileName, "old");
    EXPECT_TRUE(RuleProblem(Replacing("(ab", "", false)).empty());  // plain text is never a pattern

    // Catastrophic backtracking ends at the match limit instead of running for ages.
    const NamingRule hostile = Replacing("(a+)+$", "x", true);
    EXPECT_EQ(NameOf(hostile, std::string(40, 'a') + "!.txt", &why), "<failed>");
    EXPECT_NE(why.find("too much"), std::string::npos) << why;
}

TEST(LetterCase, UnicodeRulesForNameAndExtension) {
    const struct {
        LetterCase name;
        LetterCase ext;
        const char* from;
        const char* to;
    } cases[] = {
        {LetterCase::kLower, LetterCase::kKeep, "Hello World.JPG", "hello world.JPG"},
        {LetterCase::kUpper, LetterCase::kLower, "Hello.JPG", "HELLO.jpg"},
        {LetterCase::kLower, LetterCase::kKeep, "ÉCOLE.txt", "école.txt"},
        {LetterCase::kUpper, LetterCase::kKeep, "straße.txt", "STRASSE.txt"},
        {LetterCase::kTitle, LetterCase::kUpper, "the lord of the rings.mkv",
         "The Lord Of The Rings.MKV"},
        {LetterCase::kSentence, LetterCase::kKeep, "tHE LORD. of THE rings.mkv",
         "The lord. of the rings.mkv"},
        {LetterCase::kSentence, LetterCase::kKeep, "01 élan.mp3", "01 élan.mp3"},
        {LetterCase::kUpper, LetterCase::kKeep, "bad\xff.txt", "bad\xff.txt"},
    };
    for (const auto& c : cases) {
        NamingRule rule = InitialNamingRule(year{2026} / March / 5);
        rule.NameCase = c.name;
        rule.ExtensionCase = c.ext;
        EXPECT_EQ(NameOf(rule, c.from), c.to) << c.from;
    }
    // Applied last: over the counter and separators too, after the replacement.
    NamingRule rule = Replacing("x", "a b", false);
    AddItemToSlots(rule, kItemNumber);
    rule.NumberTemplate = "-n01";
    rule.NumberDigits = "01";
    rule.NameCase = LetterCase::kUpper;
    EXPECT_EQ(NameOf(rule, "x.txt"), "A B-N01.txt");
}

// An ID3v2.3 tag, an MPEG-less body and, when asked, an ID3v1 tag at the end.
std::string Frame(const char* id, const std::string& text) {
    std::string frame(id, 4);
    const auto size = static_cast<std::uint32_t>(text.size() + 1);
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame += static_cast<char>((size >> shift) & 0xFF);
    }
    frame += std::string("\0\0\0", 3) + text;
    return frame;
}
std::string Id3v2(const std::string& frames, std::uint32_t claimed = 0) {
    const std::uint32_t size = claimed != 0 ? claimed : static_cast<std::uint32_t>(frames.size());
    std::string tag("ID3\x03\x00\x00", 6);
    for (int shift = 21; shift >= 0; shift -= 7) {
        tag += static_cast<char>((size >> shift) & 0x7F);
    }
    return tag + frames + std::string(64, '\0');
}
std::string Id3v1(const std::string& title, const std::string& artist, char track) {
    std::string tag = "TAG";
    for (const std::string* field : {&title, &artist}) {
        tag += field->substr(0, 30) + std::string(30 - std::min<std::size_t>(30, field->size()), '\0');
    }
    tag += std::string(30, '\0') + "1999" + std::string(28, '\0');
    return tag + '\0' + track + '\x11';  // genre 17: Rock
}
std::string LE32(std::size_t n) {
    std::string out;
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((n >> shift) & 0xFF);
    }
    return out;
}
std::string Flac(std::initializer_list<std::string> comments) {
    std::string block = LE32(4) + "test" + LE32(comments.size());
    for (const std::string& comment : comments) {
        block += LE32(comment.size()) + comment;
    }
    const auto length = [](std::size_t n) {
        return std::string{static_cast<char>(n >> 16), static_cast<char>((n >> 8) & 0xFF),
                           static_cast<char>(n & 0xFF)};
    };
    return "fLaC" + std::string(1, '\0') + length(34) + std::string(34, '\x01') + '\x84' +
           length(block.size()) + block;
}
std::string Atom(const char* type, const std::string& body) {
    std::string size;
    for (int shift = 24; shift >= 0; shift -= 8) {
        size += static_cast<char>(((body.size() + 8) >> shift) & 0xFF);
    }
    return size + std::string(type, 4) + body;
}
std::string Mp4(const std::string& artist, int track) {
    const auto data = [](int kind, const std::string& payload) {
        return Atom("data", std::string("\0\0\0", 3) + static_cast<char>(kind) +
                                std::string(4, '\0') + payload);
    };
    const std::string trkn = std::string("\0\0\0", 3) + static_cast<char>(track) + std::string(4, '\0');
    const std::string ilst = Atom("ilst", Atom("\xA9" "ART", data(1, artist)) + Atom("trkn", data(0, trkn)));
    const std::string hdlr = Atom("hdlr", std::string(8, '\0') + "mdirappl" + std::string(9, '\0'));
    return Atom("ftyp", "M4A " + std::string(4, '\0') + "M4A ") +
           Atom("moov", Atom("udta", Atom("meta", std::string(4, '\0') + hdlr + ilst)));
}

// A little-endian TIFF with only IFD0's Model and the Exif IFD's LensModel.
std::string Tiff(const std::string& model, const std::string& lens) {
    const auto u16 = [](unsigned v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
    const auto entry = [&](unsigned tag, unsigned type, std::size_t count, std::size_t value) {
        return u16(tag) + u16(type) + LE32(count) + LE32(value);
    };
    const std::size_t text = 56;  // after IFD0 (2 entries, at 8) and the Exif IFD (1, at 38)
    return "II*" + std::string(1, '\0') + LE32(8) + u16(2) + entry(0x0110, 2, model.size() + 1, text) +
           entry(0x8769, 4, 1, 38) + LE32(0) + u16(1) +
           entry(0xA434, 2, lens.size() + 1, text + model.size() + 1) + LE32(0) + model + '\0' +
           lens + '\0';
}

TEST(Placeholders, FilledFromEachKindOfTag) {
    test::TempDir dir;
    const struct {
        const char* file;
        std::string bytes;
        const char* text;
        const char* name;
    } cases[] = {
        {"a.mp3",
         Id3v2(Frame("TPE1", "Artist / Band") + Frame("TIT2", "  Song ") + Frame("TRCK", "3/12") +
               Frame("TPOS", "2/2") + Frame("TYER", "2019") + Frame("TALB", "LP") +
               Frame("TCON", "Jazz")),
         "{track:02} {artist}-{title} ({album}, {disc}, {year}, {genre})",
         "03 Artist _ Band-Song (LP, 2, 2019, Jazz).mp3"},
        {"b.MP3", std::string(200, '\0') + Id3v1("Old", "Someone", 7), "{artist} {track:03} {year} {genre}",
         "Someone 007 1999 Rock.MP3"},
        {"c.flac", Flac({"ARTIST=Flac Artist", "TITLE=Tune", "TRACKNUMBER=9", "DATE=2001-02-03"}),
         "{artist}_{title}_{track}_{year}", "Flac Artist_Tune_9_2001.flac"},
        {"d.m4a", Mp4("Mp4 Artist", 5), "{track:02} {artist}", "05 Mp4 Artist.m4a"},
        {"e.mp3", Id3v2(Frame("TIT2", "x")), "[{artist}]{{name}}{name}", "[]{name}e.mp3"},
        // A frame claiming far more than the file holds is a file without that tag.
        {"f.mp3", Id3v2(std::string("TIT2\x7F\xFF\xFF\xFF\0\0\0cut", 14), 0x0FFFFFFF),
         "<{title}>", "<>.mp3"},
        {"g.jpg", test::TinyJpeg("2019:07:14 09:30:00"), "{width}x{height}{camera}", "1x1.jpg"},
        {"i.tif", Tiff("Cam X", "50mm/1.8"), "{camera} {lens}", "Cam X 50mm_1.8.tif"},
        {"h.txt", "plain", "{folder}-{unknown}-{title", ""},
    };
    for (const auto& c : cases) {
        test::WriteFile(dir.File(c.file), c.bytes);
        NamingRule rule = InitialNamingRule(year{2026} / March / 5);
        rule.FileNameText = c.text;
        RenameRow row{true, dir.File(c.file), c.file, "", {}, dir.path()};
        std::vector<RenameRow> rows{row};
        ASSERT_TRUE(GenerateNewNames(rule, rows));
        const std::string want = *c.name != '\0'
                                     ? c.name
                                     : GetFileName(dir.path()) + "-{unknown}-{title.txt";
        EXPECT_EQ(rows[0].newFileName, want) << c.file;
    }
}

}  // namespace
}  // namespace brindle
