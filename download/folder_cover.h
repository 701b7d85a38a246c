#pragma once
// The cover picture of an album folder (cover.jpg / cover.png), which file
// managers and players show for the folder.
#include <string>

namespace mm::download {

enum class FolderCoverResult {
    kWritten,
    kPresent,    // the folder has a cover picture already: left alone
    kNoPicture,  // no picture, or not a JPEG or PNG
    kFailed,
};

// Writes picture into folder (ending in "/") as cover.jpg or cover.png after
// its real type, unless the folder has a cover picture already (cover.* or
// folder.* as JPEG or PNG, in any letter case). Never replaces a file.
FolderCoverResult WriteFolderCoverFile(const std::string& folder, const std::string& picture);

}  // namespace mm::download
