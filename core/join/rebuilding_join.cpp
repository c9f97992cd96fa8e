#include "join/rebuilding_join.h"

#include "format/checksums.h"
#include "join/numbered_join.h"

namespace brindle {
namespace {

recovery::Input GroupInput(const RebuildingJoinParams& params, bool onHeaders) {
    if (params.numbered) {
        return recovery::NumberedGroupInput(params.folder, params.group);
    }
    if (onHeaders) {
        return recovery::PieceGroupInputByHeaders(params.folder, params.group);
    }
    return recovery::PieceGroupInput(params.folder, params.group, CheckGroup(params.folder, params.group));
}

// What the headers alone could not settle, the pieces' own data checks do.
bool HeadersLeaveOpen(const recovery::Check& check) {
    return !check.usable || (check.faultyFiles > 0 && !check.CanRebuild());
}

// `step` on the stretch of the bar from `from` to `to`, or on all of it as it is.
template <typename Step>
auto OnBar(Progress& progress, int from, int to, bool whole, const Step& step) {
    if (whole) {
        return step(progress);
    }
    PartOfBar bar(progress, from, to);
    return step(static_cast<Progress&>(bar));
}

// The join of `files`, each read from `readFrom`; numbered pieces held to `md5`.
Status JoinFiles(const RebuildingJoinParams& params, const std::vector<std::string>& files,
                 std::vector<std::string> readFrom, std::vector<std::string> md5, Progress& progress) {
    if (params.numbered) {
        NumberedJoinParams join{params.outputPath, params.folder, params.group, params.replaceExisting, files,
                                std::move(readFrom), std::move(md5)};
        return JoinNumberedPieces(join, progress);
    }
    return JoinPieces({params.outputPath, files, params.replaceExisting, std::move(readFrom)}, progress);
}

}  // namespace

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

Findings FindFaults(const RebuildingJoinParams& params, Progress& progress) {
    Findings found;
    const bool attempt = !params.numbered && !params.pieces.empty();
    if (attempt) {
        found.attempt = JoinPieces({params.outputPath, params.pieces, params.replaceExisting}, progress);
        if (!IsDataFault(found.attempt)) {
            found.joined = true;
            return found;
        }
        if (params.checkEnd != 0) {
            progress.SetValue(0);
        }
    }
    const auto check = [&](bool onHeaders) {
        found.input = GroupInput(params, onHeaders);
        found.check = OnBar(progress, 0, params.checkEnd, params.checkEnd == 0,
                            [&](Progress& bar) { return recovery::CheckFiles(found.input, bar); });
    };
    const bool onHeaders = params.onHeaders && !params.numbered;
    check(onHeaders);
    if (onHeaders && !found.input.files.empty() && found.check.status.ok() && HeadersLeaveOpen(found.check)) {
        // The bar starts again, as for a check of its own.
        progress.SetValue(0);
        check(false);
    }
    return found;
}

Status JoinFound(const RebuildingJoinParams& params, const Findings& found, bool rebuild, const AskRebuild& ask,
                 Progress& progress, const recovery::Rebuilt* made) {
    const int from = params.checkEnd;
    const bool whole = from == 0 && !params.shareBar;
    if (!rebuild) {
        return OnBar(progress, from, progress.Max(), whole, [&](Progress& bar) {
            return JoinFiles(params, params.numbered ? std::vector<std::string>{} : params.pieces, {}, {}, bar);
        });
    }
    const recovery::Input& input = found.input;
    const recovery::Check& check = found.check;
    const bool faulty = check.faultyFiles > 0 && made == nullptr;
    const int half = params.shareBar ? from + (progress.Max() - from) / 2 : progress.Max();
    Status status;
    if (faulty && !params.numbered && recovery::FitsOnePass(check)) {
        status = OnBar(progress, from, progress.Max(), whole, [&](Progress& bar) {
            return JoinRebuildingInOnePass(input, check, {params.outputPath, {}, params.replaceExisting}, bar);
        });
    } else {
        recovery::Rebuilt rebuilt;
        if (faulty) {
            rebuilt = OnBar(progress, from, half, whole, [&](Progress& bar) {
                return recovery::RebuildFiles(input, check, bar, params.outputPath);
            });
            if (!rebuilt.status.ok()) {
                return rebuilt.status;
            }
        }
        const std::vector<std::string> readFrom = (made != nullptr ? *made : rebuilt).Substituted(input.files);
        status = OnBar(progress, faulty && params.shareBar ? half : from, progress.Max(), whole, [&](Progress& bar) {
            return JoinFiles(params, input.files, readFrom,
                             params.numbered ? recovery::FileMd5s(check) : std::vector<std::string>{}, bar);
        });
    }
    // A piece taken on its header whose data does not match: every piece is checked now.
    if (input.headersOnly && IsDataFault(status)) {
        RebuildingJoinParams all = params;
        all.onHeaders = false;
        all.pieces.clear();
        all.checkEnd = 0;
        all.shareBar = false;
        return JoinRebuilding(all, ask, progress);
    }
    return status;
}

Status JoinRebuilding(const RebuildingJoinParams& params, const AskRebuild& ask, Progress& progress) {
    const Findings found = FindFaults(params, progress);
    if (found.joined) {
        return found.attempt;
    }
    if (!found.check.status.ok()) {
        return found.check.status;
    }
    if (!found.check.CanRebuild()) {
        return Status::Corruption(found.check.usable ? recovery::Summary(found.check) : found.check.note);
    }
    if (ask && !ask(found.check)) {
        return found.attempt.ok() ? JoinFound(params, found, false, ask, progress) : found.attempt;
    }
    return JoinFound(params, found, true, ask, progress);
}

}  // namespace brindle
