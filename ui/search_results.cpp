#include "search_results.h"

#include "archive/paths.h"
#include "entry_list.h"

void SearchResultsModel::refresh(const brimlet::Archive& archive, const std::string& search)
{
    beginResetModel();
    names_.clear();
    ends_.clear();
    std::string lowered = brimlet::lowerAscii(search);
    const brimlet::EntryTable& table = archive.table();
    for (size_t i = 0; i < table.count(); ++i) {
        std::string_view name = table[i].nameView();
        if (!brimlet::containsLowered(name, lowered)) continue;
        names_.append(name);
        ends_.push_back(static_cast<uint32_t>(names_.size()));
    }
    endResetModel();
}

int SearchResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(ends_.size());
}

std::string SearchResultsModel::name(int row) const
{
    auto i = static_cast<size_t>(row);
    uint32_t begin = i == 0 ? 0 : ends_[i - 1];
    return names_.substr(begin, ends_[i] - begin);
}

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    return nameToText(name(index.row()));
}
