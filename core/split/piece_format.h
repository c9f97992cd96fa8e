#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The piece file format: every piece is a 256-byte header followed directly by one run of
// the source file's bytes, to the end of the file. All integers are signed 32-bit
// little-endian whatever the host; text fields have no terminator and are padded with spaces.
//
//   offset width field
//        0     4 GroupId       random 0..999,999,999, the same in every piece of one split
//        4     4 PieceIndex    this piece's number, from 1
//        8     4 PieceSize     data bytes of a full piece (also stored in the short last one)
//       12     4 PieceCount    pieces in the group
//       16     4 SourceLength  length of the file that was split
//       20   100 SourceName    its name without folder, leading spaces removed, UTF-8 cut at a
//                              character boundary, space padded
//      120    36 SplitDate     date of the split as short-date text, space padded
//      156   100 Reserved      zeros
//
// Names: piece 1 is G(1).qmf; piece k from 2 to 999 is G(k).qmf followed by k as three digits
// (report(2).qmf002, report(12).qmf012). There is no name for piece 1000.
namespace brindle {

inline constexpr std::size_t kHeaderSize = 256;
inline constexpr std::size_t kGroupIdOffset = 0;
inline constexpr std::size_t kPieceIndexOffset = 4;
inline constexpr std::size_t kPieceSizeOffset = 8;
inline constexpr std::size_t kPieceCountOffset = 12;
inline constexpr std::size_t kSourceLengthOffset = 16;
inline constexpr std::size_t kSourceNameOffset = 20;
inline constexpr std::size_t kSourceNameWidth = 100;
inline constexpr std::size_t kSplitDateOffset = 120;
inline constexpr std::size_t kSplitDateWidth = 36;
inline constexpr std::size_t kReservedOffset = 156;
inline constexpr std::size_t kReservedWidth = 100;

inline constexpr int kMaxPieces = 999;
inline constexpr std::int32_t kMaxGroupId = 999'999'999;
inline constexpr const char* kPieceExtension = "qmf";

using HeaderBytes = std::array<unsigned char, kHeaderSize>;

struct PieceHeader {
    std::int32_t GroupId = 0;
    std::int32_t PieceIndex = 0;
    std::int32_t PieceSize = 0;
    std::int32_t PieceCount = 0;
    std::int32_t SourceLength = 0;
    std::string SourceName;  // as stored: exactly 100 bytes once encoded
    std::string SplitDate;   // as stored: exactly 36 bytes once encoded
};

// Fills the text fields the way a split stores them: leading spaces dropped from the name,
// both cut to their field width at a UTF-8 character boundary and padded with spaces.
void SetSourceName(PieceHeader& header, std::string_view fileName);
void SetSplitDate(PieceHeader& header, std::string_view date);

HeaderBytes EncodeHeader(const PieceHeader& header);
PieceHeader DecodeHeader(const HeaderBytes& bytes);

// A stored text as UTF-8 with its trailing padding removed; bytes that are not valid UTF-8
// are read as Windows-1252, since pieces may come from other systems.
std::string StoredText(std::string_view field);

// "2" -> "002", "45" -> "045"; nothing for numbers that have no three-digit form.
std::optional<std::string> ZeroPad3(int number);

// The file name of piece `index` of group `groupName`; nothing outside 1..999.
std::optional<std::string> PieceFileName(std::string_view groupName, int index,
                                         std::string_view extension = kPieceExtension);

}  // namespace brindle
