#include <gtest/gtest.h>

#include "format/piece_format.h"

namespace brindle {
namespace {

TEST(PieceHeader, EncodesEveryFieldLittleEndianAtItsOffset) {
    PieceHeader header;
    header.GroupId = 0x01020304;
    header.PieceIndex = 2;
    header.PieceSize = 3'000'000;  // 0x002DC6C0
    header.PieceCount = 4;
    header.SourceLength = -2;  // signed: stored as FE FF FF FF
    SetSourceName(header, "  film.avi");
    SetSplitDate(header, "12/8/2026");
    const HeaderBytes bytes = EncodeHeader(header);

    const unsigned char expectedInts[20] = {0x04, 0x03, 0x02, 0x01, 2, 0, 0, 0, 0xC0, 0xC6, 0x2D, 0x00,
                                            4,    0,    0,    0,    0xFE, 0xFF, 0xFF, 0xFF};
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(bytes[i], expectedInts[i]) << "byte " << i;
    }
    const std::string name(reinterpret_cast<const char*>(bytes.data()) + 20, 100);
    EXPECT_EQ(name, "film.avi" + std::string(92, ' '));
    const std::string date(reinterpret_cast<const char*>(bytes.data()) + 120, 36);
    EXPECT_EQ(date, "12/8/2026" + std::string(27, ' '));
    for (std::size_t i = 156; i < 256; ++i) {
        EXPECT_EQ(bytes[i], 0) << "reserved byte " << i;
    }

    const PieceHeader back = DecodeHeader(bytes);
    EXPECT_EQ(back.GroupId, header.GroupId);
    EXPECT_EQ(back.PieceIndex, 2);
    EXPECT_EQ(back.PieceSize, 3'000'000);
    EXPECT_EQ(back.PieceCount, 4);
    EXPECT_EQ(back.SourceLength, -2);
    EXPECT_EQ(StoredText(back.SourceName), "film.avi");
    EXPECT_EQ(StoredText(back.SplitDate), "12/8/2026");
}

TEST(PieceHeader, LengthsAbove2GBGoAfterAMarkerAndEverySmallerOneStaysAsBefore) {
    PieceHeader small;
    SetSourceLength(small, 2'147'483'647);
    const HeaderBytes smallBytes = EncodeHeader(small);
    PieceHeader plain;
    plain.SourceLength = 2'147'483'647;
    EXPECT_EQ(smallBytes, EncodeHeader(plain));  // byte-identical to a header without the extension
    EXPECT_EQ(StoredSourceLength(DecodeHeader(smallBytes)), 2'147'483'647);

    PieceHeader large;
    SetSourceLength(large, 2'147'483'648LL);
    const HeaderBytes bytes = EncodeHeader(large);
    const unsigned char expected[] = {0xFF, 0xFF, 0xFF, 0xFF, 'B', 'L', '6', '4', 0, 0, 0, 0x80, 0, 0, 0, 0};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(bytes[16 + i], expected[i]) << "byte " << 16 + i;
    }
    for (std::size_t i = 4; i < 16; ++i) {
        EXPECT_EQ(bytes[152 + i], expected[i]) << "byte " << 152 + i;
    }
    for (std::size_t i = 168; i < 256; ++i) {
        EXPECT_EQ(bytes[i], 0) << "reserved byte " << i;
    }
    EXPECT_EQ(StoredSourceLength(DecodeHeader(bytes)), 2'147'483'648LL);

    // Damaged: -1 without the marker, a marker beside a real 32-bit length, a marked length
    // that is negative, would fit 32 bits, or is more than 999 pieces hold.
    HeaderBytes damaged = bytes;
    damaged[157] = 'X';
    EXPECT_FALSE(StoredSourceLength(DecodeHeader(damaged)));
    damaged = bytes;
    damaged[16] = 0x10;
    EXPECT_FALSE(StoredSourceLength(DecodeHeader(damaged)));
    for (const std::int64_t impossible : {std::int64_t{-5}, std::int64_t{1000}, kMaxSourceLength + 1}) {
        PieceHeader header;
        header.SourceLength = -1;
        header.LargeSourceLength = impossible;
        EXPECT_FALSE(StoredSourceLength(DecodeHeader(EncodeHeader(header)))) << impossible;
    }
}

TEST(PieceHeader, NamesAreCutToTheirFieldAtACharacterBoundary) {
    PieceHeader header;
    SetSourceName(header, std::string(120, 'a'));
    EXPECT_EQ(header.SourceName, std::string(100, 'a'));

    // 99 ASCII bytes then a two-byte character: it cannot be half kept.
    SetSourceName(header, std::string(99, 'b') + "\xC3\xA9" + "z");
    EXPECT_EQ(header.SourceName, std::string(99, 'b') + " ");
    EXPECT_EQ(StoredText(header.SourceName), std::string(99, 'b'));

    SetSourceName(header, "r\xC3\xA9sum\xC3\xA9.pdf");
    EXPECT_EQ(StoredText(header.SourceName), "r\xC3\xA9sum\xC3\xA9.pdf");

    SetSourceName(header, "   ");
    EXPECT_EQ(header.SourceName, std::string(100, ' '));

    // A long name keeps its extension, and its start is cut at a character boundary.
    const std::string start = std::string(92, 'c') + "\xC3\xA9";
    SetSourceName(header, start + std::string(100, 'd') + ".tar.gz");
    EXPECT_EQ(header.SourceName, std::string(92, 'c') + ".tar.gz" + " ");
    SetSourceName(header, std::string(150, 'e') + ".jpeg");
    EXPECT_EQ(header.SourceName, std::string(95, 'e') + ".jpeg");

    // A name that is not UTF-8 has no characters to keep whole: its bytes are cut.
    SetSourceName(header, "\xE9" + std::string(94, 'f') + "\xC3\xA9" + std::string(20, 'g') + ".txt");
    EXPECT_EQ(header.SourceName, "\xE9" + std::string(94, 'f') + "\xC3" + ".txt");
}

TEST(PieceHeader, AStoredNameEndsAtItsFirstNulByteWhereverItIsRead) {
    EXPECT_EQ(StoredText(std::string("a2\0evil   ", 10)), "a2");
}

TEST(PieceHeader, StoredTextThatIsNotUtf8IsReadAsWindows1252) {
    EXPECT_EQ(StoredText("caf\xE9.txt   "), "caf\xC3\xA9.txt");
    EXPECT_EQ(StoredText("\x80 5"), "\xE2\x82\xAC 5");
    EXPECT_EQ(StoredText("   "), "");
}

TEST(PieceNames, NumberedWithThreeDigitSuffixFromTheSecondPiece) {
    const std::pair<int, const char*> cases[] = {
        {1, "report(1).qmf"},       {2, "report(2).qmf002"},     {10, "report(10).qmf010"},
        {12, "report(12).qmf012"},  {999, "report(999).qmf999"},
    };
    for (const auto& [index, name] : cases) {
        EXPECT_EQ(PieceFileName("report", index), name);
    }
    EXPECT_FALSE(PieceFileName("report", 1000));
    EXPECT_FALSE(PieceFileName("report", 0));
    EXPECT_EQ(PieceFileName("", 2), "(2).qmf002");
    EXPECT_EQ(PieceFileName("a(b)", 1), "a(b)(1).qmf");

    EXPECT_EQ(ZeroPad3(2), "002");
    EXPECT_EQ(ZeroPad3(45), "045");
    EXPECT_EQ(ZeroPad3(100), "100");
    EXPECT_FALSE(ZeroPad3(1000));
}

}  // namespace
}  // namespace brindle
