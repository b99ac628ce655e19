#include "core/app/InstanceRequest.h"

#include <algorithm>

#include "core/settings/AppSettings.h"

namespace zandel {

namespace {

constexpr std::string_view kMagic = "ZANDEL-RAISE 1\n";
// The digits of kMaxRequestPath.
constexpr std::size_t kMaxLengthDigits = 4;

bool Carried(const std::string& path) {
    return !path.empty() && path.size() <= kMaxRequestPath && path[0] == '/' && path.find('\0') == std::string::npos;
}

} // namespace

std::string EncodeRaiseRequest(const std::string& absolutePath) {
    const std::string path = Carried(absolutePath) ? absolutePath : std::string();
    return std::string(kMagic) + std::to_string(path.size()) + "\n" + path;
}

RaiseRequest DecodeRaiseRequest(std::string_view bytes) {
    RaiseRequest request;
    const std::size_t head = std::min(bytes.size(), kMagic.size());
    if (bytes.substr(0, head) != kMagic.substr(0, head)) {
        request.state = RaiseRequest::State::Bad;
        return request;
    }
    if (bytes.size() <= kMagic.size()) {
        return request;
    }
    const std::string_view rest = bytes.substr(kMagic.size());
    const std::size_t lineEnd = rest.find('\n');
    const std::string_view digits = rest.substr(0, lineEnd);
    const bool numeric = digits.find_first_not_of("0123456789") == std::string_view::npos;
    if (!numeric || digits.size() > kMaxLengthDigits || (lineEnd != std::string_view::npos && digits.empty())) {
        request.state = RaiseRequest::State::Bad;
        return request;
    }
    if (lineEnd == std::string_view::npos) {
        return request;
    }
    const std::size_t length = std::stoul(std::string(digits));
    const std::string_view path = rest.substr(lineEnd + 1);
    if (length > kMaxRequestPath || path.size() > length) {
        request.state = RaiseRequest::State::Bad;
        return request;
    }
    if (path.size() < length) {
        return request;
    }
    request.path = std::string(path);
    request.state =
        request.path.empty() || Carried(request.path) ? RaiseRequest::State::Complete : RaiseRequest::State::Bad;
    if (request.state == RaiseRequest::State::Bad) {
        request.path.clear();
    }
    return request;
}

std::string AbsoluteListPath(const std::string& path, const std::string& workingDir) {
    return path.empty() || path[0] == '/' ? path : PathInDir(workingDir, path);
}

} // namespace zandel
