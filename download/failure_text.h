#pragma once
// The words a download row uses beside the status texts: why a download failed
// (the row's tool tip: "磁盘已满", "没有写入权限", "连接被重置" …) and what
// is odd about a file that did arrive.
#include <string>

namespace mm::net {
class HTTPWebClient;
}

namespace mm::download {

// Statuses of a file whose content is not what the service named it.
inline constexpr const char* kStatusDoneReallyMp3 = "下载完成(实为MP3)";
inline constexpr const char* kStatusDoneReallyFlac = "下载完成(实为FLAC)";
// "音质不符: 128K": an MP3 plainly below the tier asked for.
std::string QualityMismatchText(int kbps);
// True for every status of a row whose file arrived and was kept: "下载完成"
// and its variants above, "音质不符: …", "完成,写入封面失败.".
bool FileKeptStatus(const std::string& status);

inline constexpr const char* kReasonNotAudio = "服务器发来的不是音频文件";
inline constexpr const char* kReasonNoFolder = "没有保存目录";
inline constexpr const char* kReasonNoName = "找不到可用的文件名";

// Why the client's last download failed.
std::string TransferFailureText(const net::HTTPWebClient& client);
// Why a file error (errno) happened, in the user's words: "磁盘已满",
// "没有写入权限", … ("" for 0).
std::string FileErrorText(int err);
// Why a whole download could not be moved to its name.
std::string CommitFailureText(int err);

}  // namespace mm::download
