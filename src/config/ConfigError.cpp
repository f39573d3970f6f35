#include "ConfigError.h"

ConfigError::ConfigError(Kind kind, const QString &message)
    : std::runtime_error(message.toStdString()), m_kind(kind)
{ }
