#include "core/serve/ServeSettings.h"

#include "core/settings/AppSettings.h"
#include "core/settings/TimeOut.h"

namespace zandel {

namespace {

// SOCKS5 carries each half of the login in one length byte.
constexpr std::size_t kLoginField = 255;

constexpr const char* kBadListen =
    "待ち受けｱﾄﾞﾚｽは 127.0.0.1:8181 や [::1]:8181 のように、IPｱﾄﾞﾚｽとﾎﾟｰﾄ番号で入力してください";
constexpr const char* kBadPorts = "接続先ﾎﾟｰﾄは 80,443 のように、1～65535の番号をｶﾝﾏで区切って入力してください";
constexpr const char* kHalfLogin = "ﾕｰｻﾞｰ名とﾊﾟｽﾜｰﾄﾞは両方とも入力してください";
constexpr const char* kColonInUser = "ﾕｰｻﾞｰ名に : は使えません";
constexpr const char* kLongLogin = "ﾕｰｻﾞｰ名とﾊﾟｽﾜｰﾄﾞはそれぞれ255ﾊﾞｲﾄまでです";
constexpr const char* kOpenWithoutLogin =
    "127.0.0.1 や ::1 以外のｱﾄﾞﾚｽで待ち受けるには、ﾕｰｻﾞｰ名とﾊﾟｽﾜｰﾄﾞを設定してください\n"
    "ﾛｸﾞｲﾝがないと、ほかのﾏｼﾝの誰もがﾘｽﾄのﾌﾟﾛｷｼを使えてしまいます";

ServePageCheck LoginCheck(const ServePageFields& fields) {
    if (fields.User.empty() != fields.Password.empty()) {
        return {fields.User.empty() ? ServeField::User : ServeField::Password, kHalfLogin};
    }
    if (fields.User.find(':') != std::string::npos) {
        return {ServeField::User, kColonInUser};
    }
    if (fields.User.size() > kLoginField || fields.Password.size() > kLoginField) {
        return {fields.User.size() > kLoginField ? ServeField::User : ServeField::Password, kLongLogin};
    }
    return {};
}

} // namespace

ServePageCheck CheckServePage(const ServePageFields& fields) {
    const std::optional<ServeAddress> address = ParseServeAddress(fields.Listen);
    if (!address) {
        return {ServeField::Listen, kBadListen};
    }
    if (!ParseServePorts(fields.Ports)) {
        return {ServeField::Ports, kBadPorts};
    }
    if (ServePageCheck login = LoginCheck(fields); !login.message.empty()) {
        return login;
    }
    if (!IsLoopbackHost(address->host) && fields.User.empty()) {
        return {ServeField::User, kOpenWithoutLogin};
    }
    return {};
}

std::variant<ServeSetup, std::string> ServeSetupOf(const AppSettings& settings) {
    const ServePageFields fields = LoadServePage(settings);
    if (ServePageCheck check = CheckServePage(fields); !check.message.empty()) {
        return check.message;
    }
    const std::optional<ServeStrategy> strategy = ServeStrategyFromName(fields.Strategy);
    if (!strategy) {
        return "ﾌﾟﾛｷｼの選び方 " + fields.Strategy + " は使えません (fastest, round-robin, random, weighted)";
    }
    ServeSetup setup;
    const std::optional<ServeAddress> address = ParseServeAddress(fields.Listen);
    setup.config.host = address->host;
    setup.config.port = address->port;
    setup.config.ports = *ParseServePorts(fields.Ports);
    setup.config.strategy = *strategy;
    setup.config.tries = fields.Tries;
    setup.config.stickyMinutes = fields.Sticky;
    setup.config.maxClients = fields.MaxClients;
    setup.config.timeOutSeconds = EffectiveTimeOut(settings.TimeOut);
    if (!fields.User.empty()) {
        setup.config.login = ServeLogin{fields.User, fields.Password};
    }
    setup.favourites = fields.Favourites;
    setup.allowLeaky = fields.AllowLeaky;
    return setup;
}

std::string ServeAddressText(const std::string& host, std::uint16_t port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string DesktopEntryOf(const ServeConfig& config, std::uint16_t port) {
    std::string host = config.host;
    if (host == "0.0.0.0") {
        host = kServeDefaultHost;
    } else if (host == "::") {
        host = "::1";
    }
    std::string address = ServeAddressText(host, port);
    if (!config.login) {
        return address;
    }
    return "http://" + config.login->user + ":" + config.login->password + "@" + address;
}

} // namespace zandel
