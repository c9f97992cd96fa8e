#include "support/checksum_files.h"

#include <fstream>
#include <iterator>

#include "checks/digest.h"
#include "format/checksums.h"
#include "format/discovery.h"
#include "format/piece_format.h"

namespace brindle::test {

Status WriteChecksumFile(const std::string& folder, const std::string& groupName,
                         const std::vector<std::string>& piecePaths) {
    PieceHeader first;
    if (piecePaths.empty()) {
        return Status::InvalidArgument("there are no pieces to list");
    }
    if (Status status = ReadPieceHeader(piecePaths.front(), &first); !status.ok()) {
        return status;
    }
    std::vector<std::string> digests;
    for (const std::string& path : piecePaths) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            return Status::NotFound("cannot open " + path);
        }
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        Digest digest(DigestKind::kSha256);
        digest.Update(bytes.data(), bytes.size());
        digests.push_back(digest.HexDigest());
    }
    return brindle::WriteChecksumFile(folder, groupName, first.GroupId, piecePaths, digests);
}

}  // namespace brindle::test
