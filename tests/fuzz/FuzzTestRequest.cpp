// The request sent through every proxy, from any access URL, version and User-Agent.
#include "core/settings/AppSettings.h"
#include "core/check/TestRequest.h"
#include "fuzz/FuzzSupport.h"

using zandel::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zandel::fuzz::Input input(data, size);
    const std::string url = input.Text();
    const std::string version = input.Text();
    const std::string agent = input.Rest();
    const zandel::TestRequest request = zandel::ComposeTestRequest(url, version, agent);

    const std::string sent = url.find("http://") == std::string::npos ? "http://" + url : url;
    Require(request.requestLine == sent + " HTTP/" + version, "request line is the URL, a blank and the version");
    Require(request.cgi == (url.find("cgi") != std::string::npos), "anonymity graded exactly for a cgi URL");

    const std::string agentLine = "User-Agent: " + (agent.empty() ? std::string(zandel::kDefaultUserAgent) : agent);
    const std::string middle = "\r\nAccept: */*\r\nHost: ";
    Require(request.headers.compare(0, agentLine.size() + middle.size(), agentLine + middle) == 0,
            "User-Agent and Accept lines come first");
    const std::string host = request.headers.substr(agentLine.size() + middle.size());
    Require(host.find('/') == std::string::npos, "the Host line holds no path");
    // The host is the sent URL after its first seven bytes (the scheme where it leads) up to the next slash.
    const std::string afterScheme = sent.substr(7);
    Require(afterScheme.compare(0, host.size(), host) == 0, "the host is taken from the URL");
    Require(host.size() == afterScheme.size() || afterScheme[host.size()] == '/', "the host ends at a slash");
    return 0;
}
