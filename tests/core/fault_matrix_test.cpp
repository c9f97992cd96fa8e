// Every job of the core with each of its file calls failing in turn, and with the process
// ending at each of them as SIGKILL would end it: nothing the user had is lost, nothing
// reports success that is not, and nothing joinable is left by a run that failed. A new job
// (or a new kind of file a job writes) is one more line of the table.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "checks/digest.h"
#include "format/checksums.h"
#include "format/discovery.h"
#include "format/piece_format.h"
#include "io/file_io.h"
#include "join/join_engine.h"
#include "join/rebuilding_join.h"
#include "join/numbered_join.h"
#include "recovery/recovery.h"
#include "rename/apply_renames.h"
#include "rename/rename_journal.h"
#include "split/raw_split.h"
#include "split/split_engine.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

constexpr std::size_t kSourceLength = 5000;
constexpr std::int32_t kPieceSize = 2000;  // three pieces
const std::vector<std::string> kRenamed = {"a.txt", "b.txt", "c.txt"};

enum class Kind { kSplit, kRawSplit, kJoin, kNumberedJoin, kVerify, kNumberedVerify, kRepair, kRename, kUndo, kForget };

struct Job {
    const char* name;
    Kind kind;
    bool checksums = false;  // split: write a list; join and verify: the group has one
    // split: an earlier split of the file lies there; join: the output exists; numbered join:
    // the list names the joined file too
    bool earlier = false;
    bool damaged = false;    // join and verify: piece 2's data differs from its hash and its list
    std::optional<DigestKind> list = std::nullopt;  // numbered jobs: another tool's list
    bool recovery = false;  // split: with recovery files; join and repair: the group has them
    bool lost = false;      // join: piece 2 is gone; repair: its data is damaged, both rebuilt
    bool onePass = false;   // join: rebuilt in one pass with the join, as the command does
    bool readBack = false;  // split: the recovery data made from the pieces read back
};

const Job kJobs[] = {
    {"split", Kind::kSplit},
    {"split_checksums", Kind::kSplit, true},
    {"resplit_checksums", Kind::kSplit, true, true},
    {"raw_split", Kind::kRawSplit},
    {"raw_split_checksums", Kind::kRawSplit, true},
    {"join", Kind::kJoin},
    {"join_replacing", Kind::kJoin, false, true},
    {"checked_join", Kind::kJoin, true},
    {"join_damaged", Kind::kJoin, false, false, true},  // caught by the pieces' own hash
    {"checked_join_damaged", Kind::kJoin, true, false, true},
    {"numbered_join_sfv", Kind::kNumberedJoin, false, false, false, DigestKind::kCrc32},
    {"numbered_join_md5", Kind::kNumberedJoin, false, false, false, DigestKind::kMd5},
    {"numbered_join_sha1", Kind::kNumberedJoin, false, false, false, DigestKind::kSha1},
    {"numbered_join_sha256", Kind::kNumberedJoin, false, true, false, DigestKind::kSha256},
    {"numbered_join_sfv_damaged", Kind::kNumberedJoin, false, false, true, DigestKind::kCrc32},
    {"verify", Kind::kVerify, true},
    {"verify_damaged", Kind::kVerify, false, false, true},
    {"verify_damaged_listed", Kind::kVerify, true, false, true},
    {"numbered_verify_md5_damaged", Kind::kNumberedVerify, false, false, true, DigestKind::kMd5},
    {"split_recovery", Kind::kSplit, false, false, false, std::nullopt, true},
    {"resplit_recovery", Kind::kSplit, false, true, false, std::nullopt, true},
    {"split_checksums_recovery", Kind::kSplit, true, false, false, std::nullopt, true},
    {"raw_split_recovery", Kind::kRawSplit, false, false, false, std::nullopt, true},
    {"split_recovery_read_back", Kind::kSplit, false, false, false, std::nullopt, true, false, false, true},
    {"join_rebuilding", Kind::kJoin, false, false, false, std::nullopt, true, true},
    {"join_rebuilding_one_pass", Kind::kJoin, false, false, false, std::nullopt, true, true, true},
    {"repair", Kind::kRepair, false, false, false, std::nullopt, true, true},
    {"rename", Kind::kRename},
    {"undo", Kind::kUndo},
    {"undo_forget", Kind::kForget},
};

bool IsTemporary(const std::string& name) {
    return name.starts_with(".brindle-") || name.ends_with(".brindle-part");
}

// Every file under `root` (the journals' folder included) by its path below it.
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), root).string()] = ReadFile(entry.path().string());
        }
    }
    return files;
}

std::vector<std::string> Temporaries(const std::map<std::string, std::string>& tree) {
    std::vector<std::string> found;
    for (const auto& [path, bytes] : tree) {
        if (IsTemporary(fs::path(path).filename().string())) {
            found.push_back(path);
        }
    }
    return found;
}

std::string Hex(DigestKind kind, const std::string& bytes) {
    Digest digest(kind);
    digest.Update(bytes.data(), bytes.size());
    return digest.HexDigest();
}

struct Result {
    Status status;
    bool joinable = true;  // verify: what it found
};

// One job's folder: `work` holds the source and what the jobs write; the journals have
// their own folder beside it.
class Scene {
public:
    explicit Scene(const Job& job) : job_(job), source_(test::PatternBytes(kSourceLength, 7)) {
        fs::create_directory(work());
        WriteFile(Source(), source_);
        Prepare();
    }

    std::string work() const { return dir_.File("w"); }
    std::string journals() const { return dir_.File("journals"); }
    std::string Source() const { return work() + "/data.bin"; }
    std::string Output() const { return work() + "/joined.bin"; }
    const std::string& root() const { return dir_.path(); }
    const std::string& source() const { return source_; }

    Result Run() const {
        test::RecordingProgress progress;
        Result result;
        switch (job_.kind) {
            case Kind::kSplit:
                recovery::testing::SetReadBack(job_.readBack);
                result.status = SplitFile(SplitParams_(kPieceSize), progress).status;
                recovery::testing::SetReadBack(false);
                break;
            case Kind::kRawSplit:
                result.status =
                    SplitRaw({Source(), work(), "data.bin", kPieceSize, job_.checksums, job_.recovery ? 50 : 0}, progress).status;
                break;
            case Kind::kJoin:
                result.status = job_.recovery ? Rebuild(progress, true) : JoinPieces({Output(), OwnPieces(), true}, progress);
                break;
            case Kind::kRepair:
                result.status = Rebuild(progress, false);
                break;
            case Kind::kNumberedJoin:
                result.status = JoinNumberedPieces({Output(), work(), "data.bin", true}, progress);
                break;
            case Kind::kVerify: {
                const GroupCheck check = CheckGroup(work(), "data");
                result.joinable = check.Joinable();
                result.status = check.status;
                for (const PieceCheck& piece : check.pieces) {
                    if (result.status.ok() && piece.verdict != PieceVerdict::kOk) {
                        result.status = Status::Corruption(piece.name + ": " + piece.reason);
                    }
                }
                break;
            }
            case Kind::kNumberedVerify: {
                const NumberedCheck check = CheckNumberedGroup(work(), "data.bin");
                result.joinable = check.joinable;
                for (const NumberedCheckLine& line : check.lines) {
                    if (result.status.ok() && line.fault) {
                        result.status = Status::Corruption(line.name + ": " + line.verdict + " " + line.reason);
                    }
                }
                break;
            }
            case Kind::kRename:
                result.status = RenameAndRecord(Rows(), journals()).error;
                break;
            case Kind::kUndo: {
                const UndoOutcome undone = UndoLastRun(journals(), false);
                result.status = undone.error;
                if (result.status.ok() && !undone.ok()) {
                    result.status = Status::IoError("steps are left to undo:" + Skipped(undone));
                }
                break;
            }
            case Kind::kForget:
                result.status = ForgetLastRun(journals());
                break;
        }
        return result;
    }

    // What may be said of the folder after a run that ended with `result` (or that was
    // killed, with no result), against `before`.
    void Check(const std::map<std::string, std::string>& before, const std::optional<Result>& result) const {
        const auto after = Tree(root());
        const bool killed = !result.has_value();
        const bool ok = !killed && result->status.ok();
        EXPECT_TRUE(after.at("w/data.bin") == source_) << "the source changed";
        // Nothing visible appears but what the job itself names: its pieces and list, or its
        // output.
        for (const auto& [path, bytes] : Visible(after)) {
            if (before.count(path) == 0) {
                EXPECT_TRUE(MayWrite(path.substr(2))) << "visible after the run: " << path;
            }
        }
        if (!killed) {
            // A kill's may stay (the user's guide says so), and a failed removal of one leaves it;
            // the run adds none otherwise.
            for (const std::string& temporary : Temporaries(after)) {
                EXPECT_TRUE(before.count(temporary) != 0 || failedCall_ == io::Call::kRemove)
                    << "temporary left: " << temporary;
            }
        }
        switch (job_.kind) {
            case Kind::kSplit:
            case Kind::kRawSplit:
                CheckSplit(before, after, killed, ok, killed ? std::string() : result->status.message());
                break;
            case Kind::kJoin:
            case Kind::kNumberedJoin:
                CheckJoin(before, after, ok);
                break;
            case Kind::kRepair:
                CheckRepair(before, after, ok);
                break;
            case Kind::kVerify:
            case Kind::kNumberedVerify:
                EXPECT_TRUE(Visible(after) == Visible(before)) << "a check changed the folder";
                if (!killed && job_.damaged) {
                    EXPECT_FALSE(result->joinable) << "a damaged group was found sound";
                }
                if (!killed && !job_.damaged && result->joinable) {
                    EXPECT_TRUE(ok);
                }
                break;
            case Kind::kRename:
            case Kind::kUndo:
            case Kind::kForget:
                CheckRenamed(after);
                break;
        }
    }

    // Runs the job again, with nothing failing, as a user would after the failure or kill.
    void Recover(const std::map<std::string, std::string>& leftByKill) const {
        if (job_.kind == Kind::kForget) {
            const Status forgot = ForgetLastRun(journals());
            EXPECT_TRUE(forgot.ok() || forgot.code() == Status::Code::kNotFound) << forgot.message();
            EXPECT_FALSE(HasRunToUndo(journals()));
            for (std::size_t i = 0; i < kRenamed.size(); ++i) {
                EXPECT_EQ(ReadFile(work() + "/new-" + kRenamed[i]), RenamedBytes(i));
            }
        } else if (job_.kind == Kind::kRename || job_.kind == Kind::kUndo) {
            const UndoOutcome undone = UndoLastRun(journals(), false);
            EXPECT_TRUE(undone.ok()) << undone.error.message() << Skipped(undone);
            for (std::size_t i = 0; i < kRenamed.size(); ++i) {
                EXPECT_EQ(ReadFile(work() + "/" + kRenamed[i]), RenamedBytes(i)) << kRenamed[i] << " is not back";
            }
        } else {
            const auto now = Tree(root());
            const Result again = Run();
            EXPECT_EQ(again.status.ok(), !job_.damaged) << "the run after it: " << again.status.message();
            Check(now, again);
        }
        // What the kill left may stay (the user's guide says so for the program's own temporaries);
        // a raw split removes its own, and nothing new is left.
        const auto after = Tree(root());
        for (const std::string& temporary : Temporaries(after)) {
            EXPECT_TRUE(leftByKill.count(temporary) != 0 && !temporary.ends_with(".brindle-part"))
                << "left after the next run: " << temporary;
        }
    }

    const Job& job() const { return job_; }
    // The kind of call that failed in the run checked next.
    void SetFailedCall(io::Call call) { failedCall_ = call; }

    static std::string Skipped(const UndoOutcome& outcome) {
        std::string text;
        for (const UndoStep& step : outcome.steps) {
            text += step.skipped.empty() ? "" : " " + step.from + ": " + step.skipped;
        }
        return text;
    }

private:
    SplitParams SplitParams_(std::int32_t pieceSize) const {
        SplitParams params;
        params.sourcePath = Source();
        params.destFolder = work();
        params.groupName = "data";
        params.pieceSize = pieceSize;
        params.splitDate = "12/8/26";
        params.checksums = job_.checksums;
        params.recoveryPercent = job_.recovery ? 50 : 0;
        return params;
    }

    // What the command does with recovery files: rebuild into temporaries, then join them
    // in the pieces' places, or put them in place.
    Status Rebuild(Progress& progress, bool join) const {
        const GroupCheck group = CheckGroup(work(), "data");
        const recovery::Input input = recovery::PieceGroupInput(work(), "data", group);
        const recovery::Check check = recovery::CheckFiles(input, progress);
        if (!check.status.ok() || check.faultyFiles == 0) {
            return check.status;
        }
        if (job_.onePass) {
            return JoinRebuildingInOnePass(input, check, {Output(), {}, true}, progress);
        }
        recovery::Rebuilt rebuilt = recovery::RebuildFiles(input, check, progress);
        if (!rebuilt.status.ok()) {
            return rebuilt.status;
        }
        if (!join) {
            return rebuilt.PutInPlace(input.files);
        }
        JoinParams params{Output(), input.files, true, rebuilt.Substituted(input.files)};
        return JoinPieces(params, progress);
    }

    std::vector<std::string> OwnPieces() const {
        std::vector<std::string> pieces;
        for (int k = 1; k <= 3; ++k) {
            pieces.push_back(work() + "/" + *PieceFileName("data", k));
        }
        return pieces;
    }

    std::vector<std::string> RawPieces() const {
        return {work() + "/data.bin.001", work() + "/data.bin.002", work() + "/data.bin.003"};
    }

    static std::string RenamedBytes(std::size_t i) { return "file " + std::to_string(i) + "\n"; }

    std::vector<RenameRow> Rows() const {
        std::vector<RenameRow> rows;
        for (std::size_t i = 0; i < kRenamed.size(); ++i) {
            RenameRow row;
            row.key = work() + "/" + kRenamed[i];
            row.fileName = kRenamed[i];
            row.fileLocation = work();
            row.newFileName = "new-" + kRenamed[i];
            rows.push_back(row);
        }
        return rows;
    }

    // Flips a byte of piece 2's data, after its list was written.
    static void Damage(const std::string& path) {
        std::string bytes = ReadFile(path);
        bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x20);
        WriteFile(path, bytes);
    }

    void Prepare() {
        test::RecordingProgress progress;
        switch (job_.kind) {
            case Kind::kSplit:
                if (job_.earlier) {
                    ASSERT_TRUE(SplitFile(SplitParams_(1300), progress).status.ok());  // four pieces
                }
                break;
            case Kind::kRawSplit:
                break;
            case Kind::kJoin:
            case Kind::kVerify:
            case Kind::kRepair:
                ASSERT_TRUE(SplitFile(SplitParams_(kPieceSize), progress).status.ok());
                pieceTwo_ = ReadFile(OwnPieces()[1]);
                if (job_.damaged || (job_.lost && job_.kind == Kind::kRepair)) {
                    Damage(OwnPieces()[1]);
                } else if (job_.lost) {
                    fs::remove(OwnPieces()[1]);
                }
                if (job_.earlier) {
                    WriteFile(Output(), "the user's own file\n");
                }
                break;
            case Kind::kNumberedJoin:
            case Kind::kNumberedVerify: {
                ASSERT_TRUE(SplitRaw({Source(), work(), "data.bin", kPieceSize, false}, progress).status.ok());
                std::string text;
                for (const std::string& piece : RawPieces()) {
                    const std::string name = fs::path(piece).filename().string();
                    const std::string hex = Hex(*job_.list, ReadFile(piece));
                    text += *job_.list == DigestKind::kCrc32 ? name + " " + hex + "\n" : hex + "  " + name + "\n";
                }
                if (job_.earlier) {  // the joined file listed too
                    text += Hex(*job_.list, source_) + "  data.bin\n";
                }
                const char* extension = *job_.list == DigestKind::kCrc32 ? ".sfv"
                                        : *job_.list == DigestKind::kMd5 ? ".md5"
                                        : *job_.list == DigestKind::kSha1 ? ".sha1"
                                                                            : ".sha256";
                WriteFile(work() + "/data.bin" + extension, text);
                if (job_.damaged) {
                    Damage(RawPieces()[1]);
                }
                break;
            }
            case Kind::kRename:
            case Kind::kUndo:
            case Kind::kForget:
                for (std::size_t i = 0; i < kRenamed.size(); ++i) {
                    WriteFile(work() + "/" + kRenamed[i], RenamedBytes(i));
                }
                if (job_.kind != Kind::kRename) {
                    ASSERT_TRUE(RenameAndRecord(Rows(), journals()).ok());
                }
                break;
        }
    }

    bool MayWrite(const std::string& name) const {
        switch (job_.kind) {
            case Kind::kSplit:
                if (job_.recovery && name.starts_with("data.") && name.ends_with(".par2")) {
                    return true;
                }
                return name == "data.sha256" || name == *PieceFileName("data", 1) ||
                       name == *PieceFileName("data", 2) || name == *PieceFileName("data", 3);
            case Kind::kRawSplit:
                return name == "data.bin.001" || name == "data.bin.002" || name == "data.bin.003" ||
                       name == "data.bin.sha256" || (job_.recovery && name.starts_with("data.bin.") && name.ends_with(".par2"));
            case Kind::kJoin:
            case Kind::kNumberedJoin:
                return name == "joined.bin";
            case Kind::kRepair:
                return name == *PieceFileName("data", 2);
            case Kind::kRename:
            case Kind::kUndo:
            case Kind::kForget:
                return name.starts_with("new-") || std::find(kRenamed.begin(), kRenamed.end(), name) != kRenamed.end();
            default:
                return false;
        }
    }

    static std::map<std::string, std::string> Visible(const std::map<std::string, std::string>& tree) {
        std::map<std::string, std::string> visible;
        for (const auto& [path, bytes] : tree) {
            if (path.starts_with("w/") && !fs::path(path).filename().string().starts_with(".")) {
                visible[path] = bytes;
            }
        }
        return visible;
    }

    // What joins of the group there now, or nothing when it does not join.
    std::optional<std::string> Joined() const {
        test::RecordingProgress progress;
        const std::string out = dir_.File("check.bin");
        const Status status = job_.kind == Kind::kSplit
                                  ? JoinPieces({out, OwnPiecesThere(), true}, progress)
                                  : JoinNumberedPieces({out, work(), "data.bin", true}, progress);
        if (!status.ok()) {
            return std::nullopt;
        }
        std::string bytes = ReadFile(out);
        fs::remove(out);
        return bytes;
    }

    std::vector<std::string> OwnPiecesThere() const {
        PieceHeader first;
        std::vector<std::string> pieces;
        if (!ReadPieceHeader(work() + "/" + *PieceFileName("data", 1), &first).ok()) {
            return {work() + "/" + *PieceFileName("data", 1)};
        }
        for (int k = 1; k <= first.PieceCount; ++k) {
            pieces.push_back(work() + "/" + *PieceFileName("data", k));
        }
        return pieces;
    }

    void CheckSplit(const std::map<std::string, std::string>& before, const std::map<std::string, std::string>& after,
                    bool killed, bool ok, const std::string& message) const {
        const std::optional<std::string> joined = Joined();
        if (ok) {
            ASSERT_TRUE(joined.has_value()) << "a split that succeeded does not join";
            EXPECT_TRUE(*joined == source_) << "a split that succeeded joins to other bytes";
            return;
        }
        // Whatever joins is the source itself: an earlier group still whole, or (killed after
        // the last piece) this run's.
        if (joined) {
            EXPECT_TRUE(*joined == source_) << "what is left joins to other bytes";
        }
        if (killed) {
            return;
        }
        const auto was = Visible(before);
        const auto now = Visible(after);
        for (const auto& [path, bytes] : now) {
            EXPECT_TRUE(was.count(path) != 0) << "a failed split left " << path;
        }
        const bool touched = was != now;
        if (touched) {
            EXPECT_NE(message.find("already replaced"), std::string::npos)
                << "an earlier group was changed and the message does not say so: " << message;
        }
    }

    void CheckJoin(const std::map<std::string, std::string>& before, const std::map<std::string, std::string>& after,
                   bool ok) const {
        for (const auto& [path, bytes] : before) {
            if (path != "w/joined.bin") {
                EXPECT_TRUE(after.count(path) != 0 && after.at(path) == bytes) << path << " changed";
            }
        }
        const auto output = after.find("w/joined.bin");
        if (ok) {
            EXPECT_FALSE(job_.damaged) << "a damaged group joined";
            ASSERT_NE(output, after.end());
            EXPECT_TRUE(output->second == source_) << "a join that succeeded wrote other bytes";
            return;
        }
        const auto old = before.find("w/joined.bin");
        if (output == after.end()) {
            EXPECT_EQ(old, before.end()) << "a failed join removed the file it was to replace";
        } else if (old != before.end() && output->second == old->second) {
            // the user's file, untouched
        } else {
            // Killed after the output took its name: it is whole.
            EXPECT_TRUE(output->second == source_) << "a failed join left other bytes at its output";
        }
    }

    // Only piece 2 changes, to its own bytes or back to them; its damaged copy may stand
    // aside only when the rebuilt one is in place.
    void CheckRepair(const std::map<std::string, std::string>& before, const std::map<std::string, std::string>& after,
                     bool ok) const {
        const std::string two = "w/" + *PieceFileName("data", 2);
        for (const auto& [path, bytes] : before) {
            if (path != two) {
                EXPECT_TRUE(after.count(path) != 0 && after.at(path) == bytes) << path << " changed";
            }
        }
        const auto piece = after.find(two);
        const auto aside = after.find("w/.brindle-damaged-" + *PieceFileName("data", 2));
        if (ok) {
            ASSERT_NE(piece, after.end());
            EXPECT_TRUE(piece->second == pieceTwo_) << "a repair that succeeded left other bytes";
            return;
        }
        if (piece != after.end()) {
            EXPECT_TRUE(piece->second == pieceTwo_ || piece->second == before.at(two)) << "piece 2 holds other bytes";
        } else {
            EXPECT_NE(aside, after.end()) << "piece 2 is gone, not even kept aside";
        }
    }

    // Every renamed file's bytes are there exactly once, under its old or its new name.
    void CheckRenamed(const std::map<std::string, std::string>& after) const {
        for (std::size_t i = 0; i < kRenamed.size(); ++i) {
            int found = 0;
            for (const auto& [path, bytes] : Visible(after)) {
                found += bytes == RenamedBytes(i) ? 1 : 0;
                if (bytes == RenamedBytes(i)) {
                    EXPECT_TRUE(path == "w/" + kRenamed[i] || path == "w/new-" + kRenamed[i]) << path;
                }
            }
            EXPECT_EQ(found, 1) << kRenamed[i] << "'s bytes are there " << found << " times";
        }
    }

    Job job_;
    std::string pieceTwo_;  // as the split wrote it
    io::Call failedCall_ = io::Call::kOpen;
    // Thousands of runs that flush to disk: the matrix checks what the jobs do, not the disk.
    test::TempDir dir_{test::MemoryFolder()};
    std::string source_;
};

// How many calls a clean run of the job makes.
int CountCalls(const Job& job) {
    Scene scene(job);
    io::testing::FaultPlan plan;
    const Result result = scene.Run();
    EXPECT_EQ(result.status.ok(), !job.damaged) << job.name << ": " << result.status.message();
    return plan.Calls();
}

void PrintTo(const Job& job, std::ostream* out) { *out << job.name; }

class FaultMatrix : public ::testing::TestWithParam<Job> {};

// Each call of the job fails in turn, with EIO and then ENOSPC.
TEST_P(FaultMatrix, EveryFailingCallLeavesNothingAndSaysWhy) {
    const Job& job = GetParam();
    const int calls = CountCalls(job);
    ASSERT_GT(calls, 0);
    int points = 0;
    for (const int error : {EIO, ENOSPC}) {
        for (int n = 1; n <= calls; ++n) {
            Scene scene(job);
            const auto before = Tree(scene.root());
            std::optional<Result> result;
            io::Call call = io::Call::kOpen;
            {
                io::testing::FaultPlan plan;
                plan.FailCall(n, error);
                result = scene.Run();
                call = plan.CallAt(n);
            }
            SCOPED_TRACE(std::string(job.name) + ": call " + std::to_string(n) + " of " + std::to_string(calls) +
                         " (" + io::CallName(call) + ") fails with " + std::strerror(error) + "; the job said \"" +
                         result->status.message() + "\"");
            ++points;
            scene.SetFailedCall(call);
            scene.Check(before, result);
            if (!result->status.ok() && !job.damaged) {
                EXPECT_NE(result->status.message().find(std::strerror(error)), std::string::npos)
                    << "a failure that does not say why";
            }
            const bool renaming = job.kind == Kind::kRename || job.kind == Kind::kUndo || job.kind == Kind::kForget;
            if (renaming || !result->status.ok()) {
                scene.Recover(Tree(scene.root()));
            }
            if (::testing::Test::HasFailure()) {
                return;  // the first failing point says enough
            }
        }
    }
    RecordProperty("fault_points", points);
}

// The process ends at each call as SIGKILL would end it: what is left never joins wrongly,
// and the next run of the job succeeds.
TEST_P(FaultMatrix, EveryKillLeavesOnlyHiddenFilesAndTheNextRunSucceeds) {
    const Job& job = GetParam();
    const int calls = CountCalls(job);
#if defined(__SANITIZE_ADDRESS__)
    // Up to its kill a child runs what a clean run runs; the next run's cleanup of what each
    // phase leaves is what the sanitizers add, and every third point (and the last) has each
    // phase. The plain build kills at every call, on both file roads.
    constexpr int kStride = 3;
#else
    constexpr int kStride = 1;
#endif
    int points = 0;
    for (int n = 1; n <= calls; n = n < calls && n + kStride > calls ? calls : n + kStride) {
        const Scene scene(job);
        const auto before = Tree(scene.root());
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            io::testing::FaultPlan plan;
            plan.CrashAtCall(n);
            (void)scene.Run();
            std::_Exit(0);
        }
        int wait = 0;
        ASSERT_EQ(::waitpid(child, &wait, 0), child);
        SCOPED_TRACE(std::string(job.name) + ": killed at call " + std::to_string(n) + " of " + std::to_string(calls));
        ASSERT_TRUE(WIFEXITED(wait));
        const int code = WEXITSTATUS(wait);
        ASSERT_TRUE(code == io::testing::FaultPlan::kCrashExit || code == 0) << "exit " << code;
        scene.Check(before, std::nullopt);
        scene.Recover(Tree(scene.root()));
        ++points;
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
    RecordProperty("kill_points", points);
}

INSTANTIATE_TEST_SUITE_P(Jobs, FaultMatrix, ::testing::ValuesIn(kJobs),
                         [](const ::testing::TestParamInfo<Job>& job) { return std::string(job.param.name); });

}  // namespace
}  // namespace brindle
