#pragma once

#include <QWidget>

class TFolvaneCtrl;
class TreemapView;

// The Treemap tab: a tool bar (save the picture as PNG) over the treemap of the
// current node.
class TreemapPage : public QWidget
{
    Q_OBJECT
public:
    explicit TreemapPage(QWidget *parent = nullptr);

    TreemapView *view() const { return m_view; }
    // The treemap follows the controller's current node, coloured as its Type of
    // Files chart; a click selects the entry in the Total Tree and the lists, a
    // double click opens a folder, Up goes up; an edit of the scan stops the drawing
    // before it starts.
    void bind(TFolvaneCtrl *ctrl);

private:
    TreemapView *m_view;
};
