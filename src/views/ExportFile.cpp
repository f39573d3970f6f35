#include "ExportFile.h"

#include "SafeFile.h"

#include <QBuffer>
#include <QChartView>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <string_view>
#include <utility>

namespace {

ExportFileDialogFunction &replacedDialog()
{
    static ExportFileDialogFunction dialog;
    return dialog;
}

OverwriteQuestionFunction &replacedQuestion()
{
    static OverwriteQuestionFunction question;
    return question;
}

ExportMessageFunction &replacedMessage()
{
    static ExportMessageFunction message;
    return message;
}

QString runFileDialog(
    QWidget *parent, const QString &defaultSuffix, const QString &nameFilter, const QString &initialName)
{
    if (const ExportFileDialogFunction &dialog = replacedDialog())
        return dialog(parent, defaultSuffix, nameFilter, initialName);
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The question that follows names the catalog; the dialog's own would ask twice.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(nameFilter);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!initialName.isEmpty())
        dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

bool askOverwrite(QWidget *parent, const QString &path)
{
    if (const OverwriteQuestionFunction &question = replacedQuestion())
        return question(path);
    return QMessageBox::question(parent, QStringLiteral("Warning"),
               QStringLiteral("Catalog with the same name already exists,overwrite?"),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &caption, const QString &text)
{
    if (const ExportMessageFunction &message = replacedMessage()) {
        message(icon, caption, text);
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

// The image encoded in memory, so that the file can be replaced in one step or not
// at all; empty, with the reason in `error`, when it cannot be encoded.
QByteArray encodedImage(const QImage &image, const char *format, QString *error)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image)) {
        if (error != nullptr)
            *error = writer.errorString();
        return QByteArray();
    }
    return bytes;
}

} // namespace

QString ExportNameFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns =
            parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        filters.append(parts.at(i) + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

QString ChooseExportFile(
    QWidget *parent, const QString &defaultExtension, const QString &filter, const QString &initialName)
{
    QString suffix = defaultExtension;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    QString path = runFileDialog(parent, suffix, ExportNameFilter(filter), initialName);
    if (path.isEmpty())
        return QString();
    // Qt's own dialog adds the suffix to a name without a dot; a desktop's dialog may
    // not, and the file asked about must be the one written.
    const QFileInfo chosen(path);
    if (!suffix.isEmpty() && !chosen.fileName().contains(QLatin1Char('.')) && !chosen.isDir())
        path += QLatin1Char('.') + suffix;
    // A link that points at nothing still names a file the export would write through.
    const QFileInfo target(path);
    if ((target.exists() || target.isSymLink()) && !askOverwrite(parent, path))
        return QString();
    return path;
}

void ReportExportFinished(QWidget *parent)
{
    showMessage(parent, QMessageBox::NoIcon, QStringLiteral("Done"), QStringLiteral("Export Finished"));
}

void ReportExportFailed(QWidget *parent, const QString &path, const QString &reason)
{
    showMessage(parent, QMessageBox::Warning, QStringLiteral("Export Failed"),
        QStringLiteral("The file \"%1\" could not be written:\n%2").arg(path, reason));
}

void ReportExportWarning(QWidget *parent, const QString &text)
{
    showMessage(parent, QMessageBox::Warning, QStringLiteral("Warning"), text);
}

QByteArray ChartBitmap(QChartView *chart, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error != nullptr)
            *error = reason;
        return QByteArray();
    };
    if (chart == nullptr || chart->scene() == nullptr || chart->width() <= 0 || chart->height() <= 0)
        return fail(QStringLiteral("The chart has no size on the screen."));
    // The pixels the chart covers on the screen: on a screen scaled by 2 the file is
    // as sharp as what the user sees, twice as wide and high as the widget.
    const qreal ratio = chart->devicePixelRatioF();
    QImage image(chart->size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    {
        // The scene, not the widget: the widget would paint its own background and
        // frame over the white, and draw with whatever hints the view happens to have.
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        chart->scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(chart->size())), chart->sceneRect());
    }
    return encodedImage(image, "bmp", error);
}

void SavePicture(QWidget *parent, const QImage &picture)
{
    if (picture.isNull()) {
        ReportExportWarning(parent, QStringLiteral("There is no picture to save yet: open a folder first."));
        return;
    }
    const QString path = ChooseExportFile(parent, QStringLiteral(".png"), QStringLiteral("PNG File|*.png"));
    if (path.isEmpty())
        return;
    QString error;
    const QByteArray png = encodedImage(picture, "png", &error);
    if (png.isEmpty()) {
        ReportExportFailed(parent, path, error);
        return;
    }
    WriteExportFile(parent, path, png);
}

bool WriteExportFile(QWidget *parent, const QString &path, const QByteArray &bytes)
{
    const QString error = SafeFile::replace(
        QFile::encodeName(path), std::string_view(bytes.constData(), std::size_t(bytes.size())));
    if (!error.isEmpty()) {
        ReportExportFailed(parent, path, error);
        return false;
    }
    ReportExportFinished(parent);
    return true;
}

void SaveChart(QWidget *parent, QChartView *chart)
{
    const QString path = ChooseExportFile(parent, QStringLiteral(".bmp"), QStringLiteral("BMP File|*.bmp"));
    if (path.isEmpty())
        return;
    QString error;
    const QByteArray bitmap = ChartBitmap(chart, &error);
    if (bitmap.isEmpty()) {
        ReportExportFailed(parent, path, error);
        return;
    }
    WriteExportFile(parent, path, bitmap);
}

void SetExportFileDialogForTests(ExportFileDialogFunction dialog)
{
    replacedDialog() = std::move(dialog);
}

void SetOverwriteQuestionForTests(OverwriteQuestionFunction question)
{
    replacedQuestion() = std::move(question);
}

void SetExportMessageForTests(ExportMessageFunction message)
{
    replacedMessage() = std::move(message);
}
