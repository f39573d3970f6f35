#pragma once

#include <QByteArray>

// Loads the one configuration for folvane-cli: from `configFile` when it is not
// empty (the --config option), else from its usual place. Problems never stop the
// program: they are one warning line on standard error, and the built-in default
// is used.
void LoadCliConfig(const QByteArray &configFile);
