#include "io/audio_tags.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "io/file_io.h"

#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tiostream.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>

namespace brindle {
namespace {

enum class Kind { kNone, kMpeg, kFlac, kVorbis, kOpus, kMp4 };

Kind KindOf(std::string_view extension) {
    std::string lower(extension);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "mp3") return Kind::kMpeg;
    if (lower == "flac") return Kind::kFlac;
    if (lower == "ogg" || lower == "oga") return Kind::kVorbis;
    if (lower == "opus") return Kind::kOpus;
    if (lower == "m4a" || lower == "mp4" || lower == "m4b") return Kind::kMp4;
    return Kind::kNone;
}

// The library's warnings about damaged tags would reach the terminal.
class Quiet final : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String&) override {}
};

void Silence() {
    static Quiet quiet;
    static const bool set = (TagLib::setDebugListener(&quiet), true);
    (void)set;
}

// Read-only, through the file seam; a read asking past the end gets what is there, so a
// crafted size never makes a large buffer or a long read.
class SeamStream final : public TagLib::IOStream {
public:
    bool Open(const std::string& path) {
        return file_.OpenRead(path).ok() && file_.Size(&size_).ok();
    }
    TagLib::FileName name() const override { return ""; }
    TagLib::ByteVector readBlock(unsigned long length) override {
        const std::int64_t left = std::max<std::int64_t>(size_ - at_, 0);
        const auto n = static_cast<unsigned int>(
            std::min<std::int64_t>({static_cast<std::int64_t>(length), left, std::int64_t{1} << 30}));
        TagLib::ByteVector block(n, '\0');
        if (n == 0 || !file_.Seek(at_).ok() || !file_.ReadExact(block.data(), n).ok()) {
            return {};
        }
        at_ += n;
        return block;
    }
    void writeBlock(const TagLib::ByteVector&) override {}
    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return true; }
    void seek(long offset, Position from) override {
        const std::int64_t base = from == Beginning ? 0 : from == Current ? at_ : size_;
        at_ = std::clamp<std::int64_t>(base + offset, 0, size_);
    }
    long tell() const override { return static_cast<long>(at_); }
    long length() override { return static_cast<long>(size_); }
    void truncate(long) override {}

private:
    io::File file_;
    std::int64_t size_ = 0;
    std::int64_t at_ = 0;
};

std::string First(const TagLib::PropertyMap& map, const char* key) {
    const auto it = map.find(key);
    if (it == map.end() || it->second.isEmpty()) {
        return {};
    }
    return it->second.front().to8Bit(true);
}

std::unique_ptr<TagLib::File> Open(Kind kind, TagLib::IOStream* stream) {
    switch (kind) {
        case Kind::kMpeg:
            return std::make_unique<TagLib::MPEG::File>(stream, TagLib::ID3v2::FrameFactory::instance(), false);
        case Kind::kFlac:
            return std::make_unique<TagLib::FLAC::File>(stream, TagLib::ID3v2::FrameFactory::instance(), false);
        case Kind::kVorbis:
            return std::make_unique<TagLib::Ogg::Vorbis::File>(stream, false);
        case Kind::kOpus:
            return std::make_unique<TagLib::Ogg::Opus::File>(stream, false);
        case Kind::kMp4:
            return std::make_unique<TagLib::MP4::File>(stream, false);
        case Kind::kNone:
            break;
    }
    return nullptr;
}

std::optional<AudioTags> Read(Kind kind, TagLib::IOStream* stream) {
    try {
        Silence();
        stream->seek(0);
        const std::unique_ptr<TagLib::File> file = Open(kind, stream);
        if (file == nullptr || !file->isValid()) {
            return std::nullopt;
        }
        const TagLib::PropertyMap map = file->properties();
        AudioTags tags{First(map, "ARTIST"),      First(map, "ALBUM"), First(map, "TITLE"),
                       First(map, "TRACKNUMBER"), First(map, "DISCNUMBER"),
                       First(map, "DATE"),        First(map, "GENRE")};
        return tags;
    } catch (...) {
        // Whatever a crafted file makes the library throw.
        return std::nullopt;
    }
}

}  // namespace

bool HasAudioTags(std::string_view extension) {
    return KindOf(extension) != Kind::kNone;
}

std::optional<AudioTags> ReadAudioTags(const std::string& path) {
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    const Kind kind = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                          ? Kind::kNone
                          : KindOf(std::string_view(path).substr(dot + 1));
    // A pipe or device in place of a music file is never opened (a read would wait on it);
    // one the system cannot look at has no tags to give.
    io::FileType type = io::FileType::kNone;
    if (kind == Kind::kNone || !io::TypeAt(path, &type).ok() || type != io::FileType::kRegular) {
        return std::nullopt;
    }
    SeamStream stream;
    if (!stream.Open(path)) {
        return std::nullopt;
    }
    return Read(kind, &stream);
}

std::optional<AudioTags> ReadAudioTags(const unsigned char* data, std::size_t size) {
    if (size > (std::size_t{1} << 30)) {
        return std::nullopt;
    }
    const TagLib::ByteVector bytes(reinterpret_cast<const char*>(data), static_cast<unsigned int>(size));
    std::optional<AudioTags> found;
    for (Kind kind : {Kind::kMpeg, Kind::kFlac, Kind::kVorbis, Kind::kOpus, Kind::kMp4}) {
        TagLib::ByteVectorStream stream(bytes);
        auto tags = Read(kind, &stream);
        // Nearly any bytes pass as MP3, so a kind that finds a title wins over it.
        if (tags && (!found || (found->title.empty() && !tags->title.empty()))) {
            found = std::move(tags);
        }
    }
    return found;
}

}  // namespace brindle
