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
//       20   100 SourceName    its name without folder as its bytes, leading spaces removed; a
//                              longer name keeps its start and its extension, cut at a UTF-8
//                              character boundary when the name is UTF-8; space padded
//      120    36 SplitDate     date of the split as short-date text, space padded
//      156   100 Reserved      zeros, except for the large length and the data hash below
//
// Sources above 2 GB. SourceLength cannot hold their length, so it holds -1 (no real length
// is negative, so no reader mistakes it), and Reserved begins with the 4-byte marker "BL64"
// followed by the true length as a signed 64-bit little-endian number; the rest stays zero.
//
//      156     4 LargeLengthMarker  'B' 'L' '6' '4' (zero bytes can never form it)
//      160     8 LargeSourceLength  length of the file that was split
//
// Every piece stays at most 2,147,483,647 bytes, so PieceSize keeps its 32-bit meaning, and a
// reader that knows only the 32-bit length still joins such a group by GroupId and file
// lengths. A -1 without the marker, or a marker with an impossible length, is a damaged header.
//
// The data hash. Each piece this program writes checks itself: after the large-length
// fields (zero when unused) Reserved holds a marker and the XXH3-128 hash (seed 0) of the
// header's bytes 0 to 167 followed by all of the piece's data, in XXH3's canonical
// (big-endian) form; the rest stays zero. Pieces of an earlier writer have no marker and are
// joined unchecked; a split asked for none writes Reserved as zeros.
//
//      168     4 DataHashMarker  'B' 'X' '3' 'H'
//      172    16 DataHash        the hash
//      188    68                 zeros
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
inline constexpr std::size_t kLargeLengthMarkerOffset = 156;
inline constexpr std::size_t kLargeSourceLengthOffset = 160;
inline constexpr std::array<unsigned char, 4> kLargeLengthMarker = {'B', 'L', '6', '4'};
inline constexpr std::int32_t kLargeLengthFlag = -1;  // SourceLength of a large source
inline constexpr std::size_t kDataHashMarkerOffset = 168;
inline constexpr std::size_t kDataHashOffset = 172;
inline constexpr std::size_t kDataHashWidth = 16;
inline constexpr std::array<unsigned char, 4> kDataHashMarker = {'B', 'X', '3', 'H'};
// The header bytes the data hash covers, before the piece's data: all up to its marker.
inline constexpr std::size_t kHashedHeaderLength = kDataHashMarkerOffset;

inline constexpr int kMaxPieces = 999;
inline constexpr std::int32_t kMaxGroupId = 999'999'999;
inline constexpr const char* kPieceExtension = "qmf";
// The largest piece file, header included, and so the largest source 999 pieces can hold.
inline constexpr std::int64_t kMaxPieceFileSize = 2'147'483'647;
inline constexpr std::int64_t kMaxSourceLength =
    kMaxPieces * (kMaxPieceFileSize - static_cast<std::int64_t>(kHeaderSize));

using HeaderBytes = std::array<unsigned char, kHeaderSize>;
using DataHashBytes = std::array<unsigned char, kDataHashWidth>;

struct PieceHeader {
    std::int32_t GroupId = 0;
    std::int32_t PieceIndex = 0;
    std::int32_t PieceSize = 0;
    std::int32_t PieceCount = 0;
    std::int32_t SourceLength = 0;
    std::string SourceName;  // as stored: exactly 100 bytes once encoded
    std::string SplitDate;   // as stored: exactly 36 bytes once encoded
    // The Reserved bytes' length of a source above 2 GB, when they carry the marker.
    std::optional<std::int64_t> LargeSourceLength;
    // The hash of the piece's data, when Reserved carries its marker.
    std::optional<DataHashBytes> DataHash;
};

// Stores a source length: in SourceLength up to 2,147,483,647 bytes, above that as -1 plus
// the marked 64-bit length.
void SetSourceLength(PieceHeader& header, std::int64_t length);

// The length of the file that was split, or nothing when the header's length is damaged (a
// -1 without the marker, a marker beside any other SourceLength, or a marked length that is
// negative, fits in 32 bits, or exceeds what 999 pieces can hold).
std::optional<std::int64_t> StoredSourceLength(const PieceHeader& header);

// The name a split stores for a source file, as bytes: leading spaces dropped, and a name
// longer than the field cut before its extension, which it keeps ("aaaa….tar.gz"); a UTF-8
// name is cut at a character boundary, any other name where the bytes run out.
std::string StoredSourceName(std::string_view fileName);

// Fill the text fields the way a split stores them: the name as StoredSourceName gives it,
// the date cut to its width at a character boundary, both padded with spaces.
void SetSourceName(PieceHeader& header, std::string_view fileName);
void SetSplitDate(PieceHeader& header, std::string_view date);

HeaderBytes EncodeHeader(const PieceHeader& header);
PieceHeader DecodeHeader(const HeaderBytes& bytes);

// A stored text's own bytes, up to its first NUL byte and without its trailing padding: what
// a file name is given back as.
std::string StoredBytes(std::string_view field);

// A stored text as UTF-8 for showing, up to its first NUL byte and without its trailing padding; bytes
// that are not valid UTF-8 are read as Windows-1252, since pieces may come from other systems.
std::string StoredText(std::string_view field);

// "2" -> "002", "45" -> "045"; nothing for numbers that have no three-digit form.
std::optional<std::string> ZeroPad3(int number);

// The file name of piece `index` of group `groupName`; nothing outside 1..999.
std::optional<std::string> PieceFileName(std::string_view groupName, int index,
                                         std::string_view extension = kPieceExtension);

}  // namespace brindle
