#pragma once

#include <QString>

#include <functional>

class QWidget;

// The modal folder dialog of the Open Folder command. Returns the chosen folder
// without a trailing separator, except the root "/" itself, or an empty path when the
// user cancels: callers look only at whether the path is empty.
QString ChooseFolder(QWidget *parent, const QString &title);

// The form ChooseFolder returns: cleaned ("a//b/./c/" -> "a/b/c"), no trailing
// separator except at the root; empty stays empty.
QString NormaliseFolderPath(const QString &path);

// Tests replace the dialog with a function that returns what the user "chose"; its
// result is normalised like the dialog's. An empty function restores the dialog.
using FolderPickerFunction = std::function<QString(QWidget *parent, const QString &title)>;
void SetFolderPickerForTests(FolderPickerFunction picker);
