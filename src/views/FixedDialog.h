#pragma once

#include <QDialog>
#include <QRect>
#include <QSize>
#include <QString>

// The hand-placed dialogs keep the object names, sizes and pixel places their forms
// had: tests find the controls by those names, and the layouts were drawn for
// those sizes.

// A modal dialog of one fixed size.
inline void SetUpFixedDialog(QDialog &dialog, const QString &name, const QString &title, QSize size)
{
    dialog.setObjectName(name);
    dialog.setWindowTitle(title);
    dialog.setFixedSize(size);
    dialog.setModal(true);
}

// `widget` named and put at its place; returned for the caller to keep.
template <typename Widget>
Widget *Placed(Widget *widget, const QString &name, const QRect &geometry)
{
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}
