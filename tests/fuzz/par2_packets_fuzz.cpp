// The reader of PAR2 packets, over recovery files that may come from anywhere: whatever the
// bytes say of lengths and counts it ends, in work bounded by the file's size, and what it
// takes is consistent: a set's ids are from its main packet, a file's checksums as many as
// its packet held, a recovery block inside the file.
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "recovery/par2_packets.h"

namespace {

class Bytes : public brindle::recovery::par2::Source {
public:
    explicit Bytes(std::string bytes) : bytes_(std::move(bytes)) {}
    std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    brindle::Status ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
        ++reads;
        if (offset < 0 || static_cast<std::size_t>(offset) > bytes_.size() || n > bytes_.size() - static_cast<std::size_t>(offset)) {
            abort();  // the reader never asks beyond the file
        }
        std::memcpy(buffer, bytes_.data() + offset, n);
        return brindle::Status::Ok();
    }
    std::int64_t reads = 0;

private:
    std::string bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brindle::recovery::par2;
    // Valid packets make the reader go deep: the input is packed as packets of its own
    // choosing when it starts with 'P', so the hash check lets them through.
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!bytes.empty() && bytes[0] == 'P' && bytes.size() > 2) {
        const Type* types[] = {&kMainType, &kFileDescType, &kIfscType, &kRecoveryType, &kCreatorType};
        std::string packed;
        std::size_t at = 1;
        while (at + 2 <= bytes.size()) {
            const Type& type = *types[static_cast<unsigned char>(bytes[at]) % 5];
            const std::size_t length = std::min<std::size_t>(static_cast<unsigned char>(bytes[at + 1]) * 4U, bytes.size() - at - 2);
            packed += Packet(Md5{}, type, bytes.substr(at + 2, length));
            at += 2 + length;
        }
        bytes = packed + bytes;
    }
    Bytes source(bytes);
    Scan scan;
    if (!ScanPackets(source, 0, &scan).ok()) {
        abort();
    }
    if (source.reads > 4 + static_cast<std::int64_t>(bytes.size())) {
        abort();  // reads stay in proportion to the file
    }
    for (const auto& [id, set] : scan.sets) {
        for (const auto& [exponent, block] : set.blocks) {
            if (block.offset < 0 || block.offset + static_cast<std::int64_t>(block.bytes) > source.Size()) {
                abort();
            }
        }
        if (set.hasMain && (set.sliceSize == 0 || set.sliceSize % 4 != 0)) {
            abort();
        }
    }
    (void)CompleteSet(scan);
    return 0;
}
