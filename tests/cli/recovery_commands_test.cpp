#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include "format/piece_format.h"
#include "io/file_io.h"
#include "recovery/recovery.h"
#include "support/fault_calls.h"
#include "support/forged_par2.h"
#include "support/run_brindle.h"
#include "support/shell_run.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::Brindle;
using test::FlipByte;
using test::HavePar2;
using test::Outcome;
using test::ReadFile;
using test::Shell;
using test::TempDir;
using test::WriteFile;

// Every file of a folder with its bytes.
std::map<std::string, std::string> Folder(const std::string& path) {
    std::map<std::string, std::string> files;
    for (const std::string& name : test::SortedNames(path)) {
        files[name] = ReadFile(path + "/" + name);
    }
    return files;
}

// Ten pieces with 20% recovery data: two whole pieces' worth.
class RecoveryCommands : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir.File("film.avi"), bytes);
        const Outcome split = Brindle({"split", dir.File("film.avi"), "--pieces", "10", "--recovery", "20"});
        ASSERT_EQ(split.code, 0) << split.err;
        EXPECT_NE(split.out.find(dir.File("film.par2") + "\n"), std::string::npos);
        EXPECT_NE(split.err.find("can rebuild up to 2 lost pieces"), std::string::npos) << split.err;
        fs::remove(dir.File("film.avi"));
    }
    std::string Piece(int k) const { return dir.File(*PieceFileName("film", k)); }

    TempDir dir;
    std::string bytes = test::PatternBytes(100'000, 3);
};

TEST_F(RecoveryCommands, LossesUpToTheRecoveryDataJoinAndMoreAreRefused) {
    struct Loss {
        const char* what;
        std::vector<int> lost;
        std::vector<int> damaged;  // one byte of its data flipped
        const char* summary;
    };
    const Loss losses[] = {
        {"two pieces, the first among them", {1, 7}, {}, "2 pieces damaged or missing; the recovery files can rebuild them"},
        {"a damaged block", {}, {5}, "1 piece damaged or missing; the recovery files can rebuild it"},
        {"a lost piece and a damaged one", {2}, {10}, "2 pieces damaged or missing; the recovery files can rebuild them"},
        {"too much", {2, 3, 9}, {}, "3 pieces damaged or missing; the recovery files cannot rebuild them"},
    };
    const auto whole = Folder(dir.path());
    for (const Loss& loss : losses) {
        SCOPED_TRACE(loss.what);
        for (const int k : loss.lost) {
            fs::remove(Piece(k));
        }
        for (const int k : loss.damaged) {
            FlipByte(Piece(k), 5000);
        }
        const auto before = Folder(dir.path());
        const Outcome verify = Brindle({"verify", Piece(5)});
        EXPECT_EQ(verify.code, 1);
        EXPECT_NE(verify.out.find(loss.summary), std::string::npos) << verify.out;
        const Outcome join = Brindle({"join", Piece(5), "--out", dir.File("out.avi")});
        const bool tooMuch = loss.lost.size() + loss.damaged.size() > 2;
        if (tooMuch) {
            EXPECT_EQ(join.code, 1);
            EXPECT_NE(join.err.find("of recovery data missing"), std::string::npos) << join.err;
            EXPECT_FALSE(test::Exists(dir.File("out.avi")));
        } else {
            ASSERT_EQ(join.code, 0) << join.err;
            EXPECT_TRUE(ReadFile(dir.File("out.avi")) == bytes);
            fs::remove(dir.File("out.avi"));
        }
        EXPECT_TRUE(Folder(dir.path()) == before) << "the join changed the user's files";
        for (const auto& [name, content] : whole) {
            WriteFile(dir.File(name), content);
        }
    }
}

// A join on the pieces' headers takes the recovery packets unhashed: a damaged one fails the
// rebuilt blocks' check, and the join then checks everything and rebuilds without it.
TEST_F(RecoveryCommands, ARecoveryBlockDamagedUnderAJoinIsLeftOutOnTheSecondLook) {
    std::string volume = ReadFile(dir.File("film.vol00+01.par2"));
    const std::size_t type = volume.find(std::string("PAR 2.0\0RecvSlic", 16));
    ASSERT_NE(type, std::string::npos);
    volume[type + 16 + 4 + 10] ^= 1;  // past the exponent, in the block's data
    WriteFile(dir.File("film.vol00+01.par2"), volume);
    fs::remove(Piece(6));
    const auto before = Folder(dir.path());
    const Outcome join = Brindle({"join", Piece(1), "--out", dir.File("out.avi")});
    ASSERT_EQ(join.code, 0) << join.err;
    EXPECT_TRUE(ReadFile(dir.File("out.avi")) == bytes);
    fs::remove(dir.File("out.avi"));
    EXPECT_TRUE(Folder(dir.path()) == before);
}

TEST_F(RecoveryCommands, RepairRebuildsInPlaceAndLeavesSoundPiecesAlone) {
    const auto whole = Folder(dir.path());
    fs::remove(Piece(3));
    FlipByte(Piece(8), 300);
    const auto sound = fs::last_write_time(Piece(1));
    const Outcome repair = Brindle({"repair", Piece(1)});
    ASSERT_EQ(repair.code, 0) << repair.err;
    EXPECT_EQ(repair.out, Piece(3) + "\n" + Piece(8) + "\n");
    EXPECT_TRUE(Folder(dir.path()) == whole);
    EXPECT_EQ(fs::last_write_time(Piece(1)), sound);
    EXPECT_EQ(Brindle({"repair", Piece(1)}).out, "Nothing to repair: every piece matches the recovery files.\n");
    // Too much: refused and nothing changed.
    for (const int k : {1, 2, 3}) {
        fs::remove(Piece(k));
    }
    const auto broken = Folder(dir.path());
    const Outcome refused = Brindle({"repair", Piece(4)});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("nothing was changed"), std::string::npos) << refused.err;
    EXPECT_TRUE(Folder(dir.path()) == broken);
}

TEST_F(RecoveryCommands, AResplitReplacesOrRemovesItsRecoveryFilesAndOthersAreNeverUsed) {
    const std::string oldIndex = ReadFile(dir.File("film.par2"));
    WriteFile(dir.File("film.avi"), bytes);
    ASSERT_EQ(Brindle({"split", dir.File("film.avi"), "--pieces", "5", "--recovery", "40"}).code, 0);
    EXPECT_NE(ReadFile(dir.File("film.par2")), oldIndex);
    EXPECT_EQ(Brindle({"verify", Piece(1)}).code, 0);
    // A split without recovery data takes the earlier files away: they speak for gone pieces.
    ASSERT_EQ(Brindle({"split", dir.File("film.avi"), "--pieces", "4"}).code, 0);
    for (const std::string& name : test::SortedNames(dir.path())) {
        EXPECT_EQ(name.find(".par2"), std::string::npos) << name;
    }
    // Recovery files of the ten-piece split beside the four pieces: reported, never used.
    WriteFile(dir.File("film.par2"), oldIndex);
    const Outcome verify = Brindle({"verify", Piece(2)});
    EXPECT_EQ(verify.code, 0) << verify.out;
    EXPECT_NE(verify.out.find("describe another split"), std::string::npos) << verify.out;
    fs::remove(Piece(2));
    const Outcome join = Brindle({"join", Piece(1), "--out", dir.File("out.avi")});
    EXPECT_EQ(join.code, 1);
    EXPECT_NE(join.err.find("describe another split"), std::string::npos) << join.err;
    EXPECT_FALSE(test::Exists(dir.File("out.avi")));
}

// Recovery files beside numbered pieces take the rebuilding road even with every piece there;
// a list that links outside the folder refuses that road as it refuses the plain one.
TEST(RecoveryNumbered, AListLinkedOutsideRefusesTheJoinBesideRecoveryFiles) {
    TempDir dir;
    fs::create_directory(dir.File("in"));
    fs::create_directory(dir.File("outside"));
    WriteFile(dir.File("in/m.bin"), test::PatternBytes(30'000, 5));
    ASSERT_EQ(Brindle({"split", dir.File("in/m.bin"), "--raw", "--pieces", "3", "--recovery", "40"}).code, 0);
    fs::remove(dir.File("in/m.bin"));
    WriteFile(dir.File("outside/x.sfv"), "m.bin 00000000\n");
    fs::create_symlink("../outside/x.sfv", dir.File("in/m.bin.sfv"));
    for (const bool lost : {false, true}) {
        SCOPED_TRACE(lost ? "a piece to rebuild" : "every piece there");
        if (lost) {
            fs::remove(dir.File("in/m.bin.002"));
        }
        const Outcome join = Brindle({"join", dir.File("in/m.bin.001")});
        EXPECT_EQ(join.code, 1);
        EXPECT_EQ(join.err, "Fail to merge the files.\na link to a file outside its folder: " + dir.File("in/m.bin.sfv") + "\n");
        EXPECT_FALSE(test::Exists(dir.File("in/m.bin")));
    }
}

// Only a regular file stands aside for a rebuilt piece: a folder or a link in a piece's place
// stays as it is, and the repair refuses, naming it, before it writes anything.
TEST_F(RecoveryCommands, RepairMovesNothingThatIsNotARegularFile) {
    fs::rename(Piece(5), dir.File("copy"));
    FlipByte(dir.File("copy"), 5000);
    fs::create_symlink(dir.File("copy"), Piece(5));
    fs::remove(Piece(2));
    fs::create_directory(Piece(2));
    WriteFile(Piece(2) + "/note.txt", "the user's note");
    for (const std::string& there : {Piece(2), Piece(5)}) {
        const auto before = Folder(dir.path());
        const Outcome repair = Brindle({"repair", Piece(1)});
        EXPECT_EQ(repair.code, 1);
        EXPECT_NE(repair.err.find(there + " is not a regular file"), std::string::npos) << repair.err;
        EXPECT_TRUE(Folder(dir.path()) == before) << there;
        EXPECT_TRUE(fs::is_symlink(Piece(5)));
        EXPECT_TRUE(there != Piece(2) || ReadFile(Piece(2) + "/note.txt") == "the user's note");
        fs::remove_all(there);
    }
}

// A pieces' folder the join cannot write in: the rebuilt piece is written beside the output,
// and taken back once the join is done.
TEST_F(RecoveryCommands, AJoinRebuildsBesideItsOutputWhenThePiecesFolderTakesNoFile) {
    const std::string raw = test::PatternBytes(20'000, 4);
    WriteFile(dir.File("raw.img"), raw);
    ASSERT_EQ(Brindle({"split", dir.File("raw.img"), "--raw", "--pieces", "3", "--recovery", "40"}).code, 0);
    fs::remove(dir.File("raw.img"));
    fs::remove(dir.File("raw.img.002"));
    fs::remove(Piece(4));
    const TempDir elsewhere;
    const auto before = Folder(dir.path());
    recovery::testing::SetReadBack(true);  // the own pieces rebuilt into temporaries too
    for (const auto& [piece, source] : {std::pair{dir.File("raw.img.001"), raw}, std::pair{Piece(1), bytes}}) {
        const std::vector<std::string> join = {"join", piece, "--out", elsewhere.File("out")};
        // The first file made is the rebuilt piece's temporary, beside the pieces.
        const std::vector<int> creates = test::CallsOf(io::Call::kCreate, [&] { Brindle(join); });
        fs::remove(elsewhere.File("out"));
        io::testing::FaultPlan plan;
        plan.FailCall(creates.at(0), EACCES);
        const Outcome joined = Brindle(join);
        EXPECT_EQ(joined.code, 0) << joined.err;
        EXPECT_TRUE(ReadFile(elsewhere.File("out")) == source);
        EXPECT_EQ(test::SortedNames(elsewhere.path()), std::vector<std::string>{"out"});
        EXPECT_TRUE(Folder(dir.path()) == before) << "the join wrote beside the pieces";
        fs::remove(elsewhere.File("out"));
    }
    recovery::testing::SetReadBack(false);
}

// A folder that cannot be listed is not one without recovery files: whichever of its listings
// fails, join, verify and repair refuse, naming it, and write nothing, unless what they do
// without that listing is what they did with it. (The listing that reads the recovery files
// themselves may say instead that they cannot be read, as of a damaged index.)
TEST_F(RecoveryCommands, AFolderThatCannotBeListedRefusesEveryJob) {
    WriteFile(dir.File("raw.img"), test::PatternBytes(20'000, 4));
    ASSERT_EQ(Brindle({"split", dir.File("raw.img"), "--raw", "--pieces", "3", "--recovery", "40"}).code, 0);
    fs::remove(dir.File("raw.img"));
    const std::vector<std::vector<std::string>> jobs = {
        {"join", Piece(1), "--out", dir.File("out.avi")},
        {"verify", Piece(1)},
        {"repair", Piece(1)},
        {"join", dir.File("raw.img.001"), "--out", dir.File("out.avi")},
        {"verify", dir.File("raw.img.002")},
    };
    for (const std::vector<std::string>& job : jobs) {
        SCOPED_TRACE(job[0] + " " + job[1]);
        Outcome done{};
        const std::vector<int> listings = test::CallsOf(io::Call::kList, [&] { done = Brindle(job); });
        ASSERT_EQ(done.code, 0) << done.err;
        const std::string joined = job[0] == "join" ? ReadFile(dir.File("out.avi")) : "";
        fs::remove(dir.File("out.avi"));
        ASSERT_GE(listings.size(), 2U);
        for (const int n : listings) {
            io::testing::FaultPlan plan;
            plan.FailCall(n, EACCES);
            const Outcome outcome = Brindle(job);
            if (outcome.code == 0 && (outcome.out == done.out || (job[0] == "verify" &&
                                                                  outcome.out.find("cannot be read") != std::string::npos))) {
                EXPECT_TRUE(joined.empty() || ReadFile(dir.File("out.avi")) == joined);
                fs::remove(dir.File("out.avi"));
                continue;
            }
            EXPECT_EQ(outcome.code, 1) << "listing " << n << ": " << outcome.out;
            EXPECT_TRUE(outcome.err.find("cannot list the folder " + dir.path()) != std::string::npos ||
                        outcome.err.find("raw.img.par2 cannot be read") != std::string::npos)
                << outcome.err;
            EXPECT_FALSE(test::Exists(dir.File("out.avi")));
        }
    }
}

// The recovery files of an older version of the file, copied beside a new split without
// replacing any of its own: the pieces speak first, and the old volumes are named, unused.
TEST(RecoveryAgreement, StaleVolumesOfAnotherVersionAreLeftAside) {
    // Pieces with their data hash, and without: the headers' group tells the sets apart.
    for (const bool dataCheck : {true, false}) {
        SCOPED_TRACE(dataCheck ? "data check" : "no data check");
        TempDir dir;
        fs::create_directory(dir.File("v1"));
        fs::create_directory(dir.File("v2"));
        std::string bytes = test::PatternBytes(200'000, 8);
        const auto split = [&](const std::string& folder, const char* percent) {
            std::vector<std::string> args{"split", dir.File(folder + "/data.bin"), "--pieces", "10", "--recovery", percent};
            if (!dataCheck) {
                args.emplace_back("--no-data-check");
            }
            return Brindle(args).code;
        };
        WriteFile(dir.File("v1/data.bin"), bytes);
        ASSERT_EQ(split("v1", "50"), 0);
        bytes[70'000] ^= 1;
        WriteFile(dir.File("v2/data.bin"), bytes);
        ASSERT_EQ(split("v2", "10"), 0);
        fs::remove(dir.File("v2/data.bin"));
        for (const std::string& name : test::SortedNames(dir.File("v1"))) {
            if (name.ends_with(".par2") && !test::Exists(dir.File("v2/" + name))) {
                fs::copy_file(dir.File("v1/" + name), dir.File("v2/" + name));
            }
        }
        fs::remove(dir.File("v2/" + *PieceFileName("data", 3)));
        const Outcome join = Brindle({"join", dir.File("v2/" + *PieceFileName("data", 1))});
        ASSERT_EQ(join.code, 0) << join.err;
        EXPECT_TRUE(ReadFile(dir.File("v2/data.bin")) == bytes);
        EXPECT_NE(join.err.find("data.vol07+08.par2, data.vol15+08.par2"), std::string::npos) << join.err;
        EXPECT_NE(join.err.find("describe another split; they are not used"), std::string::npos) << join.err;
    }
}

// A set whose only change is a described length, its packets' hashes made anew: join and
// verify go on the pieces alone, repair cuts or empties none, and a lost piece is refused.
TEST(RecoveryAgreement, AForgedLengthIsNeverBelievedOverThePieces) {
    TempDir dir;
    const std::string bytes = test::PatternBytes(120'000, 6);
    WriteFile(dir.File("movie.mkv"), bytes);
    ASSERT_EQ(Brindle({"split", dir.File("movie.mkv"), "--raw", "--pieces", "12", "--recovery", "30"}).code, 0);
    fs::remove(dir.File("movie.mkv"));
    const auto made = Folder(dir.path());
    // A block boundary inside the piece (blocks of 1252 bytes), and nothing at all.
    for (const auto& [piece, length] : {std::pair<std::string, int>{"movie.mkv.003", 5 * 1252}, {"movie.mkv.002", 0}}) {
        SCOPED_TRACE(piece + " as " + std::to_string(length));
        for (const auto& [name, content] : made) {
            if (name.ends_with(".par2")) {
                WriteFile(dir.File(name), content);
                test::ForgeLength(dir.File(name), piece, static_cast<std::uint64_t>(length));
            }
        }
        const std::string named = "describe " + piece + " as " + std::to_string(length) + " bytes";
        const auto before = Folder(dir.path());
        const Outcome join = Brindle({"join", dir.File("movie.mkv.001"), "--out", dir.File("out.mkv")});
        EXPECT_EQ(join.code, 0) << join.err;
        EXPECT_TRUE(test::Exists(dir.File("out.mkv")) && ReadFile(dir.File("out.mkv")) == bytes);
        EXPECT_NE(join.err.find(named), std::string::npos) << join.err;
        fs::remove(dir.File("out.mkv"));
        const Outcome verify = Brindle({"verify", dir.File("movie.mkv.001")});
        EXPECT_EQ(verify.code, 0) << verify.out;
        EXPECT_NE(verify.out.find(named), std::string::npos) << verify.out;
        const Outcome repair = Brindle({"repair", dir.File("movie.mkv.001")});
        EXPECT_EQ(repair.code, 1);
        EXPECT_NE(repair.err.find(named), std::string::npos) << repair.err;
        EXPECT_TRUE(Folder(dir.path()) == before) << "a sound piece was rewritten";
        fs::remove(dir.File("movie.mkv.009"));
        EXPECT_EQ(Brindle({"join", dir.File("movie.mkv.001"), "--out", dir.File("out.mkv")}).code, 1);
        EXPECT_FALSE(test::Exists(dir.File("out.mkv")));
        WriteFile(dir.File("movie.mkv.009"), before.at("movie.mkv.009"));
    }
}

// Recovery files of an altered copy beside numbered pieces their list vouches for: the list
// speaks first, so repair replaces no piece and the join goes on the pieces alone.
TEST(RecoveryAgreement, APieceItsListVouchesForOutranksTheRecoveryFiles) {
    TempDir dir;
    fs::create_directory(dir.File("a"));
    fs::create_directory(dir.File("b"));
    std::string bytes = test::PatternBytes(60'000, 4);
    WriteFile(dir.File("a/m.bin"), bytes);
    ASSERT_EQ(Brindle({"split", dir.File("a/m.bin"), "--raw", "--pieces", "6", "--checksums"}).code, 0);
    std::string altered = bytes;
    altered[25'000] ^= 1;  // in piece 3
    WriteFile(dir.File("b/m.bin"), altered);
    ASSERT_EQ(Brindle({"split", dir.File("b/m.bin"), "--raw", "--pieces", "6", "--recovery", "40"}).code, 0);
    for (const std::string& name : test::SortedNames(dir.File("b"))) {
        if (name.ends_with(".par2")) {
            fs::copy_file(dir.File("b/" + name), dir.File("a/" + name));
        }
    }
    fs::remove(dir.File("a/m.bin"));
    const auto before = Folder(dir.File("a"));
    const Outcome repair = Brindle({"repair", dir.File("a/m.bin.001")});
    EXPECT_EQ(repair.code, 1);
    EXPECT_NE(repair.err.find("describe another split"), std::string::npos) << repair.err;
    EXPECT_TRUE(Folder(dir.File("a")) == before) << "a piece its list vouches for was replaced";
    const Outcome join = Brindle({"join", dir.File("a/m.bin.001")});
    EXPECT_EQ(join.code, 0) << join.err;
    EXPECT_TRUE(test::Exists(dir.File("a/m.bin")) && ReadFile(dir.File("a/m.bin")) == bytes);
}

// par2 over 9 of 12 numbered pieces speaks for none of the group: the join takes all 12 as
// without it, and with a piece lost refuses rather than join the nine.
TEST(RecoveryAgreement, ASetOverSomeOfTheNumberedPiecesIsNotUsed) {
    if (!HavePar2()) {
        GTEST_SKIP() << "par2 is not installed";
    }
    TempDir dir;
    const std::string bytes = test::PatternBytes(120'000, 2);
    WriteFile(dir.File("movie.mkv"), bytes);
    ASSERT_EQ(Brindle({"split", dir.File("movie.mkv"), "--raw", "--pieces", "12"}).code, 0);
    fs::remove(dir.File("movie.mkv"));
    ASSERT_EQ(Shell("cd " + dir.path() + " && par2 create -q -r10 movie.mkv.par2 movie.mkv.00*"), 0);
    const std::string named = "describe only some of these pieces";
    const Outcome join = Brindle({"join", dir.File("movie.mkv.001")});
    ASSERT_EQ(join.code, 0) << join.err;
    EXPECT_TRUE(ReadFile(dir.File("movie.mkv")) == bytes);
    EXPECT_NE(join.err.find(named), std::string::npos) << join.err;
    fs::remove(dir.File("movie.mkv"));
    const Outcome verify = Brindle({"verify", dir.File("movie.mkv.001")});
    EXPECT_EQ(verify.code, 0) << verify.out;
    EXPECT_NE(verify.out.find("movie.mkv.012: ok"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find(named), std::string::npos) << verify.out;
    fs::remove(dir.File("movie.mkv.004"));
    const Outcome lost = Brindle({"join", dir.File("movie.mkv.001")});
    EXPECT_EQ(lost.code, 1);
    EXPECT_FALSE(test::Exists(dir.File("movie.mkv")));
}

// One byte of piece 1's stored name flipped: the rebuilt join names the file as the other
// pieces and the recovery files do, whether piece 1 is the only fault or one of two.
TEST_F(RecoveryCommands, APieceWithAnotherStoredNameDoesNotNameTheJoinedFile) {
    FlipByte(Piece(1), 20);  // the first byte of its name
    for (const bool lost : {false, true}) {
        SCOPED_TRACE(lost ? "and a piece lost" : "every piece there");
        if (lost) {
            fs::remove(Piece(4));
        }
        const Outcome join = Brindle({"join", Piece(2)});
        ASSERT_EQ(join.code, 0) << join.err;
        EXPECT_EQ(join.out, dir.File("film.avi") + "\n");
        EXPECT_TRUE(ReadFile(dir.File("film.avi")) == bytes);
        fs::remove(dir.File("film.avi"));
    }
}

TEST(RecoveryNumbered, RawPiecesWithOurRecoveryAndThePar2ToolsRebuildBothWays) {
    TempDir dir;
    const std::string bytes = test::PatternBytes(60'000, 9);
    WriteFile(dir.File("disk.img"), bytes);
    const Outcome split =
        Brindle({"split", dir.File("disk.img"), "--raw", "--pieces", "6", "--recovery", "34", "--dest", dir.File("")});
    ASSERT_EQ(split.code, 0) << split.err;
    fs::remove(dir.File("disk.img"));
    fs::remove(dir.File("disk.img.004"));
    const Outcome verify = Brindle({"verify", dir.File("disk.img.001")});
    EXPECT_NE(verify.out.find("1 piece damaged or missing; the recovery files can rebuild it"), std::string::npos)
        << verify.out;
    ASSERT_EQ(Brindle({"join", dir.File("disk.img.002")}).code, 0);
    EXPECT_TRUE(ReadFile(dir.File("disk.img")) == bytes);
    EXPECT_FALSE(test::Exists(dir.File("disk.img.004")));
    if (!HavePar2()) {
        GTEST_SKIP() << "par2 is not installed";
    }
    // Ours repaired by the tool; the tool's repaired by us.
    ASSERT_EQ(Shell("par2 repair -q " + dir.File("disk.img.par2")), 0);
    fs::remove(dir.File("disk.img"));
    for (const std::string& name : test::SortedNames(dir.path())) {
        if (name.ends_with(".par2")) {
            fs::remove(dir.File(name));
        }
    }
    ASSERT_EQ(Shell("cd " + dir.path() + " && par2 create -q -s2000 -r30 disk.img.par2 disk.img.0*"), 0);
    FlipByte(dir.File("disk.img.002"), 7);
    fs::remove(dir.File("disk.img.005"));
    ASSERT_EQ(Brindle({"join", dir.File("disk.img.001")}).code, 0);
    EXPECT_TRUE(ReadFile(dir.File("disk.img")) == bytes);
    const Outcome repair = Brindle({"repair", dir.File("disk.img.003")});
    ASSERT_EQ(repair.code, 0) << repair.err;
    EXPECT_EQ(Shell("par2 verify -q " + dir.File("disk.img.par2")), 0);
}

// An empty or garbage index beside a sound numbered group is no check and no cure: verify and
// join both find the pieces sound, name the file they cannot read, and succeed.
TEST(RecoveryNumbered, AnUnreadableIndexBesideASoundGroupIsNamedAndLeftAside) {
    TempDir dir;
    const std::string bytes = test::PatternBytes(30'000, 5);
    WriteFile(dir.File("movie.mkv"), bytes);
    ASSERT_EQ(Brindle({"split", dir.File("movie.mkv"), "--raw", "--pieces", "3"}).code, 0);
    fs::remove(dir.File("movie.mkv"));
    for (const std::string& index : {std::string(), test::PatternBytes(832, 8)}) {
        SCOPED_TRACE(index.size());
        WriteFile(dir.File("movie.mkv.par2"), index);
        const Outcome verify = Brindle({"verify", dir.File("movie.mkv.001")});
        EXPECT_EQ(verify.code, 0) << verify.err;
        EXPECT_NE(verify.out.find("3 numbered pieces ok"), std::string::npos) << verify.out;
        EXPECT_NE(verify.out.find("movie.mkv.par2 cannot be read"), std::string::npos) << verify.out;
        const Outcome join = Brindle({"join", dir.File("movie.mkv.001")});
        EXPECT_EQ(join.code, 0) << join.err;
        EXPECT_NE(join.err.find("movie.mkv.par2 cannot be read"), std::string::npos) << join.err;
        EXPECT_TRUE(ReadFile(dir.File("movie.mkv")) == bytes);
        fs::remove(dir.File("movie.mkv"));
    }
}

}  // namespace
}  // namespace brindle
