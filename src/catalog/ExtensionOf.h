#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The extension of the last element of a path, without its dot, case kept; empty
// when the last '.' or '/' of the path is not a dot. "a/report.final.PDF" gives
// "PDF", "a.b/README" gives "", "a/.profile" gives "profile".
QStringView ExtensionOf(QStringView path);
QByteArrayView ExtensionOf(QByteArrayView path);
