#include "search_results.h"

#include "window/wording.h"

SearchResultsModel::SearchResultsModel(const brimlet::SearchResults& results, QObject* parent)
    : QAbstractListModel(parent), results_(results)
{
}

int SearchResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(results_.count());
}

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    return QString::fromStdString(brimlet::rowText(results_.name(static_cast<size_t>(index.row()))));
}
