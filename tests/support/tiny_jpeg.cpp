#include "support/tiny_jpeg.h"

#include <cstdint>

namespace brindle::test {
namespace {

void Put16(std::string& out, unsigned value, bool bigEndian) {
    const char high = static_cast<char>((value >> 8) & 0xFF);
    const char low = static_cast<char>(value & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
}

void Put32LE(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

// A little-endian TIFF block: IFD0 points to the Exif IFD, which holds DateTimeOriginal.
std::string ExifBlock(const std::string& date) {
    std::string tiff("II*\0", 4);
    Put32LE(tiff, 8);
    Put16(tiff, 1, false);          // IFD0: one entry
    Put16(tiff, 0x8769, false);     // ExifIFDPointer
    Put16(tiff, 4, false);          // LONG
    Put32LE(tiff, 1);
    Put32LE(tiff, 26);              // where the Exif IFD starts
    Put32LE(tiff, 0);               // no next IFD
    Put16(tiff, 1, false);          // Exif IFD: one entry
    Put16(tiff, 0x9003, false);     // DateTimeOriginal
    Put16(tiff, 2, false);          // ASCII
    Put32LE(tiff, static_cast<std::uint32_t>(date.size() + 1));
    Put32LE(tiff, 44);              // where the text starts
    Put32LE(tiff, 0);
    tiff += date;
    tiff += '\0';
    return std::string("Exif\0\0", 6) + tiff;
}

}  // namespace

std::string TinyJpeg(const std::optional<std::string>& dateTimeOriginal) {
    std::string jpeg("\xFF\xD8", 2);
    if (dateTimeOriginal) {
        const std::string app1 = ExifBlock(*dateTimeOriginal);
        jpeg += "\xFF\xE1";
        Put16(jpeg, static_cast<unsigned>(app1.size() + 2), true);
        jpeg += app1;
    }
    // One quantisation table of ones, a 1x1 one-component frame, one-code Huffman tables
    // and a scan whose only block is "DC 0, end of block".
    jpeg.append("\xFF\xDB\x00\x43\x00", 5);
    jpeg.append(64, '\x01');
    jpeg += std::string("\xFF\xC0\x00\x0B\x08\x00\x01\x00\x01\x01\x01\x11\x00", 13);
    for (const char tableClass : {'\x00', '\x10'}) {
        jpeg.append("\xFF\xC4\x00\x14", 4);
        jpeg += tableClass;
        jpeg += '\x01';
        jpeg.append(16, '\0');  // no more code lengths, then the one symbol: 0
    }
    jpeg += std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10);
    jpeg += std::string("\x3F\xFF\xD9", 3);
    return jpeg;
}

}  // namespace brindle::test
