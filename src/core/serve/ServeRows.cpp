#include "core/serve/ServeRows.h"

#include "core/list/CheckRecord.h"
#include "core/list/ProxyRow.h"
#include "core/list/RowStore.h"
#include "core/util/HostPort.h"

namespace zandel {

namespace {

bool Serves(const std::string& result, bool allowLeaky) {
    const ResultGrade grade = GradeOfResult(result);
    return IsLiveGrade(grade) && (grade != ResultGrade::NonAnonymous || allowLeaky);
}

} // namespace

std::vector<Upstream> UpstreamsOfRows(const IRowStore& rows, ProxyKind plainKind, bool allowLeaky,
                                      ProbeResolver resolve) {
    std::vector<Upstream> upstreams;
    for (int row = 0; row < rows.RowCount(); ++row) {
        const ProxyRow cells = rows.GetRow(row);
        if (!Serves(cells.cells[1], allowLeaky)) {
            continue;
        }
        std::optional<ProxyAddress> entry = ParseProxyAddress(cells.cells[0]);
        const std::optional<int> port = entry ? ParsePortNumber(entry->port) : std::nullopt;
        if (!port) {
            continue;
        }
        if (entry->form == ProxyAddress::Form::Plain) {
            entry->kind = plainKind;
        }
        Upstream upstream;
        upstream.key = ListAddress(*entry);
        upstream.shown = ShownAddress(*entry);
        upstream.kind = entry->kind;
        upstream.login = {entry->login, entry->user, entry->password};
        const auto portNumber = static_cast<std::uint16_t>(*port);
        if (LiteralProbeHost(entry->host.c_str(), portNumber, upstream.addresses) == HostKind::Name) {
            upstream.addresses = resolve(entry->host.c_str(), portNumber);
        }
        if (upstream.addresses.empty()) {
            continue;
        }
        upstream.responseMs = ResponseTimeCellToMs(cells.cells[2]).value_or(0);
        upstream.mitm = cells.cells[kHttpsColumn] == kHttpsMitm;
        upstreams.push_back(std::move(upstream));
    }
    return upstreams;
}

} // namespace zandel
