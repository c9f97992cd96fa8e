#include "join/join_engine.h"

#include <limits>
#include <optional>

#include "join/checksums.h"
#include "join/discovery.h"
#include "join/group_checks.h"
#include "shell/atomic_file.h"
#include "shell/file_io.h"
#include "shell/hash_pool.h"
#include "shell/paths.h"
#include "split/piece_format.h"

namespace brindle {
namespace {

struct PieceInfo {
    HeaderBytes bytes{};
    PieceHeader header;
    std::int64_t dataLength = 0;
};

Status ReadPiece(io::File& file, const std::string& path, PieceInfo* info) {
    Status status = file.OpenRead(path);
    if (!status.ok()) {
        return status;
    }
    std::int64_t size = 0;
    status = file.Size(&size);
    if (!status.ok()) {
        return status;
    }
    info->dataLength = size - static_cast<std::int64_t>(kHeaderSize);
    if (info->dataLength < 1) {
        return Status::Corruption("the piece holds no data: " + path);
    }
    status = file.ReadExact(info->bytes.data(), info->bytes.size());
    if (status.ok()) {
        info->header = DecodeHeader(info->bytes);
    }
    return status;
}

// Every piece belongs to the first one's split and sits in its own place, so together they
// hold exactly its bytes in order.
Status CheckPieces(const std::vector<std::string>& pieces, std::vector<PieceInfo>* infos) {
    for (const std::string& path : pieces) {
        io::File file;
        PieceInfo info;
        Status status = ReadPiece(file, path, &info);
        if (!status.ok()) {
            return status;
        }
        if (infos->empty()) {
            status = CheckFirstPiece(info.header, path);
            if (status.ok() && info.header.PieceCount != static_cast<std::int64_t>(pieces.size())) {
                status = Status::Corruption("the group has " + std::to_string(info.header.PieceCount) +
                                            " pieces, " + std::to_string(pieces.size()) + " were given");
            }
            if (!status.ok()) {
                return status;
            }
        }
        const PieceHeader& first = infos->empty() ? info.header : infos->front().header;
        if (info.header.GroupId != first.GroupId) {
            return Status::Mismatch("the piece comes from another split: " + path);
        }
        const std::string fault = PlaceFault(first, info.header, static_cast<int>(infos->size()) + 1, info.dataLength);
        if (!fault.empty()) {
            return Status::Corruption("the piece does not fit its place (it " + fault + "): " + path);
        }
        infos->push_back(std::move(info));
    }
    return Status::Ok();
}

// With `hashing`, each piece's range of the output is hashed (the header that was checked,
// then the bytes as written) on a worker while the next piece is copied; a piece changed
// while it was copied is caught before the output takes its place.
Status CopyPieces(const std::vector<std::string>& pieces, const std::vector<PieceInfo>& infos,
                  io::AtomicFile& output, const ChecksumList& checks, HashPool* hashing, int step,
                  Progress& progress) {
    std::vector<char> scratch;
    std::int64_t offset = 0;
    for (std::size_t i = 0; i < pieces.size() && !(hashing != nullptr && hashing->Failed()); ++i) {
        io::File file;
        PieceInfo now;
        Status status = ReadPiece(file, pieces[i], &now);
        if (!status.ok()) {
            return status;
        }
        // The piece may have changed since it was checked; join only what was checked.
        if (now.dataLength != infos[i].dataLength || now.bytes != infos[i].bytes) {
            return Status::Corruption("the piece changed during the join: " + pieces[i]);
        }
        const int before = progress.Value();
        ByteMeter meter(progress, now.dataLength, before + step);
        status = io::CopyRange(file, output.file(), now.dataLength, scratch,
                               [&meter](std::int64_t done) { return meter(done); });
        if (status.ok() && hashing != nullptr) {
            io::File written;
            status = output.file().Flush();
            if (status.ok()) {
                status = written.OpenRead(output.temporaryPath());
            }
            if (status.ok()) {
                hashing->Add(std::move(written), std::string(infos[i].bytes.begin(), infos[i].bytes.end()), offset,
                             now.dataLength, checks.at(GetFileName(pieces[i])), pieces[i]);
            }
        }
        if (!status.ok()) {
            return status;
        }
        offset += now.dataLength;
        (void)file.Close();
        progress.Yield();
        progress.SetValue(before + step);
        progress.SetPercentText(PercentText(progress.Value(), progress.Max()));
    }
    return Status::Ok();
}

// The copy moves the first half of the bar and the hashing behind it the second, both at
// once: the bar shows their sum, which only grows.
class CopyAndHashBar final : public Progress {
public:
    CopyAndHashBar(Progress& outer, const HashPool& pool, std::int64_t bytes)
        : outer_(outer), pool_(pool), bytes_(bytes) {}
    int Max() const override { return outer_.Max(); }
    int Value() const override { return copied_; }
    void SetValue(int value) override {
        copied_ = value;
        Show();
    }
    void Yield() override { outer_.Yield(); }
    bool StopRequested() const override { return outer_.StopRequested(); }
    bool Show() {
        const std::int64_t max = outer_.Max();
        const std::int64_t hashed = std::min(pool_.HashedBytes(), bytes_);
        const auto value = static_cast<int>(copied_ / 2 + (bytes_ > 0 ? (max - max / 2) * hashed / bytes_ : 0));
        if (value > shown_) {
            shown_ = value;
            outer_.SetValue(value);
            outer_.SetPercentText(PercentText(value, outer_.Max()));
        }
        return !outer_.StopRequested();
    }

private:
    Progress& outer_;
    const HashPool& pool_;
    std::int64_t bytes_;
    int copied_ = 0;
    int shown_ = 0;
};

}  // namespace

Status JoinPieces(const JoinParams& params, Progress& progress) {
    if (params.pieces.empty()) {
        return Status::InvalidArgument("there are no pieces to join");
    }
    const std::int64_t step = progress.Max() / static_cast<std::int64_t>(params.pieces.size());
    if (step > std::numeric_limits<std::int16_t>::max()) {
        return Status::InvalidArgument("the progress bar is too long");
    }
    if (params.outputPath.empty() || GetFileName(params.outputPath).empty()) {
        return Status::InvalidArgument("no file to write was given");
    }
    for (const std::string& piece : params.pieces) {
        if (piece == params.outputPath || io::SameFile(piece, params.outputPath)) {
            return Status::InvalidArgument("the joined file would replace one of its pieces: " + piece);
        }
    }
    if (!params.replaceExisting && io::Exists(params.outputPath)) {
        return Status::InvalidArgument("a file is already there: " + params.outputPath);
    }
    std::vector<PieceInfo> infos;
    Status status = CheckPieces(params.pieces, &infos);
    if (!status.ok()) {
        return status;
    }
    const std::string& first = params.pieces.front();
    std::vector<std::string> names;
    for (const std::string& piece : params.pieces) {
        names.push_back(GetFileName(piece));
    }
    GroupChecksums checksums;
    status = LoadGroupChecksums(GetFolderName(first), GroupNameFromPiece(first), infos.front().header.GroupId,
                                names, &checksums);
    for (std::size_t i = 0; status.ok() && checksums.used && i < names.size(); ++i) {
        if (checksums.list.count(names[i]) == 0) {
            status = Status::Corruption("the checksum file does not list " + params.pieces[i]);
        }
    }
    if (!status.ok()) {
        return status;
    }

    // Hashing what was written is part of the work: half the bar, moving beside the copy.
    std::int64_t dataBytes = 0;
    for (const PieceInfo& info : infos) {
        dataBytes += info.dataLength;
    }

    io::AtomicFile output(params.outputPath);
    status = output.Open();
    if (status.ok()) {
        // Declared after the output, so its workers are done before the temporary goes.
        std::optional<HashPool> pool;
        if (checksums.used) {
            pool.emplace();
        }
        std::optional<CopyAndHashBar> bar;
        if (pool) {
            bar.emplace(progress, *pool, dataBytes);
        }
        status = CopyPieces(params.pieces, infos, output, checksums.list, pool ? &*pool : nullptr,
                            static_cast<int>(step), bar ? static_cast<Progress&>(*bar) : progress);
        if (pool) {
            if (!status.ok()) {
                pool->Stop();
            }
            if (!pool->Wait([&bar](std::int64_t) { return bar->Show(); }) && status.ok()) {
                status = Status::Cancelled();
            }
            if (status.ok()) {
                status = pool->FirstFailure();
            }
        }
    }
    if (status.ok() && progress.StopRequested()) {
        status = Status::Cancelled();  // asked in the last moment: still nothing published
    }
    if (status.ok()) {
        status = output.Commit(params.replaceExisting ? io::AtomicFile::Move::kReplace
                                                      : io::AtomicFile::Move::kNoReplace);
    }
    if (!status.ok()) {
        return status;
    }
    progress.SetValue(progress.Max());
    progress.SetPercentText("100");
    return Status::Ok();
}

}  // namespace brindle
