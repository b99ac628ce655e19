#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>

#include "core/geo/PlaceCodes.h"
#include "core/list/CompactRows.h"
#include "core/list/ProxyRow.h"
#include "core/list/SiteClass.h"

namespace zandel {
class HistoryColumns;
struct HistoryPlace;
} // namespace zandel

class QTimer;

namespace zandel::ui {

// The proxy list's rows as the view shows them: one compact record per row (CompactRows), so that a million rows
// cost tens of megabytes, and a view that asks only for the cells it paints. Rows are numbered two ways: the
// store's rows (every row, the numbers the document, the commands and the check run use) and the view's rows (the
// rows the filter lets through, in the same order). Used on the user-interface thread only.
class ListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListModel(QStringList titles, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int Count() const { return m_rows.Count(); }
    // -1 for a row the filter hides (or one out of range).
    int ViewRow(int row) const;
    int StoreRow(int viewRow) const;
    bool Filtered() const { return m_filtered; }

    // A new row at `row` (clamped to 0 … Count()), its result cells empty. Shown until the filter is applied again.
    void Insert(int row, const std::string& address, int image, int tag);
    // Rows at the end in one step: the view hears of them once.
    void Append(const std::vector<ProxyRow>& rows);
    // The given rows, ascending. One run of rows leaves the view's selection of the others as it was; more make the
    // view start afresh (the caller keeps the selection, see ListRows).
    void Remove(const std::vector<int>& rows);
    void Clear();
    // Row k becomes the row at order[k]; the view starts afresh.
    void Reorder(const std::vector<int>& order);
    // Which rows show (by store row); an empty vector shows every row. The view starts afresh.
    void SetShown(const std::vector<bool>& shown);

    std::string Cell(int row, int column) const { return m_rows.Cell(row, column); }
    // `cp932`: the bytes are CP932 text from their file. Bytes written back unchanged keep the mark they had.
    void SetCell(int row, int column, const std::string& bytes, bool cp932 = false);
    bool Cp932(int row, int column) const { return (m_extras[Index(row)].cp932 & (1U << column)) != 0; }
    int Image(int row) const { return m_rows.Image(row); }
    void SetImage(int row, int image);
    int Tag(int row) const { return m_rows.Tag(row); }
    void SetTag(int row, int tag) { m_rows.SetTag(row, tag); }
    std::string Reason(int row) const;
    void SetReason(int row, const std::string& reason);
    // A row the filter hides keeps its selection here, for when it shows again.
    bool HiddenSelected(int row) const { return m_rows.Selected(row); }
    void SetHiddenSelected(int row, bool selected) { m_rows.SetSelected(row, selected); }
    // The selection mark while its row is hidden (-1: none), carried along as rows move.
    int HiddenMark() const;
    void SetHiddenMark(int row);
    // A cell as the view shows it.
    QString Text(int row, int column) const;
    bool AnyScheme() const { return m_schemeRows > 0; }

    // The first and last view rows the view shows; without it every row counts as shown.
    void SetRowsInView(std::function<std::pair<int, int>()> rowsInView) { m_rowsInView = std::move(rowsInView); }
    std::pair<int, int> RowsInView() const { return m_rowsInView ? m_rowsInView() : std::pair(0, rowCount() - 1); }
    // That cells changed since the last turn, told now (before rows come or go, and once per turn).
    void SendChanges();

Q_SIGNALS:
    // Cells of these columns changed, in one row or many, in view or not: once per turn at most.
    void cellsChanged(int firstColumn, int lastColumn);

public:
    // The uptime and median columns' figures; none shows them empty. Must outlive its use here.
    void SetFigures(const HistoryColumns* figures);

    // Where the row's proxy left, as a check found it. A failed check (`good` false) knows only the proxy's own
    // address: it leaves a place an earlier check found, as a second look that failed does.
    void SetPlace(int row, const GeoPlace& place, bool good);
    bool PlaceOf(int row, GeoPlace& place) const;
    // What the country and AS columns sort by: the country's code, the AS number in digits ("" for none).
    std::string PlaceKey(int row, int column) const;

    // Each site's class as the row's last check found it: a check that did not pass, or one of a run without sites,
    // leaves the row without any. False for a row without classes.
    void SetSites(int row, const std::vector<SiteVerdict>& sites);
    // The row's place and sites' classes as they are kept, to be carried to another row or cleared.
    RowFindings Findings(int row) const;
    void SetFindings(int row, const RowFindings& findings);
    bool SitesOf(int row, std::vector<SiteClass>& classes, std::size_t count) const;
    // What a site's column sorts by: its class's rank as one digit ("" for none).
    std::string SiteKey(int row, int column) const;
    // Every row's classes go, since they were of other sites; the site columns take these titles.
    void ResetSites(const QStringList& titles);
    void SetSiteTips(const QStringList& tips);

private:
    // Sixteen bytes a row.
    struct Extra {
        std::uint32_t reason = 0;  // slot in m_reasons, 0 for none
        std::uint32_t sites = 0;   // three bits a site in its order: 0 none, else its class + 1
        std::uint32_t asn = 0;     // the place's AS, 0 for none
        std::uint16_t country = 0; // the place's country (PlaceCodes), 0 for none
        std::uint8_t cp932 = 0;    // a bit per cell
        bool hidden : 1 = false;   // by the filter
        bool mark : 1 = false;     // the selection mark, while the row is hidden
        bool datacenter : 1 = false;
    };
    static std::size_t Index(int row) { return static_cast<std::size_t>(row); }
    static constexpr unsigned kSiteBits = 3;
    static_assert(kSiteBits * kMaxSites <= 32 && 7 < (1U << kSiteBits));
    // Site `site`'s code in a row's packed classes.
    static unsigned SiteCode(std::uint32_t packed, int site);
    QString PlaceText(int row, int column) const;
    const HistoryPlace* EarlierPlace(int row) const;
    bool EarlierPlaceOf(int row, GeoPlace& place) const;
    QVariant PlaceTip(int row) const;
    void Changed(int row, int firstColumn, int lastColumn);
    // Tells the view of a change to a row in view; false when the row is filtered out.
    bool Repaint(int row, int firstColumn, int lastColumn);
    void CountScheme(const std::string& address, int step);
    void FreeReason(Extra& extra);
    // The view's rows from the hidden marks, after a change of the rows' order or number.
    void IndexShownRows();

    QStringList m_titles;
    QStringList m_tips; // of the headers, by column
    CompactRows m_rows;
    std::deque<Extra> m_extras;
    std::vector<std::string> m_reasons{std::string()};
    std::vector<std::uint32_t> m_freeReasons;
    bool m_filtered = false;
    std::vector<int> m_shownRows; // store rows in view order, while filtered
    int m_schemeRows = 0;         // rows whose address carries a scheme
    const HistoryColumns* m_figures = nullptr;
    PlaceCodes m_places;
    std::array<QIcon, kStatusImageCount> m_icons;
    std::function<std::pair<int, int>()> m_rowsInView;
    QTimer* m_sendChanges;
    bool m_changesWaiting = false;
    int m_changedFirstColumn = 0;
    int m_changedLastColumn = 0;
};

} // namespace zandel::ui
