#include "format/group_checks.h"

#include <optional>

#include "checks/sha256.h"
#include "checks/xxh3.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

// Data bytes of piece `number`; the first piece has been checked, so this is 1 or more.
std::int64_t ExpectedData(const PieceHeader& first, std::int64_t length, int number) {
    return number < first.PieceCount ? first.PieceSize
                                     : length - std::int64_t{first.PieceCount - 1} * first.PieceSize;
}

}  // namespace

Status CheckFirstPiece(const PieceHeader& first, const std::string& path) {
    const std::optional<std::int64_t> length = StoredSourceLength(first);
    const std::int64_t count = first.PieceCount;
    const std::int64_t size = first.PieceSize;
    if (!length || count < 1 || count > kMaxPieces || size < 1 || (count - 1) * size >= *length ||
        *length > count * size) {
        return Status::Corruption(Fill(Tr("the first piece's header is damaged: %1"), {path}));
    }
    return Status::Ok();
}

namespace {

// How a piece's header misfits its place, found once for both ways of saying it.
struct Misfit {
    enum class Kind { kNone, kOtherPiece, kOtherCount, kOtherSize, kOtherLength, kTooFew, kTooMany };
    Kind kind = Kind::kNone;
    std::int64_t value = 0;  // the piece it holds, the count it says, or the bytes too few or too many
    std::int64_t first = 0;  // piece 1's count
};

Misfit FindMisfit(const PieceHeader& first, const PieceHeader& piece, int number, std::int64_t dataLength) {
    using Kind = Misfit::Kind;
    if (piece.PieceIndex != number) {
        return {Kind::kOtherPiece, piece.PieceIndex};
    }
    if (piece.PieceCount != first.PieceCount) {
        return {Kind::kOtherCount, piece.PieceCount, first.PieceCount};
    }
    if (piece.PieceSize != first.PieceSize) {
        return {Kind::kOtherSize};
    }
    const std::optional<std::int64_t> length = StoredSourceLength(piece);
    if (!length || *length != *StoredSourceLength(first)) {
        return {Kind::kOtherLength};
    }
    const std::int64_t expected = ExpectedData(first, *length, number);
    if (dataLength < expected) {
        return {Kind::kTooFew, expected - dataLength};
    }
    if (dataLength > expected) {
        return {Kind::kTooMany, dataLength - expected};
    }
    return {};
}

}  // namespace

std::string PlaceFault(const PieceHeader& first, const PieceHeader& piece, int number, std::int64_t dataLength) {
    const Misfit misfit = FindMisfit(first, piece, number, dataLength);
    const std::string value = std::to_string(misfit.value);
    switch (misfit.kind) {
        case Misfit::Kind::kNone: return {};
        case Misfit::Kind::kOtherPiece: return "holds piece " + value;
        case Misfit::Kind::kOtherCount:
            return "says the group has " + value + " pieces, piece 1 says " + std::to_string(misfit.first);
        case Misfit::Kind::kOtherSize: return "has another piece size than piece 1";
        case Misfit::Kind::kOtherLength: return "has another source length than piece 1";
        case Misfit::Kind::kTooFew: return "holds " + value + " bytes too few";
        case Misfit::Kind::kTooMany: return "holds " + value + " bytes too many";
    }
    return {};
}

Status CheckPlace(const PieceHeader& first, const PieceHeader& piece, int number, std::int64_t dataLength,
                  const std::string& path) {
    const Misfit misfit = FindMisfit(first, piece, number, dataLength);
    const std::string value = std::to_string(misfit.value);
    const auto n = static_cast<unsigned long>(misfit.value);
    std::string text;
    switch (misfit.kind) {
        case Misfit::Kind::kNone: return Status::Ok();
        case Misfit::Kind::kOtherPiece:
            text = Fill(Tr("the piece does not fit its place (it holds piece %1): %2"), {value, path});
            break;
        case Misfit::Kind::kOtherCount:
            text = Fill(TrN("the piece does not fit its place (it says the group has %1 piece, piece 1 says %2): %3",
                            "the piece does not fit its place (it says the group has %1 pieces, piece 1 says %2): %3",
                            n),
                        {value, std::to_string(misfit.first), path});
            break;
        case Misfit::Kind::kOtherSize:
            text = Fill(Tr("the piece does not fit its place (it has another piece size than piece 1): %1"), {path});
            break;
        case Misfit::Kind::kOtherLength:
            text = Fill(Tr("the piece does not fit its place (it has another source length than piece 1): %1"),
                        {path});
            break;
        case Misfit::Kind::kTooFew:
            text = Fill(TrN("the piece does not fit its place (it holds %1 byte too few): %2",
                            "the piece does not fit its place (it holds %1 bytes too few): %2", n),
                        {value, path});
            break;
        case Misfit::Kind::kTooMany:
            text = Fill(TrN("the piece does not fit its place (it holds %1 byte too many): %2",
                            "the piece does not fit its place (it holds %1 bytes too many): %2", n),
                        {value, path});
            break;
    }
    return Status::Corruption(text);
}

PieceHashes::PieceHashes(const HeaderBytes& header, const std::string* sha256) {
    const PieceHeader decoded = DecodeHeader(header);
    if (decoded.DataHash) {
        data_ = std::make_unique<Xxh3>();
        data_->Update(header.data(), kHashedHeaderLength);
        stored_.assign(decoded.DataHash->begin(), decoded.DataHash->end());
    }
    if (sha256 != nullptr) {
        sha256_ = std::make_unique<Sha256>();
        sha256_->Update(header.data(), header.size());
        expected_ = *sha256;
    }
}

std::vector<Digest*> PieceHashes::digests() const {
    std::vector<Digest*> all;
    for (Digest* digest : {data_.get(), sha256_.get()}) {
        if (digest != nullptr) {
            all.push_back(digest);
        }
    }
    return all;
}

Status PieceHashes::Check(const std::string& path) {
    if (data_ && data_->RawDigest() != stored_) {
        dataMismatch_ = true;
        return Status::Corruption(Fill(
            Tr("%1: damaged (its data does not match its header's hash)"), {GetFileName(path)}));
    }
    if (sha256_ && sha256_->HexDigest() != expected_) {
        return Status::Corruption(
            Fill(Tr("the piece is damaged (its checksum does not match): %1"), {path}));
    }
    return Status::Ok();
}

}  // namespace brindle
