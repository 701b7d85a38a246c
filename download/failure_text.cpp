#include "download/failure_text.h"

#include <cerrno>
#include <cstring>

#include "platform/net/http_client.h"

namespace mm::download {

std::string QualityMismatchText(int kbps) {
    return "音质不符: " + std::to_string(kbps) + "K";
}

bool FileKeptStatus(const std::string& status) {
    return status.rfind("下载完成", 0) == 0 || status.rfind("音质不符", 0) == 0 || status == "完成,写入封面失败.";
}

std::string FileErrorText(int err) {
    switch (err) {
        case 0:
            return {};
        case ENOSPC:
        case EDQUOT:
            return "磁盘已满";
        case EACCES:
        case EPERM:
        case EROFS:
            return "没有写入权限";
        case ENOENT:
        case ENOTDIR:
            return "保存目录不存在";
        case ELOOP:
            return "文件名被一个符号链接占用";
        case ENAMETOOLONG:
            return "文件名太长";
        case EIO:
            return "磁盘读写错误";
        default:
            return std::string("文件操作失败: ") + std::strerror(err);
    }
}

std::string TransferFailureText(const net::HTTPWebClient& client) {
    using net::Failure;
    switch (client.LastFailure()) {
        case Failure::kNone:
        case Failure::kCancelled:
            return {};
        case Failure::kCannotOpen:
        case Failure::kWriteFailed:
            return FileErrorText(client.LastErrno());
        case Failure::kResolve:
            return "找不到服务器";
        case Failure::kConnect:
            return "无法连接服务器";
        case Failure::kTimeout:
            return "连接超时";
        case Failure::kReset:
            return "连接被重置";
        case Failure::kCutShort:
            return "连接中断，文件不完整";
        case Failure::kHttpStatus:
            return "服务器返回 HTTP " + std::to_string(client.GetRepoHTTPCode());
        case Failure::kTooLarge:
        case Failure::kOther:
            break;
    }
    return "下载出错: " + client.LastError();
}

std::string CommitFailureText(int err) {
    std::string why = FileErrorText(err);
    return why.empty() ? "无法保存文件" : "无法保存文件: " + why;
}

}  // namespace mm::download
