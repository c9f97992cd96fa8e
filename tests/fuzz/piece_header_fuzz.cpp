// A crafted first piece: its header read, described and planned for a join, and the join run
// when the plan holds, all in one scratch folder. A second piece, when the input asks for
// one, is the same bytes under the next name, so the engine's checks see a whole group.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "format/discovery.h"
#include "format/piece_format.h"
#include "join/join_engine.h"
#include "shell/paths.h"

namespace {

class QuietProgress : public brindle::Progress {
public:
    int Max() const override { return 10000; }
    int Value() const override { return value_; }
    void SetValue(int value) override { value_ = value; }

private:
    int value_ = 0;
};

std::string g_folder;

void RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
}

void Write(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) {
        abort();
    }
    if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        abort();
    }
    ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/brindle-fuzz.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        abort();
    }
    g_folder = pattern;
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Whatever the bytes, the header reads back as it was written.
    brindle::HeaderBytes bytes{};
    std::memcpy(bytes.data(), data, std::min(size, bytes.size()));
    const brindle::PieceHeader decoded = brindle::DecodeHeader(bytes);
    const brindle::HeaderBytes again = brindle::EncodeHeader(decoded);
    if (std::memcmp(again.data(), bytes.data(), brindle::kReservedOffset) != 0) {
        abort();
    }
    const std::string original = brindle::SafeOriginalName(decoded, "g");
    if (original.empty() || original.find('/') != std::string::npos || original == "." ||
        original == "..") {
        abort();
    }
    (void)brindle::DescribeGroup(decoded, ',');

    for (const auto& entry : std::filesystem::directory_iterator(g_folder)) {
        std::filesystem::remove(entry.path());
    }
    const std::string first = brindle::JoinPath(g_folder, "g(1).qmf");
    Write(first, data, size);
    if (size > 0 && (data[size - 1] & 1) != 0) {
        Write(brindle::JoinPath(g_folder, "g(2).qmf002"), data, size);
    }
    brindle::PieceHeader read;
    const brindle::Status status = brindle::ReadPieceHeader(first, &read);
    if (status.ok() != (size >= brindle::kHeaderSize)) {
        abort();
    }
    const brindle::JoinPlan plan = brindle::PlanJoin(g_folder, "g");
    if (!plan.Ready()) {
        return 0;
    }
    QuietProgress progress;
    const std::string output = brindle::JoinPath(g_folder, original);
    const brindle::Status joined = brindle::JoinPieces({output, plan.pieces}, progress);
    if (joined.ok()) {
        // The joined file is exactly the data the pieces carried, so its length is the sum.
        const auto length = std::filesystem::file_size(output);
        if (length != (size - brindle::kHeaderSize) * plan.pieces.size()) {
            abort();
        }
    }
    return 0;
}
