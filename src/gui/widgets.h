#pragma once
// Small widget kinds the windows need beyond what Qt has: a button with an integer tag, a label
// that reports clicks, and a check-list box with the item operations the program uses.

#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

namespace gui {

class TaggedButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
    int Tag = 0;
};

class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            emit clicked();
    }
};

// Unsorted, single selection; every item has a check box.
class CheckListBox : public QListWidget {
    Q_OBJECT
public:
    explicit CheckListBox(QWidget *parent = nullptr);

    int entryCount() const { return count(); }
    void appendEntry(const QString &text, bool checked);
    QString entryText(int index) const { return item(index)->text(); }
    void setEntryText(int index, const QString &text) { item(index)->setText(text); }
    bool isChecked(int index) const { return item(index)->checkState() == Qt::Checked; }
    void setChecked(int index, bool checked)
    {
        item(index)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
    void setItemHeight(int pixels);
};

} // namespace gui
