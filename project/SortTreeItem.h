#pragma once

#include <QTreeWidgetItem>

// Orders rows by the number in the sort column, so points sort 2, 10, 100.
class SortTreeItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override;
};
