// A file the user named by its path (-n, -z): its folder is resolved once,
// links on the way followed as the path was given, and everything the run
// does with the file and its companions happens in that folder.
#pragma once

#include <memory>
#include <string>

#include "engine/digest_result.h"
#include "folder.h"

struct NamedFile {
    explicit NamedFile(const std::u16string& path);

    // The file's digest; a link in its place leads to the file it names
    // (outside its folder, read as owner_reads.h says).
    FileDigest digest() const;

    std::shared_ptr<const TesselLibrary::Folder> folder;  // null when it could not be opened
    TesselLibrary::FolderProblem problem = TesselLibrary::FolderProblem::None;
    std::u16string name;  // within the folder; empty when the path names none
};
