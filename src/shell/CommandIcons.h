#pragma once

#include <QIcon>

class QPainter;
class QRectF;

// The commands of the main window's tool bars, top bar and tabs. Each has one icon,
// the same wherever the command appears.
enum class Command {
    OpenFolder,
    Up,
    ExportHtml,
    ExportXml,
    ExportText,
    ExportCsv,
    ExportExcel,
    ColumnsConfig,
    OpenExplorer,
    Return,
    PieChart,
    BarChart,
    SaveChart,
    TabTree,
    TabList,
    TabFileChart,
    TabAge,
    TabSize,
    TabType,
    TabTreemap,
};

inline constexpr int CommandCount = int(Command::TabTreemap) + 1;

// The command's icon, drawn in code at every size a view asks for (tool bars use 32,
// tabs and menus 16) in the screen's device pixels, so it stays sharp at any scale
// without image files or an SVG plug-in. Needs a QApplication. The icons are made
// once and shared.
QIcon CommandIcon(Command command);

// The folder of the icons, closed or open, drawn into `rect` of any painter (the
// wait dialog's animation uses it).
void DrawFolderGlyph(QPainter &painter, const QRectF &rect, bool open);
