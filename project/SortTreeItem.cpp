#include "SortTreeItem.h"

#include <QTreeWidget>

bool SortTreeItem::operator<(const QTreeWidgetItem& other) const
{
    const QTreeWidget* tree = treeWidget();
    if (!tree)
        return false;
    const int column = tree->sortColumn();
    return text(column).toDouble() < other.text(column).toDouble();
}
