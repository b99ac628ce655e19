#include "core/frame/ListUrl.h"

#include "core/util/ProxyAddress.h"

namespace zandel {

namespace {

std::string WithNames(std::string text, const std::string& first, const std::string& second = {}) {
    if (const auto at = text.find("%1"); at != std::string::npos) {
        text.replace(at, 2, first);
    }
    if (const auto at = text.find("%2"); at != std::string::npos) {
        text.replace(at, 2, second);
    }
    return text;
}

// Where the host part of a URL lies: from after "://" to the first "/", "?" or "#".
std::pair<std::size_t, std::size_t> Authority(const std::string& url) {
    const auto scheme = url.find("://");
    const std::size_t begin = scheme == std::string::npos ? 0 : scheme + 3;
    const auto end = url.find_first_of("/?#", begin);
    return {begin, end == std::string::npos ? url.size() : end};
}

std::string PercentEscaped(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= 'a' && byte <= 'z') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
        if (plain) {
            escaped += c;
        } else {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0x0F];
        }
    }
    return escaped;
}

} // namespace

std::string UrlUser(const std::string& url) {
    const auto [begin, end] = Authority(url);
    const auto at = url.rfind('@', end);
    if (at == std::string::npos || at < begin) {
        return {};
    }
    const std::string login = url.substr(begin, at - begin);
    return login.substr(0, login.find(':'));
}

std::string UrlWithLogin(const std::string& url, const std::string& user, const std::string& password) {
    const std::string plain = ShownUrl(url);
    const std::size_t begin = Authority(plain).first;
    return plain.substr(0, begin) + PercentEscaped(user) + ":" + PercentEscaped(password) + "@" + plain.substr(begin);
}

std::string ListUrlTitle(const std::string& url) {
    const auto [begin, end] = Authority(url);
    const std::string path = url.substr(end, url.find_first_of("?#", end) - end);
    const auto slash = path.rfind('/');
    std::string name = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    if (!name.empty()) {
        return name;
    }
    std::string host = url.substr(begin, end - begin);
    if (const auto at = host.rfind('@'); at != std::string::npos) {
        host.erase(0, at + 1);
    }
    return host;
}

std::optional<std::string> FetchProxyOf(const std::string& address) {
    const std::optional<ProxyAddress> parsed = ParseProxyAddress(address);
    if (!parsed) {
        return std::nullopt;
    }
    std::string proxy = std::string(ProxySchemeName(parsed->kind)) + "://";
    if (parsed->login) {
        proxy += PercentEscaped(parsed->user) + ":" + PercentEscaped(parsed->password) + "@";
    }
    return proxy + parsed->host + ":" + parsed->port;
}

std::string FetchFailureMessage(const std::string& url, const FetchResult& result) {
    const std::string shown = ShownUrl(url);
    switch (result.failure) {
    case FetchFailure::None:
    case FetchFailure::Cancelled:
        return {};
    case FetchFailure::HttpStatus:
        return result.status == 404 ? WithNames("%1 が見つかりませんでした。(ｻｰﾊﾞｰの応答 404)", shown)
                                    : WithNames("%1 を取得できませんでした。ｻｰﾊﾞｰの応答は %2 です。", shown,
                                                std::to_string(result.status));
    case FetchFailure::TooLarge:
        return WithNames("%1 は %2 MiB を超えているため開けません。", shown, std::to_string(kFetchMaxBytes / kMiB));
    case FetchFailure::NotHttp:
        return result.redirect.empty()
                   ? NotListUrlMessage(shown)
                   : WithNames(
                         "%1 は %2 へﾘﾀﾞｲﾚｸﾄされましたが、http:// か https:// で始まるURLではないため開けません。",
                         shown, ShownUrl(result.redirect));
    case FetchFailure::LocalRedirect:
        return WithNames("%1 は %2 へﾘﾀﾞｲﾚｸﾄされましたが、このｺﾝﾋﾟｭｰﾀｰか内部ﾈｯﾄﾜｰｸのｱﾄﾞﾚｽのため取得を中止しました。",
                         shown, ShownUrl(result.redirect));
    case FetchFailure::Certificate:
        return WithNames("%1 のｻｰﾊﾞｰ証明書を確認できなかったため、取得を中止しました。", shown);
    case FetchFailure::TimedOut:
        return WithNames("%1 の取得が時間切れになりました。", shown);
    case FetchFailure::Deadline:
        return WithNames("%1 の取得が %2 秒以内に終わらなかったため中止しました。", shown,
                         std::to_string(result.seconds));
    case FetchFailure::Redirects:
        return WithNames("%1 はﾘﾀﾞｲﾚｸﾄが多すぎるため開けません。", shown);
    case FetchFailure::Connect:
        return WithNames("%1 のｻｰﾊﾞｰに接続できませんでした。", shown) + "\n(" + result.error + ")";
    case FetchFailure::Other:
        break;
    }
    return WithNames("%1 を取得できませんでした。", shown) + "\n(" + result.error + ")";
}

std::string NotListUrlMessage(const std::string& text) {
    return WithNames("%1 は http:// か https:// で始まるURLではないため開けません。", ShownUrl(text));
}

std::string NoProxyMessage(const std::string& url) {
    return WithNames("現在のﾌﾟﾛｷｼが設定されていないため、%1 を取得できません。", ShownUrl(url));
}

std::string RunningMessage(const std::string& url) {
    return WithNames("ﾁｪｯｸ中のため、%1 のﾘｽﾄを開けませんでした。", ShownUrl(url));
}

bool FetchOptionsLikeList(bool viaProxy, const std::string& currentProxy, FetchOptions& options) {
    if (!viaProxy) {
        return true;
    }
    options.proxy = FetchProxyOf(currentProxy);
    return options.proxy.has_value();
}

} // namespace zandel
