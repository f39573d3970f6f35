#include "ConfigFixture.h"

#include <QFile>

#include <stdexcept>

namespace ConfigFixture {

QByteArray readBytes(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + fileName.toStdString());
    return f.readAll();
}

void writeBytes(const QString &fileName, const QByteArray &bytes)
{
    QFile f(fileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + fileName.toStdString());
}

} // namespace ConfigFixture
