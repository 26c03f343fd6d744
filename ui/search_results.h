// The search results list's model: a view over the window's search results
// (window/search_results.h), refreshed when the window says so.
#pragma once

#include "window/search_results.h"

#include <QAbstractListModel>

class SearchResultsModel : public QAbstractListModel {
    Q_OBJECT
public:
    SearchResultsModel(const brimlet::SearchResults& results, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void announce(bool before) { before ? beginResetModel() : endResetModel(); }

private:
    const brimlet::SearchResults& results_;
};
