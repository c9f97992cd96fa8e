#include "folder_commands.h"

#include <filesystem>
#include <ostream>

#include "format/checksums.h"
#include "format/discovery.h"
#include "format/numbered_group.h"
#include "format/piece_format.h"
#include "join/folder_check.h"
#include "join/numbered_join.h"
#include "numbered_commands.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle::cli {
namespace {

// A JSON string: the text's bytes, with what JSON needs escaped.
std::string Json(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Bool(bool value) { return value ? "true" : "false"; }

// Scripts read the result as one of these words.
const char* Result(const FolderGroupVerdict& group) {
    return group.joinable ? "ok" : group.rebuildable ? "rebuildable" : "faulty";
}

void WriteGroupJson(const FolderGroupVerdict& group, std::ostream& out) {
    out << "{\"folder\":" << Json(GetFolderName(group.firstPiece)) << ",\"group\":" << Json(group.name)
        << ",\"kind\":" << Json(group.kind) << ",\"first_piece\":" << Json(group.firstPiece)
        << ",\"result\":" << Json(Result(group)) << ",\"pieces\":" << group.pieces << ",\"faulty\":" << group.faulty
        << ",\"bytes\":" << group.bytes << ",\"recovery_files\":" << Bool(group.recoveryFiles)
        << ",\"reason\":" << Json(group.reason) << "}\n";
}

// The folder and, with `recursive`, every folder under it, links not followed.
std::vector<std::string> Folders(const std::string& folder, bool recursive) {
    std::string top = std::filesystem::path(folder).lexically_normal().string();
    if (top.size() > 1 && top.back() == '/') {
        top.pop_back();
    }
    std::vector<std::string> folders = {top};
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(
             top, std::filesystem::directory_options::skip_permission_denied, error);
         recursive && !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error)) {
            folders.push_back(it->path().string());
        }
    }
    std::sort(folders.begin() + 1, folders.end());
    return folders;
}

}  // namespace

int VerifyFolder(const std::string& folder, bool recursive, bool json, Console& console) {
    int groups = 0;
    int sound = 0;
    bool unread = false;
    for (const std::string& each : Folders(folder, recursive)) {
        std::vector<FolderGroupVerdict> verdicts;
        if (const Status listed = CheckFolderGroups(each, &verdicts); !listed.ok()) {
            console.err << "brindle verify: " << listed.message() << "\n";
            unread = true;
        }
        for (const FolderGroupVerdict& group : verdicts) {
            ++groups;
            sound += group.joinable ? 1 : 0;
            if (json) {
                WriteGroupJson(group, console.out);
                continue;
            }
            console.out << group.firstPiece << ": " << Result(group);
            if (!group.joinable) {
                console.out << " (" << group.reason << ")";
            }
            console.out << "\n";
        }
    }
    if (!json) {
        const auto n = static_cast<unsigned long>(groups);
        console.out << Fill(TrN("%1 group checked, %2 would join correctly.", "%1 groups checked, %2 would join correctly.", n),
                            {std::to_string(groups), std::to_string(sound)})
                    << "\n";
    }
    return sound == groups && !unread ? kExitOk : kExitFailed;
}

int VerifyPieceJson(const std::string& path, Console& console) {
    const std::string folder = GetFolderName(path);
    const std::string piece = GetFileName(path);
    const bool own = !IsNumberedPiece(path);
    const std::string name = own ? GroupNameFromPiece(piece) : ParseNumberedName(piece)->base;
    if (own) {
        const GroupCheck check = CheckGroup(folder, name);
        for (const PieceCheck& each : check.pieces) {
            console.out << "{\"piece\":" << Json(JoinPath(folder, each.name)) << ",\"verdict\":"
                        << Json(VerdictText(each.verdict)) << ",\"fault\":" << Json(each.fault)
                        << ",\"reason\":" << Json(each.reason) << "}\n";
        }
    } else {
        for (const NumberedCheckLine& line : CheckNumberedGroup(folder, name).lines) {
            console.out << "{\"piece\":" << Json(JoinPath(folder, line.name)) << ",\"verdict\":" << Json(line.verdict)
                        << ",\"fault\":" << Json(line.fault ? line.verdict : "") << ",\"reason\":" << Json(line.reason)
                        << "}\n";
        }
    }
    std::vector<FolderGroupVerdict> verdicts;
    if (const Status listed = CheckFolderGroups(folder, &verdicts); !listed.ok()) {
        console.out << "{\"group\":" << Json(name) << ",\"result\":\"faulty\",\"reason\":" << Json(listed.message())
                    << "}\n";
        return kExitFailed;
    }
    for (const FolderGroupVerdict& group : verdicts) {
        if (group.name == name && (group.kind == "pieces") == own) {
            WriteGroupJson(group, console.out);
            return group.joinable ? kExitOk : kExitFailed;
        }
    }
    console.out << "{\"group\":" << Json(name) << ",\"result\":\"faulty\",\"reason\":"
                << Json(Fill(Tr("no such file: %1"), {path})) << "}\n";
    return kExitFailed;
}

int GroupsJson(const std::string& folder, Console& console) {
    std::vector<std::string> own;
    std::vector<NumberedGroup> numbered;
    Status listed = FindGroups(folder, &own);
    if (listed.ok()) {
        listed = FindAllNumberedGroups(folder, &numbered);
    }
    if (!listed.ok()) {
        console.err << "brindle groups: " << listed.message() << "\n";
        return kExitFailed;
    }
    for (const std::string& group : own) {
        PieceHeader header;
        const bool read = ReadPieceHeader(FirstPiecePath(folder, group), &header).ok();
        const std::optional<std::int64_t> length = read ? StoredSourceLength(header) : std::nullopt;
        console.out << "{\"group\":" << Json(group) << ",\"kind\":\"pieces\",\"first_piece\":"
                    << Json(FirstPiecePath(folder, group)) << ",\"name\":"
                    << Json(read ? DescribeGroup(header).originalName : "") << ",\"bytes\":"
                    << (length ? std::to_string(*length) : "null") << ",\"pieces\":"
                    << (read ? std::to_string(header.PieceCount) : "null") << ",\"split_date\":"
                    << Json(read ? StoredText(header.SplitDate) : "") << "}\n";
    }
    for (const NumberedGroup& group : numbered) {
        console.out << "{\"group\":" << Json(group.base) << ",\"kind\":\"numbered\",\"first_piece\":"
                    << Json(JoinPath(folder, NumberedPieceName(group.base, 1, group.digits))) << ",\"name\":"
                    << Json(group.base) << ",\"bytes\":" << (group.Ready() ? std::to_string(group.totalSize) : "null")
                    << ",\"pieces\":" << (group.Ready() ? std::to_string(group.pieces.size()) : "null")
                    << ",\"split_date\":\"\"}\n";
    }
    return kExitOk;
}

}  // namespace brindle::cli
