#include "gui/widgets.h"

#include <QStyledItemDelegate>

namespace gui {

namespace {

class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(int height, QObject *parent) : QStyledItemDelegate(parent), m_height(height) {}
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(m_height);
        return size;
    }

private:
    int m_height;
};

} // namespace

CheckListBox::CheckListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    setUniformItemSizes(true);
}

void CheckListBox::appendEntry(const QString &text, bool checked)
{
    auto *entry = new QListWidgetItem(text, this);
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    entry->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void CheckListBox::setItemHeight(int pixels)
{
    setItemDelegate(new FixedHeightDelegate(pixels, this));
}

} // namespace gui
