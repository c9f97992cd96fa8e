#include "format/piece_format.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace brindle {
namespace {

void PutInt32(HeaderBytes& bytes, std::size_t offset, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<unsigned char>((bits >> (8 * i)) & 0xFF);
    }
}

void PutInt64(HeaderBytes& bytes, std::size_t offset, std::int64_t value) {
    const auto bits = static_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < 8; ++i) {
        bytes[offset + i] = static_cast<unsigned char>((bits >> (8 * i)) & 0xFF);
    }
}

std::int64_t GetInt64(const HeaderBytes& bytes, std::size_t offset) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        bits |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * i);
    }
    return static_cast<std::int64_t>(bits);
}

std::int32_t GetInt32(const HeaderBytes& bytes, std::size_t offset) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        bits |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
    }
    return static_cast<std::int32_t>(bits);
}

// Length of the valid UTF-8 sequence starting at `i`, or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t min = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

// The last character boundary of `text` that fits `width` bytes.
std::size_t FitLength(std::string_view text, std::size_t width) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t length = std::max<std::size_t>(Utf8SequenceLength(text, end), 1);
        if (end + length > width) {
            break;
        }
        end += length;
    }
    return end;
}

// Cuts at the last character boundary that fits `width` bytes, then pads with spaces.
std::string FitField(std::string_view text, std::size_t width) {
    std::string field(text.substr(0, FitLength(text, width)));
    field.resize(width, ' ');
    return field;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Windows-1252 for 0x80..0x9F; the bytes it leaves undefined map to the same C1 code.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The extension a shortened name keeps: from its last ".", with a short inner one before it
// (".tar.gz"); empty when there is none or it would take most of the field.
std::string_view KeptExtension(std::string_view name) {
    constexpr std::size_t kLongest = 32;
    const auto isShortPart = [](std::string_view part) {
        return !part.empty() && part.size() <= 4 &&
               std::all_of(part.begin(), part.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    };
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot > kLongest) {
        return {};
    }
    const auto inner = name.rfind('.', dot - 1);
    if (inner != std::string_view::npos && inner > 0 && isShortPart(name.substr(inner + 1, dot - inner - 1))) {
        return name.substr(inner);
    }
    return name.substr(dot);
}

}  // namespace

std::string StoredSourceName(std::string_view fileName) {
    const auto first = fileName.find_first_not_of(' ');
    fileName = first == std::string_view::npos ? std::string_view{} : fileName.substr(first);
    if (fileName.size() <= kSourceNameWidth) {
        return std::string(fileName);
    }
    const std::string_view extension = KeptExtension(fileName);
    const std::string_view start = fileName.substr(0, fileName.size() - extension.size());
    const std::size_t room = kSourceNameWidth - extension.size();
    // Bytes that are not UTF-8 have no characters to keep whole.
    const std::size_t kept = IsValidUtf8(fileName) ? FitLength(start, room) : room;
    return std::string(start.substr(0, kept)) + std::string(extension);
}

void SetSourceName(PieceHeader& header, std::string_view fileName) {
    header.SourceName = FitField(StoredSourceName(fileName), kSourceNameWidth);
}

void SetSourceLength(PieceHeader& header, std::int64_t length) {
    if (length <= std::numeric_limits<std::int32_t>::max()) {
        header.SourceLength = static_cast<std::int32_t>(length);
        header.LargeSourceLength.reset();
    } else {
        header.SourceLength = kLargeLengthFlag;
        header.LargeSourceLength = length;
    }
}

std::optional<std::int64_t> StoredSourceLength(const PieceHeader& header) {
    if (!header.LargeSourceLength) {
        if (header.SourceLength == kLargeLengthFlag) {
            return std::nullopt;
        }
        return header.SourceLength;
    }
    const std::int64_t length = *header.LargeSourceLength;
    if (header.SourceLength != kLargeLengthFlag || length <= std::numeric_limits<std::int32_t>::max() ||
        length > kMaxSourceLength) {
        return std::nullopt;
    }
    return length;
}

void SetSplitDate(PieceHeader& header, std::string_view date) {
    header.SplitDate = FitField(date, kSplitDateWidth);
}

HeaderBytes EncodeHeader(const PieceHeader& header) {
    HeaderBytes bytes{};
    PutInt32(bytes, kGroupIdOffset, header.GroupId);
    PutInt32(bytes, kPieceIndexOffset, header.PieceIndex);
    PutInt32(bytes, kPieceSizeOffset, header.PieceSize);
    PutInt32(bytes, kPieceCountOffset, header.PieceCount);
    PutInt32(bytes, kSourceLengthOffset, header.SourceLength);
    const std::string name = FitField(header.SourceName, kSourceNameWidth);
    const std::string date = FitField(header.SplitDate, kSplitDateWidth);
    std::memcpy(bytes.data() + kSourceNameOffset, name.data(), kSourceNameWidth);
    std::memcpy(bytes.data() + kSplitDateOffset, date.data(), kSplitDateWidth);
    if (header.LargeSourceLength) {
        std::memcpy(bytes.data() + kLargeLengthMarkerOffset, kLargeLengthMarker.data(),
                    kLargeLengthMarker.size());
        PutInt64(bytes, kLargeSourceLengthOffset, *header.LargeSourceLength);
    }
    if (header.DataHash) {
        std::memcpy(bytes.data() + kDataHashMarkerOffset, kDataHashMarker.data(), kDataHashMarker.size());
        std::memcpy(bytes.data() + kDataHashOffset, header.DataHash->data(), kDataHashWidth);
    }
    return bytes;  // the rest of Reserved stays zero
}

PieceHeader DecodeHeader(const HeaderBytes& bytes) {
    PieceHeader header;
    header.GroupId = GetInt32(bytes, kGroupIdOffset);
    header.PieceIndex = GetInt32(bytes, kPieceIndexOffset);
    header.PieceSize = GetInt32(bytes, kPieceSizeOffset);
    header.PieceCount = GetInt32(bytes, kPieceCountOffset);
    header.SourceLength = GetInt32(bytes, kSourceLengthOffset);
    const auto* data = reinterpret_cast<const char*>(bytes.data());
    header.SourceName.assign(data + kSourceNameOffset, kSourceNameWidth);
    header.SplitDate.assign(data + kSplitDateOffset, kSplitDateWidth);
    if (std::memcmp(bytes.data() + kLargeLengthMarkerOffset, kLargeLengthMarker.data(),
                    kLargeLengthMarker.size()) == 0) {
        header.LargeSourceLength = GetInt64(bytes, kLargeSourceLengthOffset);
    }
    if (std::memcmp(bytes.data() + kDataHashMarkerOffset, kDataHashMarker.data(), kDataHashMarker.size()) == 0) {
        auto& hash = header.DataHash.emplace();
        std::memcpy(hash.data(), bytes.data() + kDataHashOffset, kDataHashWidth);
    }
    return header;
}

std::string StoredBytes(std::string_view field) {
    // A file name ends at a NUL byte wherever it is used, so its reading ends there too.
    field = field.substr(0, field.find('\0'));
    const auto last = field.find_last_not_of(' ');
    return std::string(last == std::string_view::npos ? std::string_view{} : field.substr(0, last + 1));
}

std::string StoredText(std::string_view field) {
    const std::string bytes = StoredBytes(field);
    if (IsValidUtf8(bytes)) {
        return bytes;
    }
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && byte < 0xA0) {
            AppendUtf8(text, kCp1252High[byte - 0x80]);
        } else {
            AppendUtf8(text, byte);
        }
    }
    return text;
}

std::optional<std::string> ZeroPad3(int number) {
    std::string digits = std::to_string(number);
    if (number < 0 || digits.size() > 3) {
        return std::nullopt;
    }
    return std::string(3 - digits.size(), '0') + digits;
}

std::optional<std::string> PieceFileName(std::string_view groupName, int index,
                                         std::string_view extension) {
    if (index < 1 || index > kMaxPieces) {
        return std::nullopt;
    }
    std::string name(groupName);
    name += '(' + std::to_string(index) + ")." + std::string(extension);
    if (index >= 2) {
        name += *ZeroPad3(index);
    }
    return name;
}

}  // namespace brindle
