#include "FolderPicker.h"

#include "FolderPath.h"

#include <QFileDialog>

namespace {

FolderPickerFunction &replacedPicker()
{
    static FolderPickerFunction picker;
    return picker;
}

} // namespace

QString NormaliseFolderPath(const QString &path)
{
    return QString::fromUtf8(NormaliseFolderBytes(path.toUtf8()));
}

QString ChooseFolder(QWidget *parent, const QString &title)
{
    if (const FolderPickerFunction &picker = replacedPicker())
        return NormaliseFolderPath(picker(parent, title));
    // ShowDirsOnly with a folder dialog lets the user confirm only real folders;
    // the dialog is application-modal, so the main window takes no input meanwhile.
    return NormaliseFolderPath(
        QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly));
}

void SetFolderPickerForTests(FolderPickerFunction picker)
{
    replacedPicker() = std::move(picker);
}
