#include "checks/group_checks.h"

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

std::string PlaceFault(const PieceHeader& first, const PieceHeader& piece, int number, std::int64_t dataLength) {
    if (piece.PieceIndex != number) {
        return "holds piece " + std::to_string(piece.PieceIndex);
    }
    if (piece.PieceCount != first.PieceCount) {
        return "says the group has " + std::to_string(piece.PieceCount) + " pieces, piece 1 says " +
               std::to_string(first.PieceCount);
    }
    if (piece.PieceSize != first.PieceSize) {
        return "has another piece size than piece 1";
    }
    const std::optional<std::int64_t> length = StoredSourceLength(piece);
    if (!length || *length != *StoredSourceLength(first)) {
        return "has another source length than piece 1";
    }
    const std::int64_t expected = ExpectedData(first, *length, number);
    if (dataLength < expected) {
        return "holds " + std::to_string(expected - dataLength) + " bytes too few";
    }
    if (dataLength > expected) {
        return "holds " + std::to_string(dataLength - expected) + " bytes too many";
    }
    return {};
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
