#include "core/check/SocksReport.h"

#include <iterator>

namespace zandel {

namespace {

// Why the proxy refused the CONNECT, by its version's reply code.
std::string RejectionWords(const SocksReport& report) {
    const char* words = "不明な理由";
    if (report.version == 4) {
        switch (report.code) {
        case 91:
            words = "要求が拒否されたか失敗しました";
            break;
        case 92:
            words = "identdに接続できません";
            break;
        case 93:
            words = "identdのユーザIDが一致しません";
            break;
        default:
            break;
        }
    } else {
        constexpr const char* kSocks5Words[] = {
            "",
            "一般的なエラー",
            "規則により許可されていません",
            "ネットワークに到達できません",
            "ホストに到達できません",
            "接続が拒否されました",
            "TTLが切れました",
            "コマンドに対応していません",
            "アドレスの種類に対応していません",
        };
        if (report.code < std::size(kSocks5Words)) {
            words = kSocks5Words[report.code];
        }
    }
    return words;
}

} // namespace

std::string SocksRefusalText(const SocksReport& report) {
    using End = SocksReport::End;
    switch (report.end) {
    case End::NotRun:
    case End::Through:
    case End::TimedOut:
    case End::Stopped:
        return {};
    case End::Closed:
        return "SOCKSの応答の前に接続が切断されました";
    case End::BadReply:
        return "SOCKSプロキシの応答ではありません";
    case End::NoMethod:
        return "SOCKSプロキシが使える認証方式がありません";
    case End::LoginNeeded:
        return "SOCKSプロキシがユーザ名とパスワードを求めています（ログインは "
               "socks5://ユーザ名:パスワード@ホスト:ポート "
               "のように書きます）";
    case End::LoginEmpty:
        return "SOCKSプロキシがユーザ名とパスワードを求めていますが、SOCKS5では空のユーザ名やパスワードを送れません";
    case End::LoginRefused:
        return "SOCKSプロキシがユーザ名かパスワードを拒否しました";
    case End::LoginTooLong:
        return "ユーザ名かパスワードがSOCKSの上限(255バイト)を超えています";
    case End::NeedsIpv4:
        return "SOCKS4では接続先のIPv4アドレスが必要です";
    case End::Rejected:
        break;
    }
    return "SOCKSプロキシが接続を拒否しました：" + RejectionWords(report) + "(" + std::to_string(report.code) + ")";
}
} // namespace zandel
