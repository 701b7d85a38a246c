#include "download/folder_cover.h"

#include <dirent.h>

#include <cctype>
#include <cerrno>
#include <string_view>

#include "platform/sys/files.h"

namespace mm::download {

namespace {

// The extension for the picture's real type; nullptr when it is neither.
const char* PictureExtension(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xD8\xFF")) return "jpg";
    if (bytes.starts_with("\x89PNG\r\n\x1A\n")) return "png";
    return nullptr;
}

bool IsCoverName(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* stem : {"cover.", "folder."}) {
        for (const char* ext : {"jpg", "jpeg", "png"}) {
            if (name == std::string(stem) + ext) return true;
        }
    }
    return false;
}

bool HasCover(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    bool found = false;
    while (dirent* e = readdir(dir)) {
        if (IsCoverName(e->d_name)) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

}  // namespace

FolderCoverResult WriteFolderCoverFile(const std::string& folder, const std::string& picture) {
    const char* ext = PictureExtension(picture);
    if (!ext) return FolderCoverResult::kNoPicture;
    if (HasCover(folder)) return FolderCoverResult::kPresent;
    if (sys::WriteNewFile(folder + "cover." + ext, picture)) return FolderCoverResult::kWritten;
    // Another download of the same album may have written it a moment ago.
    return errno == EEXIST ? FolderCoverResult::kPresent : FolderCoverResult::kFailed;
}

}  // namespace mm::download
