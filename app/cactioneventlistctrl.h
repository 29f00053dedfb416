#pragma once

#include <QString>
#include <QTreeWidget>

class ActionEvent;

// The event list of the information field: the newest events on top, at most MAX_ROWS, time and
// icon in the first column, message and projector name (both cut) in the second; warnings and
// errors in red. User-interface thread only.
class CActionEventListCtrl : public QTreeWidget
{
    Q_OBJECT

public:
    static constexpr int MAX_ROWS = 20;
    static constexpr int MAX_MESSAGE = 55;
    static constexpr int MAX_SOURCE = 20;

    explicit CActionEventListCtrl(QWidget *parent = nullptr);

    // The two columns, sized from the client width (again after each resize); empties the list.
    void SetUpColumns();
    // Moves every pending event of the event manager into the list, oldest first, so the
    // newest ends on top.
    void UpdateData();
    void InsertEvent(const ActionEvent &event);

    // The second column's text: the message and the source, each cut with "...".
    static QString EventText(const QString &message, const QString &source);
    // The first column is at least this wide: time and icon uncut.
    int TimeColumnMinimum() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void FitColumns();
};
