#pragma once

#include <QString>

#include <functional>

class QChartView;
class QWidget;

// The file choice of every export: a save dialog with the default extension and
// filter ("BMP File|*.bmp"), then, when the file exists, the question "Catalog with
// the same name already exists,overwrite?". Empty when nothing was chosen.
QString ChooseExportFile(QWidget *parent, const QString &defaultExtension, const QString &filter,
                         const QString &initialName = QString());

// Saves the chart as a BMP file of its size on the screen, on white, chosen with
// ChooseExportFile; "Export Finished" when written. The old file stays until the new
// one is complete; a failure is said with the file's name and the reason.
void SaveChart(QWidget *parent, QChartView *chart);
