#pragma once

#include <QListWidget>

// A list of addresses with a check mark each (ListBox1): single selection,
// space toggles the highlighted entry, "+" and "-" check and uncheck all.
// Without the focus the highlighted entry is drawn on the window colour.
class CheckListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit CheckListBox(QWidget *parent = nullptr);

    void appendEntry(const QString &text, bool checked);
    bool isChecked(int row) const;
    void setChecked(int row, bool checked);
    void setAllChecked(bool checked);

    // The highlighted entry, -1 when none.
    int highlightedRow() const;
    void setHighlightedRow(int row);

signals:
    // A double click anywhere in the list, as the edit handler wants it.
    void dblClicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};
