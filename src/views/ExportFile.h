#pragma once

#include <QByteArray>
#include <QMessageBox>
#include <QString>

#include <functional>

class QChartView;
class QImage;
class QWidget;

// The file choice of every export: a save dialog with the default extension and
// filter ("BMP File|*.bmp"), then, when the file exists, the question "Catalog with
// the same name already exists,overwrite?". Empty when nothing was chosen.
// A chosen name without any "." gets the default extension, whatever the dialog did,
// so that the question is asked about the file that will be written. Nothing is
// deleted here: the writer replaces the old file only once the new one is complete.
QString ChooseExportFile(QWidget *parent, const QString &defaultExtension, const QString &filter,
    const QString &initialName = QString());

// "HTML File|*.htm" (description and patterns, pairs separated by "|", patterns by
// ";") in the form of a Qt name filter: "HTML File (*.htm)", pairs joined by ";;".
QString ExportNameFilter(const QString &filter);

// Saves the chart as a BMP file of its size on the screen, on white, chosen with
// ChooseExportFile; "Export Finished" when written. The old file stays until the new
// one is complete; a failure is said with the file's name and the reason.
void SaveChart(QWidget *parent, QChartView *chart);

// Saves `picture` (the treemap) as a PNG file chosen with ChooseExportFile, as
// SaveChart saves a chart; a null picture is refused with a word why.
void SavePicture(QWidget *parent, const QImage &picture);

// The chart as it is on the screen, at its size, on white, encoded as BMP; empty,
// with the reason in `error`, when it cannot be made.
QByteArray ChartBitmap(QChartView *chart, QString *error = nullptr);

// Puts `bytes` at `path` in one step (the old file stays until the new one is
// complete), then says "Export Finished", or why not. True when written.
bool WriteExportFile(QWidget *parent, const QString &path, const QByteArray &bytes);

// The end of every export: "Export Finished" (caption "Done", no icon) after a
// written file; a warning naming the file and the reason after a failed one.
void ReportExportFinished(QWidget *parent);
void ReportExportFailed(QWidget *parent, const QString &path, const QString &reason);
// Why an export cannot start (caption "Warning", warning icon), through the same
// message seam as the two above.
void ReportExportWarning(QWidget *parent, const QString &text);

// Tests replace the modal parts. Each empty function restores the real one.
// The save dialog: returns the chosen path or an empty text for Cancel.
using ExportFileDialogFunction = std::function<QString(
    QWidget *parent, const QString &defaultSuffix, const QString &nameFilter, const QString &initialName)>;
void SetExportFileDialogForTests(ExportFileDialogFunction dialog);
// The overwrite question: true for Yes.
using OverwriteQuestionFunction = std::function<bool(const QString &path)>;
void SetOverwriteQuestionForTests(OverwriteQuestionFunction question);
// The messages after an export.
using ExportMessageFunction =
    std::function<void(QMessageBox::Icon icon, const QString &caption, const QString &text)>;
void SetExportMessageForTests(ExportMessageFunction message);
