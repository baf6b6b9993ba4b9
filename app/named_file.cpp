#include "named_file.h"

#include "engine/file_digest.h"
#include "owner_reads.h"

#include "platform.h"
#include "path.h"

using namespace TesselLibrary;

NamedFile::NamedFile(const std::u16string& path) {
    name = LastName(path);
    folder = Folder::Open(DirectoryOf(path), &problem);
}

FileDigest NamedFile::digest() const {
    // The file's folder is its tree: a link put there in its place is read
    // as whoever may write that folder could read what it leads to.
    if (folder) return FileDigester().digest(*folder, name, OwnerReads::For(*folder).get());
    FileDigest none;
    // A folder of the path that is not there: neither is the file.
    if (problem == FolderProblem::NotFound || problem == FolderProblem::NotAFolder)
        none.result = DigestResult::NotFound;
    return none;
}
