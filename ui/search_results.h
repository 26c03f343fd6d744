// The search results list's model: the names of the entries that contain
// the search text, in archive order, duplicates repeated.
//
// The results are a snapshot: they are refreshed only when asked, so they may
// still show names that a later command changed or removed. The names are
// kept in one buffer, not as one object per row, so a refresh over 65,536
// matching entries costs little more than scanning them.
#pragma once

#include "archive/archive.h"

#include <QAbstractListModel>
#include <string>
#include <vector>

class SearchResultsModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // Every entry whose name contains `search`, ignoring the case of ASCII
    // letters; an empty search text matches nothing.
    void refresh(const brimlet::Archive& archive, const std::string& search);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    std::string name(int row) const;

private:
    std::string names_;          // the names, one after another
    std::vector<uint32_t> ends_; // where each name ends in names_
};
