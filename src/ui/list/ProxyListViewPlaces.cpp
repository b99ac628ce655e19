// Where each proxy leaves to the Internet: the offline databases of [Geo], looked up as the run grades each row,
// and the country and AS columns that show it.

#include "ui/list/ProxyListView.h"

#include <string>
#include <vector>

#include <sys/stat.h>

#include "core/fetch/GeoDownload.h"
#include "core/settings/AppSettings.h"
#include "ui/list/ListModel.h"
#include "ui/list/ListRows.h"
#include "ui/util/MessageBoxService.h"

namespace zandel::ui {

namespace {

// The files named and, for each, its size and time: a database fetched anew is opened anew.
std::string StampOf(const GeoFiles& files) {
    std::string stamp;
    for (const std::string* path : {&files.country, &files.asn, &files.hosting}) {
        struct stat status {};
        stamp += *path + '\n';
        if (!path->empty() && ::stat(path->c_str(), &status) == 0) {
            stamp += std::to_string(status.st_size) + ':' + std::to_string(status.st_mtim.tv_sec) + ':' +
                     std::to_string(status.st_mtim.tv_nsec);
        }
        stamp += '\n';
    }
    return stamp;
}

} // namespace

void ProxyListView::RecordPlaces() {
    // Handed to the window in order with the row's result, which the same bridge carries.
    m_placeRecorder = std::make_unique<PlaceRecorder>([this](int row, const GeoPlace& place, bool good) {
        m_rows->Bridge().Post([this, row, place, good] { m_model->SetPlace(row, place, good); });
    });
    m_placeRecorder->SetSited([this](int row, const std::vector<SiteVerdict>& sites) {
        m_rows->Bridge().Post([this, row, sites] { m_model->SetSites(row, sites); });
    });
    m_engine->SetRecorder(m_placeRecorder.get());
}

void ProxyListView::OpenPlacesIfChanged() {
    const GeoFiles files = GeoFilesOf(m_settings);
    std::string stamp = StampOf(files);
    if (!m_placeRecorder || stamp == m_placesStamp) {
        return;
    }
    m_placesStamp = std::move(stamp);
    auto lookup = std::make_shared<GeoLookup>();
    std::vector<std::string> problems;
    lookup->Open(files, problems);
    m_places = lookup;
    m_placeRecorder->SetLookup(lookup->Any() ? lookup : nullptr);
    // Told once for the files as they are; the checks go on without what cannot be used.
    for (const std::string& problem : problems) {
        MessageBoxService::Instance().Tell("位置情報ﾃﾞｰﾀﾍﾞｰｽを使えません: " + problem);
    }
}

void ProxyListView::ShowPlaceColumns() {
    setColumnHidden(kCountryColumn, !m_settings.GeoColumns);
    setColumnHidden(kAsnColumn, !m_settings.GeoColumns);
}

// The fields come with the databases named, whether or not a run has looked anything up, as the console's do.
ExportPlaces ProxyListView::PlacesForExport() {
    if (!IsRunning()) {
        OpenPlacesIfChanged();
    }
    ExportPlaces places;
    places.country = m_places != nullptr && m_places->HasCountry();
    places.asn = m_places != nullptr && m_places->HasAsn();
    places.placeOf = [this](int row, GeoPlace& place) { return m_model->PlaceOf(row, place); };
    return places;
}

} // namespace zandel::ui
