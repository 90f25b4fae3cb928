#include "shell/CheckListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

CheckListBox::CheckListBox(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Window));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::WindowText));
    setPalette(pal);
}

void CheckListBox::appendEntry(const QString &text, bool checked)
{
    auto *entry = new QListWidgetItem(text);
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    entry->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    addItem(entry);
}

bool CheckListBox::isChecked(int row) const
{
    const QListWidgetItem *entry = item(row);
    return entry && entry->checkState() == Qt::Checked;
}

void CheckListBox::setChecked(int row, bool checked)
{
    if (QListWidgetItem *entry = item(row))
        entry->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void CheckListBox::setAllChecked(bool checked)
{
    for (int row = 0; row < count(); ++row)
        setChecked(row, checked);
}

int CheckListBox::highlightedRow() const
{
    const QList<QListWidgetItem *> chosen = selectedItems();
    return chosen.isEmpty() ? -1 : row(chosen.first());
}

void CheckListBox::setHighlightedRow(int row)
{
    if (row < 0 || row >= count()) {
        clearSelection();
        setCurrentItem(nullptr);
        return;
    }
    setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

void CheckListBox::keyPressEvent(QKeyEvent *event)
{
    // The view's own space handling depends on the style's delegate; the list
    // promises it for the highlighted entry, so it is done here.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        const int row = highlightedRow();
        if (row >= 0)
            setChecked(row, !isChecked(row));
        event->accept();
        return;
    }
    const QString typed = event->text();
    if (event->key() == Qt::Key_Plus || typed == QLatin1String("+")) {
        setAllChecked(true);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Minus || typed == QLatin1String("-")) {
        setAllChecked(false);
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void CheckListBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit dblClicked();
}
