#include "join/rebuilding_join.h"

namespace brindle {

bool IsDataFault(const Status& status) {
    return status.code() == Status::Code::kCorruption || status.code() == Status::Code::kMismatch;
}

Status JoinRebuildingInOnePass(const recovery::Input& input, const recovery::Check& check, JoinParams params,
                               Progress& progress) {
    params.pieces = input.files;
    const PiecePass pass{recovery::RebuiltLengths(check), [&](const PiecePass::Bytes& bytes, const PiecePass::Tick& tick) {
                             return recovery::RebuildInOnePass(input, check, bytes, tick);
                         }};
    return JoinPiecesInOnePass(params, pass, progress);
}

}  // namespace brindle
