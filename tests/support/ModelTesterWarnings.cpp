#include "ModelTesterWarnings.h"

#include <QtGlobal>

#include <cstring>

namespace {

QStringList collected;
QtMessageHandler previous = nullptr;

void record(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && std::strcmp(context.category, "qt.modeltest") == 0 && type != QtDebugMsg
        && type != QtInfoMsg) {
        collected.append(message);
        return;
    }
    previous(type, context, message);
}

} // namespace

ModelTesterWarnings::ModelTesterWarnings()
{
    collected.clear();
    previous = qInstallMessageHandler(record);
}

ModelTesterWarnings::~ModelTesterWarnings()
{
    qInstallMessageHandler(previous);
}

const QStringList &ModelTesterWarnings::warnings() const
{
    return collected;
}
