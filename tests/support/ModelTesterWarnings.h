#pragma once

#include <QStringList>

// Collects what QAbstractItemModelTester reports (category "qt.modeltest") while
// it lives, so a test can fail on it; every other message passes on as before.
class ModelTesterWarnings
{
public:
    ModelTesterWarnings();
    ~ModelTesterWarnings();
    ModelTesterWarnings(const ModelTesterWarnings &) = delete;
    ModelTesterWarnings &operator=(const ModelTesterWarnings &) = delete;

    const QStringList &warnings() const;
};
