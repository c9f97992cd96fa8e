#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "checks/digest.h"
#include "shell/status.h"

// Checksum files that come with downloaded pieces, written by other tools: .sfv files of
// CRC-32 values ("name CRC", ";" comments) and .md5, .sha1, .sha256 files in the
// `HASH  name` form of md5sum and its kin.
namespace brindle {

struct ListedName {
    std::string name;
    std::string hex;  // lowercase
};

// The readers of one file's text. Lines that are not checksum lines are skipped and counted
// in `badLines`, since a list from elsewhere may hold notes of its own. A byte-order mark
// before the first line is no part of it, and "./NAME" (what `md5sum ./NAME` writes) is NAME.
std::vector<ListedName> ParseSfv(std::string_view text, int* badLines);
std::vector<ListedName> ParseHashList(std::string_view text, DigestKind kind, int* badLines);

// One line of the `HASH  name` form (md5sum, sha256sum and their kin; "*name" in binary mode,
// a leading "\\" for an escaped name), its line end already cut off; `hexLength` is the
// digest's. False for anything else.
bool ParseHashLine(std::string_view line, std::size_t hexLength, ListedName* entry);

// A name as sha256sum and its kin write it on a line marked with "\": "\\", "\n" and "\r"
// stand for a backslash and line breaks. False for any other escape.
bool UnescapeListedName(std::string_view text, std::string* out);

// A UTF-8 byte-order mark at the start of `text` is dropped; editors on other systems save one.
std::string_view WithoutByteOrderMark(std::string_view text);
// "./NAME" is NAME; any other name is returned as it is.
std::string_view WithoutDotSlash(std::string_view name);

// One checksum file of a folder, read once.
struct ListFile {
    std::string name;
    DigestKind kind = DigestKind::kSha256;
    std::vector<ListedName> listed;  // by name; one name's lines in the file's order
    int badLines = 0;
};

// Every checksum file of a folder, each read once, for any number of groups to look up.
struct FolderLists {
    std::vector<std::shared_ptr<const ListFile>> files;  // alphabetically
    std::unordered_map<std::string, std::vector<std::size_t>> filesListing;  // name -> files
    // Lists that are symbolic links to a file outside the folder: never read, and held
    // against every group beside them, since no one can tell whose they are.
    std::vector<std::string> refused;
    // A folder that could not be listed, or lists that could not be read (by name), with why.
    Status listing;
    std::vector<std::pair<std::string, Status>> unread;
};
FolderLists ReadFolderLists(const std::string& folder);

// One expected digest, with the checksum file that says so.
struct Expected {
    DigestKind kind = DigestKind::kSha256;
    std::string hex;
    std::string listFile;  // the checksum file's name
};

// Every checksum file beside a group that lists at least one of its names.
struct ChecksumLists {
    std::vector<std::string> files;                          // names, alphabetically
    std::vector<std::shared_ptr<const ListFile>> used;       // the same files
    std::vector<std::string> refused;                        // see FolderLists
    int badLines = 0;                                        // in the files used
    // Not ok when the folder could not be listed or a list that may speak for these names
    // (its name is one of them, or starts one of them, before its extension) could not be
    // read: their checks cannot be skipped.
    Status unread;
    bool Lists(const std::string& name) const { return !Find(name).empty(); }
    // What the files expect of `name`, in the files' order.
    std::vector<Expected> Find(const std::string& name) const;
    // Each name the files list, with the first file that lists it, by name.
    std::map<std::string, std::string> Names() const;
    // The listed names that start with `prefix`.
    std::vector<std::string> NamesStarting(std::string_view prefix) const;
};

// The files of `all` that list one of `names`.
ChecksumLists ListsNaming(const FolderLists& all, const std::vector<std::string>& names);

// Reads NAME.sfv, NAME.md5, NAME.sha1, NAME.sha256 and any other *.sfv, *.md5, *.sha1 or
// *.sha256 in `folder`, keeping the files that list one of `names`.
ChecksumLists ReadChecksumLists(const std::string& folder, const std::vector<std::string>& names);

// The kinds of digest `lists` expects of `name`, each once.
std::vector<DigestKind> KindsListed(const ChecksumLists& lists, const std::string& name);

// Ok when each digest `lists` expects of `name` equals the one computed; Corruption naming
// `path` and the list otherwise.
Status CompareListed(const ChecksumLists& lists, const std::string& name, const std::string& path,
                     const std::map<DigestKind, std::string>& computed);

// Feeds one whole file to every digest of `digests`, in one read.
Status FeedFile(const std::string& path, const std::vector<Digest*>& digests);

namespace testing {
// How many checksum files of other tools this process has read.
int ListFilesRead();
}  // namespace testing

}  // namespace brindle
